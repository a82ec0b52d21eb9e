#include "server/ServerInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

// A command or an answer is one line: a status with its problems, or a request for the
// window with the asker's display variables. Anything longer is not from us.
constexpr qint64 c_MaxLineBytes = 4096;

// The lock and the socket sit side by side in the user's runtime folder, so two sessions
// with runtime folders of their own never meet; without one, in the temporary folder per user.
QString PathFor(const QString& name, const char* suffix)
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(name + suffix);
    return QDir(QDir::tempPath()).filePath(QString("%1-%2%3").arg(name).arg(getuid()).arg(suffix));
}

} // namespace

QString ServerInstance::SocketName(const QString& name)
{
    return PathFor(name, ".socket");
}

ServerInstance::ServerInstance(const QString& name, QObject* parent)
    : QObject(parent), m_serverName(SocketName(name)), m_lock(PathFor(name, ".lock"))
{
    m_lock.setStaleLockTime(0);
}

ServerInstance::~ServerInstance()
{
    if (m_server)
        m_server->close();
}

bool ServerInstance::TryAcquire()
{
    if (m_lock.isLocked())
        return true;
    if (!m_lock.tryLock(0) && m_lock.error() == QLockFile::LockFailedError)
        return false;
    Listen();
    return true;
}

void ServerInstance::SetHandler(Handler handler, void* context)
{
    m_handler = handler;
    m_context = context;
}

void ServerInstance::Listen()
{
    QLocalServer::removeServer(m_serverName);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        m_server.reset();
        return;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                while (client->canReadLine()) {
                    QByteArray line = client->readLine(c_MaxLineBytes).trimmed();
                    const std::string command = line.toStdString();
                    const std::string answer = m_handler ? m_handler(m_context, command) : std::string("unknown");
                    client->write((answer + "\n").c_str());
                    client->flush();
                }
                if (client->bytesAvailable() > c_MaxLineBytes)
                    client->abort();
            });
        }
    });
}

std::optional<std::string> ServerInstance::Send(const std::string& command, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeoutMs))
        return std::nullopt;
    socket.write((command + "\n").c_str());
    socket.flush();
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return std::nullopt;
    }
    std::string answer = socket.readLine(c_MaxLineBytes).trimmed().toStdString();
    socket.disconnectFromServer();
    return answer;
}
