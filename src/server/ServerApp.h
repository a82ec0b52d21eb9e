// The running server as the commands and the properties window see it: the content core,
// the devices on the network, the settings and the start-at-login switch.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "server/ServerControl.h"
#include "server/ServerDevices.h"
#include "server/ServerSettings.h"

class HostInternals;
class ServerCore;

class ServerApp : public ServerControl {
    Q_OBJECT
public:
    explicit ServerApp(HostInternals& host, QObject* parent = nullptr);
    ~ServerApp() override;

    // Starts serving (or comes back from a pause); the first start waits for the published
    // sets to be read.
    void Resume() override;
    // Goes off the network (byebye) and closes its sockets; the process stays.
    void Pause() override;
    ServerState State() const override;
    ServerSettings Settings() const override { return m_settings; }
    // Saves settings and, when running, serves again with them.
    void ApplySettings(const ServerSettings& settings) override;

    // The answer to a command of another instance: "resume", "pause", "status", "reload"
    // (the settings file changed).
    std::string Handle(const std::string& command);

    ServerCore& Core() { return *m_core; }

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
