#include "app/BusyWatch.h"

#include <algorithm>

#include "app/BusyIndicator.h"

BusyWatch::BusyWatch(uint32_t thresholdMs, BusyIndicator& indicator, Clock clock)
    : m_thresholdMs(std::max(thresholdMs, c_minThresholdMs)),
      m_indicator(indicator),
      m_clock(std::move(clock)),
      m_lastLifeMs(m_clock())
{
}

void BusyWatch::SetEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_enabled = enabled;
}

bool BusyWatch::BusyShown() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_busyShown;
}

void BusyWatch::Heartbeat()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_lastLifeMs = m_clock();
    if (m_busyShown) {
        m_busyShown = false;
        m_indicator.Hide();
    }
}

void BusyWatch::Tick()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_busyShown || !m_enabled)
        return;
    // Unsigned difference, so the tick count may wrap around.
    if (m_clock() - m_lastLifeMs < m_thresholdMs)
        return;
    // Asked last: on X11 it is a round trip to the server.
    if (m_indicator.PointerCaptured())
        return;
    m_busyShown = true;
    m_indicator.Show();
}
