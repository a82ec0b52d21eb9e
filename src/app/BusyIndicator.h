// What the busy cursor shows: the wait cursor over the program's windows, with clicks on them
// swallowed. Which implementation exists is decided by CMake (X11 or none).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class BusyIndicator {
public:
    virtual ~BusyIndicator() = default;

    // The native windows of the interface thread that the hourglass covers; the heartbeat
    // passes them in, since the watchdog thread must not ask Qt. Interface thread.
    virtual void SetWindows(std::vector<uint64_t> windowIds) = 0;
    // Called by BusyWatch under its lock, from either thread.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // A mouse button is down somewhere: a drag or a press the user is in the middle of.
    virtual bool PointerCaptured() = 0;
};

// Where no window system can be reached from another thread (offscreen, Wayland), nothing is
// shown and nothing is captured.
class QuietBusyIndicator final : public BusyIndicator {
public:
    void SetWindows(std::vector<uint64_t>) override { }
    void Show() override { }
    void Hide() override { }
    bool PointerCaptured() override { return false; }
};

// The indicator for the running platform. Interface thread, with a QGuiApplication.
std::unique_ptr<BusyIndicator> CreateBusyIndicator();
