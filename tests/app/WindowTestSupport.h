// What the main window's tests share: one widgets application, clean settings, and waiting on
// the event loop.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

inline QApplication& WidgetsApplication()
{
    static int argc = 1;
    static char name[] = "app_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

// Forgets the publisher's own values and the server path, as on a first run. The settings
// file is this process's own: test processes run side by side and would read each other's.
inline void ClearSettings()
{
    static QTemporaryDir folder;
    static const bool isolated = (QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path()), true);
    (void)isolated;
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Lumo", "Desktop");
    settings.remove("Publisher");
    settings.remove("ServerPath");
    settings.sync();
}

// Waits for condition while letting the event loop run; false on timeout.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
