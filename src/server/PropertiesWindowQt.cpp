#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include "platform/System.h"
#include "server/PropertiesWindow.h"
#include "server/ServerInstance.h"
#include "server/ServerLink.h"
#include "server/ServerPropertiesForm.h"

int RunPropertiesWindow(int& argc, char** argv)
{
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName("Lumo");
    QCoreApplication::setApplicationName("LumoServer");
    ServerLink link(Platform::ComputerName(), ServerInstance::SocketName(), QCoreApplication::applicationFilePath());
    TServerProperties window(link);
    window.show();
    // The server asks for the window again: it comes forward. The server gone, it stays, and
    // says so.
    QSocketNotifier requests(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&requests, &QSocketNotifier::activated, &window, [&window, &requests] {
        char buffer[256];
        if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            requests.setEnabled(false);
            return;
        }
        window.raise();
        window.activateWindow();
    });
    QObject::connect(&application, &QApplication::lastWindowClosed, &application, &QApplication::quit);
    return QApplication::exec();
}
