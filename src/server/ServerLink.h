// The running server seen from its properties window, a process of its own: the state is
// the status the server answers on its local socket, asked for twice a second; commands go
// the same way; the settings are read from the settings file and, once written there, the
// server is told to read them.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QString>
#include <QTimer>

#include "server/ServerControl.h"

class ServerLink : public ServerControl {
    Q_OBJECT
public:
    // serverPath starts a server when none answers and the person asks to resume.
    ServerLink(std::string computerName, QString socketName, QString serverPath, QObject* parent = nullptr);

    ServerState State() const override { return m_state; }
    bool Answers() const override { return m_answers; }
    ServerSettings Settings() const override;
    void Resume() override;
    void Pause() override;
    void ApplySettings(const ServerSettings& settings) override;

private:
    using Answer = std::function<void(const std::optional<std::string>&)>;

    void Poll();
    // Sends command on a connection of its own; then gets the answer line, or nothing when
    // no server answered.
    void Ask(const std::string& command, Answer then);

    std::string m_computerName;
    QString m_socketName;
    QString m_serverPath;
    ServerState m_state;
    bool m_answers = false;
    bool m_polling = false;
    QTimer m_pollTimer;
};
