// One server per user: the first process holds a lock file and listens on a local socket; a
// later one hands its command ("resume", "pause", "properties", "status") to the first,
// prints the answer and quits.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

class ServerInstance : public QObject {
    Q_OBJECT
public:
    static constexpr const char c_Name[] = "LumoServerRunMutex";

    explicit ServerInstance(const QString& name = QString::fromLatin1(c_Name), QObject* parent = nullptr);

    // The local socket the server of that name listens on.
    static QString SocketName(const QString& name = QString::fromLatin1(c_Name));
    ~ServerInstance() override;

    // True when this process is the server from now on (a lock left by a killed process is
    // taken over); false when another process holds it.
    bool TryAcquire();

    // Sends command to the running server and answers its reply line, or nothing when no
    // server answered within timeoutMs.
    std::optional<std::string> Send(const std::string& command, int timeoutMs = 5000);

    // The running server answers a command through this; the default answers "unknown".
    using Handler = std::string (*)(void* context, const std::string& command);
    void SetHandler(Handler handler, void* context);

private:
    void Listen();

    QString m_serverName;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
    Handler m_handler = nullptr;
    void* m_context = nullptr;
};
