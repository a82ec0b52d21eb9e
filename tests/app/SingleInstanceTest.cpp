#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>

#include <gtest/gtest.h>

#include "WindowTestSupport.h"
#include "app/SingleInstance.h"

namespace {

// Names of this process alone, so that a publisher running on the machine is left alone.
QString UniqueName()
{
    static int serial = 0;
    return QString("LumoTestRunMutex-%1-%2").arg(getpid()).arg(++serial);
}

// Leaves a socket file behind as a killed process would: bound, never removed.
void LeaveSocketFile(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    ASSERT_LT(size_t(native.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

} // namespace

TEST(SingleInstanceTest, ASecondStartAsksTheFirstToRestoreItself)
{
    WidgetApplication();
    const QString name = UniqueName();
    SingleInstance first(name);
    ASSERT_TRUE(first.TryAcquire());
    int restores = 0;
    QObject::connect(&first, &SingleInstance::RestoreRequested, [&] { ++restores; });

    SingleInstance second(name);
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_TRUE(second.SignalRunning());
    EXPECT_TRUE(WaitUntil([&] { return restores == 1; }));

    // Nobody listens under another name: nothing to signal.
    EXPECT_FALSE(SingleInstance(UniqueName()).SignalRunning());
}

TEST(SingleInstanceTest, WhatAKilledInstanceLeftBehindDoesNotBlockTheNextStart)
{
    WidgetApplication();
    const QString name = UniqueName();
    SingleInstance next(name);

    QProcess gone;
    gone.start("true", {});
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 pid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QFile lock(next.LockPath());
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QString("%1\nlumo-publisher\n%2\n").arg(pid).arg(QSysInfo::machineHostName()).toUtf8());
    lock.close();
    const QString socketPath = QDir(QDir::tempPath()).filePath(next.ServerName());
    LeaveSocketFile(socketPath);

    ASSERT_TRUE(next.TryAcquire());
    int restores = 0;
    QObject::connect(&next, &SingleInstance::RestoreRequested, [&] { ++restores; });
    SingleInstance later(name);
    EXPECT_FALSE(later.TryAcquire());
    EXPECT_TRUE(later.SignalRunning());
    EXPECT_TRUE(WaitUntil([&] { return restores == 1; }));
}
