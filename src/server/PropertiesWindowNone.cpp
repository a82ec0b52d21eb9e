// Builds without Qt Widgets serve all the same; they only have no window to show.
#include "server/PropertiesWindow.h"

std::unique_ptr<QCoreApplication> CreateApplication(int& argc, char** argv)
{
    return std::make_unique<QCoreApplication>(argc, argv);
}

bool ShowProperties(ServerApp&)
{
    return false;
}
