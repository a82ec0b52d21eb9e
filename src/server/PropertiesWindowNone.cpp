// Builds without Qt Widgets serve all the same; they only have no window to show.
#include <cstdio>

#include "server/PropertiesWindow.h"

int RunPropertiesWindow(int&, char**)
{
    std::fputs("LumoServer: this build has no properties window\n", stderr);
    return 1;
}
