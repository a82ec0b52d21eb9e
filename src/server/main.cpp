// LumoServer: serves what the publisher's person published to the UPnP/DLNA players of the
// home. "/resume" starts serving or comes back from a pause, "/pause" goes off the network
// without quitting, no argument opens the properties window. One server runs per user; a
// later start hands its command to it.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <exception>
#include <optional>
#include <string>

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>
#include <glib-unix.h>
#include <rygel-server.h>

#include "host/HostInternals.h"
#include "host/Version.h"
#include "server/EngineConfig.h"
#include "server/MediaEngine.h"
#include "server/PropertiesProcess.h"
#include "server/PropertiesWindow.h"
#include "server/ServerApp.h"
#include "server/ServerDevices.h"
#include "server/ServerInstance.h"

namespace {

// Laid out as the manual page generator reads it (cmake/HelpToMan.cmake); the command on the
// path is lumo-server.
const char c_Usage[] = "Usage: lumo-server [/resume | /pause | /status]\n"
                       "\n"
                       "Serves the music and photos published with Lumo Publisher to the UPnP and DLNA\n"
                       "players of the home. One server runs per user: a later start hands its command\n"
                       "to the running one. A command may begin with - or -- instead of /.\n"
                       "\n"
                       "Commands:\n"
                       "  /resume        start serving, or come back on the network after a pause\n"
                       "  /pause         leave the network without quitting; nothing when none runs\n"
                       "  /status        print whether the running server serves, where and how much\n"
                       "  (none)         start serving and open the properties window, or open the\n"
                       "                 window of the running server\n"
                       "\n"
                       "Options:\n"
                       "  /help, -h, --help    show this text\n";

// Goodbyes leave in spaced datagrams; the loop runs that long after a quit request.
constexpr int c_QuitDelayMs = 600;

// The running server's answer to a request for the window that names no display.
constexpr char c_NoDisplay[] = "no display";

std::string CommandOf(const char* argument)
{
    std::string text = argument;
    while (!text.empty() && (text[0] == '/' || text[0] == '-'))
        text.erase(0, 1);
    return text;
}

std::string ProgramVersion()
{
    std::string version;
    if (QueryVersion(CurrentVersionResource(), {}, &version) != 0)
        return version;
    return "1";
}

gboolean OnQuitSignal(gpointer data)
{
    auto* app = static_cast<ServerApp*>(data);
    app->Pause();
    QTimer::singleShot(c_QuitDelayMs, [] { QCoreApplication::quit(); });
    return G_SOURCE_CONTINUE;
}

} // namespace

int main(int argc, char** argv)
{
    // TCMalloc lets its threads' caches hold up to 32 MB; a server mostly at rest wants less.
    using SetProperty = int (*)(const char*, size_t);
    if (auto set = reinterpret_cast<SetProperty>(dlsym(RTLD_DEFAULT, "MallocExtension_SetNumericProperty")))
        set("tcmalloc.max_total_thread_cache_bytes", size_t(4) << 20);
    std::string command = argc > 1 ? CommandOf(argv[1]) : std::string();
    if (command == "h" || command == "help" || command == "?") {
        std::fputs(c_Usage, stdout);
        return 0;
    }
    // Started by the server for its properties window, never by a person.
    if (command == "window" && argc == 2)
        return RunPropertiesWindow(argc, argv);
    if (argc > 2 || (!command.empty() && command != "resume" && command != "pause" && command != "status")) {
        std::fputs(c_Usage, stderr);
        return 2;
    }
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName("Lumo");
    QCoreApplication::setApplicationName("LumoServer");

    ServerInstance instance;
    // Asking about or pausing a server never starts one, nor holds the lock a starting one needs.
    if (command == "status" || command == "pause") {
        const std::optional<std::string> answer = instance.Send(command);
        if (!answer) {
            if (command == "status")
                std::printf("not running\n");
            return command == "status" ? 3 : 0;
        }
        if (command == "status")
            std::printf("%s\n", answer->c_str());
        return 0;
    }
    if (!instance.TryAcquire()) {
        const std::string request = command.empty()
            ? QStringList(QStringList{"properties"} + DisplayVariables()).join(' ').toStdString()
            : command;
        const std::optional<std::string> answer = instance.Send(request);
        if (!answer) {
            std::fprintf(stderr, "LumoServer: the running server does not answer\n");
            return 1;
        }
        if (*answer == c_NoDisplay) {
            std::fprintf(stderr, "LumoServer: no display to show the properties window on\n");
            return 1;
        }
        return 0;
    }

    try {
        HostInternals host;
        EngineConfigValues values;
        values.pluginName = ServerDevices::c_PluginName;
        const ServerSettings settings = ServerSettings::Load(host.ComputerName());
        values.title = settings.name;
        values.uuid = settings.uuid;
        values.interfaces = settings.interfaces;
        values.port = settings.port;
        values.enginePath = host.ProgramFolder() + "server-engine";
        values.engineLibrary = "librygel-media-engine-lumo.so";
        values.serverHeader = "Linux/1 UPnP/1.0 DLNADOC/1.50 LumoServer/" + ProgramVersion();
        InstallEngineConfig(values);
        RegisterMediaEngine();
        GError* error = nullptr;
        rygel_media_engine_init(&error);
        if (error) {
            std::fprintf(stderr, "LumoServer: the media engine cannot be loaded from %s: %s\n",
                values.enginePath.c_str(), error->message);
            g_error_free(error);
            return 1;
        }

        ServerApp app(host);
        PropertiesProcess window(QCoreApplication::applicationFilePath());
        struct Serving {
            ServerApp& app;
            PropertiesProcess& window;
        } serving{app, window};
        instance.SetHandler(
            [](void* context, const std::string& line) {
                auto& [app, window] = *static_cast<Serving*>(context);
                // The window's process is started here, where the server's own variables are.
                if (line == "properties" || line.rfind("properties ", 0) == 0) {
                    const QStringList words = QString::fromStdString(line).split(' ', Qt::SkipEmptyParts).mid(1);
                    return window.Show(words) ? std::string("ok") : std::string(c_NoDisplay);
                }
                return app.Handle(line);
            },
            &serving);
        g_unix_signal_add(SIGTERM, OnQuitSignal, &app);
        g_unix_signal_add(SIGINT, OnQuitSignal, &app);
        app.Resume();
        if (command.empty() && !window.Show(DisplayVariables()))
            std::fprintf(stderr, "LumoServer: no display to show the properties window on\n");
        QCoreApplication::exec();
        app.Pause();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "LumoServer: %s\n", error.what());
        return 1;
    }
    return 0;
}
