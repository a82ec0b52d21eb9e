// The busy cursor's timing: the interface thread beats, a watchdog ticks, and when the beats
// stop for the threshold the hourglass goes up until the next beat.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

class BusyIndicator;

class BusyWatch {
public:
    using Clock = std::function<uint32_t()>;

    static constexpr uint32_t c_minThresholdMs = 250;
    static constexpr uint32_t c_tickMs = 100;

    // The last sign of life starts at construction. The watch starts disabled.
    BusyWatch(uint32_t thresholdMs, BusyIndicator& indicator, Clock clock);
    BusyWatch(const BusyWatch&) = delete;
    BusyWatch& operator=(const BusyWatch&) = delete;

    uint32_t ThresholdMs() const noexcept { return m_thresholdMs; }
    uint32_t HeartbeatMs() const noexcept { return m_thresholdMs / 2; }

    void SetEnabled(bool enabled);
    bool BusyShown() const;

    // Interface thread: records a sign of life and takes the hourglass down.
    void Heartbeat();
    // Watchdog thread: puts the hourglass up after threshold without a sign of life, unless
    // the user holds a mouse button.
    void Tick();

private:
    const uint32_t m_thresholdMs;
    BusyIndicator& m_indicator;
    const Clock m_clock;
    // Guards m_lastLifeMs, m_busyShown, m_enabled, and keeps Show and Hide from crossing.
    mutable std::mutex m_lock;
    uint32_t m_lastLifeMs;
    bool m_busyShown = false;
    bool m_enabled = false;
};
