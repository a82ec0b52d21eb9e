// Keeps one publisher running per user: the first process holds a lock file and listens on a
// local socket; a later one finds the lock taken, asks the first to come forward and quits.
#pragma once

#include <memory>

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr const char c_Name[] = "LumoDesktopPublisherRunMutex";

    // name gives the lock file ("<name>.lock" in the runtime folder) and the socket
    // ("<name>-<uid>"). Nothing is taken until TryAcquire.
    explicit SingleInstance(const QString& name = QString::fromLatin1(c_Name), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the running instance from now on; it then listens for
    // restore requests. False when another process holds the lock. A lock left by a killed
    // process, and its socket, are taken over. When the lock cannot be made at all (an
    // unwritable folder) the answer is true: a broken folder must not keep the program away.
    bool TryAcquire();

    // Asks the running instance to restore itself; false when none answered.
    bool SignalRunning();

    QString LockPath() const { return m_lock.fileName(); }
    QString ServerName() const { return m_serverName; }

signals:
    void RestoreRequested();

private:
    void Listen();

    QString m_serverName;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
