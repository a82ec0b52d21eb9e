#include "app/BusyCursor.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "app/BusyIndicator.h"
#include "app/BusyWatch.h"
#include "platform/Tick.h"

namespace {

std::vector<uint64_t> VisibleWindowIds()
{
    std::vector<uint64_t> ids;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        // Only windows that already have a native window: winId() would create one.
        if (widget->isVisible() && widget->windowHandle())
            ids.push_back(widget->winId());
    }
    return ids;
}

class BusyCursor {
public:
    explicit BusyCursor(uint32_t thresholdMs)
        : m_indicator(CreateBusyIndicator()), m_watch(thresholdMs, *m_indicator, &Platform::GetTickCount)
    {
        m_heartbeat.setInterval(static_cast<int>(m_watch.HeartbeatMs()));
        QObject::connect(&m_heartbeat, &QTimer::timeout, [this] {
            m_indicator->SetWindows(VisibleWindowIds());
            m_watch.Heartbeat();
        });
        m_heartbeat.start();
        m_watchdog = std::thread([this] { RunWatchdog(); });
    }

    ~BusyCursor()
    {
        {
            std::lock_guard<std::mutex> lock(m_stopLock);
            m_stopping = true;
        }
        m_stopSignal.notify_all();
        m_watchdog.join();
        m_heartbeat.stop();
        // Takes down an hourglass still up from a busy spell just before the stop.
        m_watch.Heartbeat();
    }

    BusyWatch& Watcher() noexcept { return m_watch; }

private:
    void RunWatchdog()
    {
        std::unique_lock<std::mutex> lock(m_stopLock);
        while (!m_stopSignal.wait_for(
            lock, std::chrono::milliseconds(BusyWatch::c_tickMs), [this] { return m_stopping; })) {
            lock.unlock();
            m_watch.Tick();
            lock.lock();
        }
    }

    std::unique_ptr<BusyIndicator> m_indicator;
    BusyWatch m_watch;
    QTimer m_heartbeat;
    std::thread m_watchdog;
    // Guards m_stopping, which ends the watchdog's loop.
    std::mutex m_stopLock;
    std::condition_variable m_stopSignal;
    bool m_stopping = false;
};

std::unique_ptr<BusyCursor> g_busyCursor;

} // namespace

void StartBusyCursor(uint32_t thresholdMs)
{
    if (!g_busyCursor) {
        g_busyCursor = std::make_unique<BusyCursor>(thresholdMs);
        // The timer and the thread must go while the application still exists.
        qAddPostRoutine(StopBusyCursor);
    }
    g_busyCursor->Watcher().SetEnabled(true);
}

void StopBusyCursor()
{
    g_busyCursor.reset();
}
