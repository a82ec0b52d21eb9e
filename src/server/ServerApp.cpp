#include "server/ServerApp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "host/HostInternals.h"
#include "server/ServerCore.h"

namespace {

constexpr char c_AutostartName[] = "lumo-server.desktop";
constexpr char c_UnitName[] = "lumo-server.service";

QString AutostartPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QString("autostart/") + c_AutostartName);
}

} // namespace

ServerApp::ServerApp(HostInternals& host, QObject* parent)
    : ServerControl(parent), m_host(host), m_settings(ServerSettings::Load(host.ComputerName()))
{
    m_core = std::make_unique<ServerCore>(host);
    m_devices = std::make_unique<ServerDevices>(
        m_core->RootObject(), host.DataFolder() + "/Server", &ServerCore::ResourceBytes);
    connect(m_core.get(), &ServerCore::CountsChanged, this, &ServerApp::StateChanged);
}

ServerApp::~ServerApp()
{
    m_devices.reset();
    m_core.reset();
}

void ServerApp::Resume()
{
    m_wantRunning = true;
    if (!m_primed) {
        m_core->Prime([this] {
            m_primed = true;
            if (m_wantRunning)
                GoOnline();
        });
        return;
    }
    GoOnline();
}

void ServerApp::GoOnline()
{
    if (m_devices->Running())
        return;
    m_problems.clear();
    m_devices->Start(m_settings, m_problems);
    Q_EMIT StateChanged();
}

void ServerApp::Pause()
{
    m_wantRunning = false;
    m_devices->Stop();
    Q_EMIT StateChanged();
}

void ServerApp::ApplySettings(const ServerSettings& settings)
{
    m_settings = settings;
    m_settings.Save();
    if (m_devices->Running()) {
        m_devices->Stop();
        m_problems.clear();
        m_devices->Start(m_settings, m_problems);
    }
    Q_EMIT StateChanged();
}

ServerState ServerApp::State() const
{
    ServerState state;
    state.serving = m_devices->Running()
        ? ServerState::Serving::Running
        : (m_wantRunning ? ServerState::Serving::Starting : ServerState::Serving::Paused);
    state.endpoints = m_devices->Endpoints();
    state.problems = m_problems;
    const ServerCore::Counts counts = m_core->ServedCounts();
    state.countsKnown = counts.known;
    state.songs = counts.songs;
    state.photos = counts.photos;
    return state;
}

std::string ServerApp::Handle(const std::string& command)
{
    if (command == "resume") {
        Resume();
        return "ok";
    }
    if (command == "pause") {
        Pause();
        return "ok";
    }
    if (command == "reload") {
        ApplySettings(ServerSettings::Load(m_host.ComputerName()));
        return "ok";
    }
    if (command == "status")
        return State().StatusLine();
    return "unknown";
}

bool StartAtLoginEnabled()
{
    return QFile::exists(AutostartPath());
}

std::string SetStartAtLogin(bool enabled, const std::string& serverPath)
{
    std::string problem;
    const QString path = AutostartPath();
    if (enabled) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            problem = "Cannot write " + path.toStdString();
        } else {
            const std::string text = "[Desktop Entry]\nType=Application\nName=Lumo Media Server\n"
                                     "Comment=Serves the published music and photos to players in the home\n"
                                     "Exec=\""
                + serverPath
                + "\" /resume\nIcon=lumo-publisher\nTerminal=false\nNoDisplay=true\n"
                  "X-GNOME-Autostart-enabled=true\n";
            file.write(text.c_str());
        }
    } else if (QFile::exists(path) && !QFile::remove(path)) {
        problem = "Cannot remove " + path.toStdString();
    }
    // Sessions run by systemd start the user unit instead; a second start would only hand
    // "/resume" to the first.
    const QString systemctl = QStandardPaths::findExecutable("systemctl");
    if (!systemctl.isEmpty()) {
        QProcess process;
        process.start(systemctl, {"--user", "--quiet", enabled ? "enable" : "disable", c_UnitName});
        process.waitForFinished(5000);
    }
    return problem;
}
