#include "server/PropertiesWindow.h"

#include <QApplication>
#include <QPointer>

#include "server/ServerPropertiesForm.h"

std::unique_ptr<QCoreApplication> CreateApplication(int& argc, char** argv)
{
    const bool display = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
        || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    if (!display)
        return std::make_unique<QCoreApplication>(argc, argv);
    auto application = std::make_unique<QApplication>(argc, argv);
    // The window comes and goes; the server stays.
    QApplication::setQuitOnLastWindowClosed(false);
    return application;
}

bool ShowProperties(ServerApp& app)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    static QPointer<TServerProperties> window;
    if (!window) {
        window = new TServerProperties(app);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}
