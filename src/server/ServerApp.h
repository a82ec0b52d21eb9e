// The running server as the commands and the properties window see it: the content core,
// the devices on the network, the settings and the start-at-login switch.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "server/ServerDevices.h"
#include "server/ServerSettings.h"

class HostInternals;
class ServerCore;

class ServerApp : public QObject {
    Q_OBJECT
public:
    explicit ServerApp(HostInternals& host, QObject* parent = nullptr);
    ~ServerApp() override;

    // Starts serving (or comes back from a pause); the first start waits for the published
    // sets to be read.
    void Resume();
    // Goes off the network (byebye) and closes its sockets; the process stays.
    void Pause();
    bool Running() const { return m_wantRunning; }
    bool OnNetwork() const;

    const ServerSettings& Settings() const { return m_settings; }
    // Saves settings and, when running, serves again with them.
    void ApplySettings(const ServerSettings& settings);
    const std::vector<ServerDevices::Endpoint>& Endpoints() const;
    const std::vector<std::string>& Problems() const { return m_problems; }
    int Songs() const;
    int Photos() const;
    bool CountsKnown() const;

    // "running" or "paused", then the endpoints and counts: the answer to "status".
    std::string StatusLine() const;
    // The answer to a command of another instance.
    std::string Handle(const std::string& command);

    ServerCore& Core() { return *m_core; }

Q_SIGNALS:
    void StateChanged();
    void PropertiesRequested();

private:
    void GoOnline();

    HostInternals& m_host;
    ServerSettings m_settings;
    std::unique_ptr<ServerCore> m_core;
    std::unique_ptr<ServerDevices> m_devices;
    std::vector<std::string> m_problems;
    bool m_primed = false;
    bool m_wantRunning = false;
};

// Turns the start at login on or off: the XDG autostart entry in the user's configuration
// and, where systemd runs the session, the user unit. Answers what went wrong, or "".
std::string SetStartAtLogin(bool enabled, const std::string& serverPath);
bool StartAtLoginEnabled();
