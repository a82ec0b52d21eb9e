// The publisher's process: one instance per user, the main window, and a top-level display
// for whatever goes wrong. It always exits with 0.
#include <memory>
#include <string>

#include <QApplication>
#include <QIcon>

#include "app/Artwork.h"
#include "app/BusyCursor.h"
#include "app/ErrorDisplay.h"
#include "app/LumoConnectPublisher.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "host/Version.h"

namespace {

void DescribeApplication()
{
    QApplication::setOrganizationName("Lumo");
    QApplication::setApplicationName("Lumo Publisher");
    QApplication::setApplicationDisplayName("Lumo Publisher");
    QApplication::setDesktopFileName(LUMO_APP_ID);
    std::string version;
    if (QueryVersion(CurrentVersionResource(), {}, &version) != 0)
        QApplication::setApplicationVersion(QString::fromStdString(version));
    InitArtwork();
    QApplication::setWindowIcon(QIcon(":/art/lumo-publisher.svg"));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    DescribeApplication();
    InstallTranslations(QLocale(), TLumoConnectPublisher::DefaultProgramFolder());
    InstallMessageBoxHandler();

    SingleInstance instance;
    if (!instance.TryAcquire()) {
        instance.SignalRunning();
        return 0;
    }
    RunGuarded([&] {
        TLumoConnectPublisher window;
        QObject::connect(
            &instance, &SingleInstance::RestoreRequested, &window, &TLumoConnectPublisher::RestoreFromOtherInstance);
        window.show();
        application.exec();
    });
    StopBusyCursor();
    return 0;
}
