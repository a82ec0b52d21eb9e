// What the tests of the splash, about and notices windows share: one widgets application and
// waiting on the event loop.
#pragma once

#include <chrono>
#include <functional>

#include <QApplication>
#include <QElapsedTimer>

inline QApplication& ShellApplication()
{
    static int argc = 1;
    static char name[] = "app_shell_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

// Runs the event loop until condition holds; false when it still does not after timeoutMs.
inline bool RunUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
