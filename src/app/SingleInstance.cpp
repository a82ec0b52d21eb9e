#include "app/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr char c_RestoreRequest[] = "restore\n";
constexpr int c_ConnectTimeoutMs = 2000;

QString LockPathFor(const QString& name)
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(name + ".lock");
    // The temporary folder is shared between users, so the lock is made per user there.
    return QDir(QDir::tempPath()).filePath(QString("%1-%2.lock").arg(name).arg(getuid()));
}

} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), m_serverName(QString("%1-%2").arg(name).arg(getuid())), m_lock(LockPathFor(name))
{
    // Only a lock whose process is gone is stale; the running instance may be idle for days.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

bool SingleInstance::TryAcquire()
{
    if (m_lock.isLocked())
        return true;
    if (!m_lock.tryLock(0) && m_lock.error() == QLockFile::LockFailedError)
        return false;
    Listen();
    return true;
}

void SingleInstance::Listen()
{
    // Holding the lock means no live instance owns the socket; one left by a crash would make
    // listen fail.
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
                    if (client->readLine() == c_RestoreRequest)
                        emit RestoreRequested();
                }
            });
        }
    });
}

bool SingleInstance::SignalRunning()
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(c_ConnectTimeoutMs))
        return false;
    socket.write(c_RestoreRequest);
    socket.flush();
    const bool written = socket.bytesToWrite() == 0 || socket.waitForBytesWritten(c_ConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(c_ConnectTimeoutMs);
    return written;
}
