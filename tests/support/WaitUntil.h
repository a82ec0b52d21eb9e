// Waiting on the event loop, the one way every test does it: needs only an application object
// of any kind, so the sanitized tests use it too.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include <QCoreApplication>

// Runs the event loop until condition holds; false when it still does not after milliseconds.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        // Gives the workers the test waits for a moment of the processor.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
