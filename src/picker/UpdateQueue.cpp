#include "picker/UpdateQueue.h"

#include <algorithm>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

#include "common/Assert.h"

using namespace LumoApi;

bool SameItem(UrlApi* a, UrlApi* b)
{
    if (!a || !b)
        return a == b;
    if (a == b)
        return true;
    const char* first = a->GetText();
    const char* second = b->GetText();
    return first && second && std::string_view(first) == std::string_view(second);
}

namespace {

void WakeApplication()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(application->thread()))
        dispatcher->wakeUp();
}

} // namespace

UpdateQueue::UpdateQueue() : m_wake(WakeApplication)
{
}

void UpdateQueue::AddItem(const QPointer<QObject>& target, std::unique_ptr<UpdateInfo> info)
{
    LUMO_ASSERT(info);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_entries.empty()) {
            const MIQEntry& last = m_entries.back();
            // Only the last entry counts, so a burst collapses at a cost that does not grow
            // with the queue.
            if (last.target == target && last.info->m_kind == info->m_kind && last.info->m_node == info->m_node
                && SameItem(last.info->m_item.Get(), info->m_item.Get()))
                return;
        }
        m_entries.push_back(MIQEntry{target, std::move(info)});
        m_count.store(m_entries.size(), std::memory_order_relaxed);
    }
    Wake();
}

bool UpdateQueue::GetItem(size_t index, QPointer<QObject>& target, std::unique_ptr<UpdateInfo>& info)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (index >= m_entries.size())
        return false;
    MIQEntry entry = std::move(m_entries[index]);
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    m_count.store(m_entries.size(), std::memory_order_relaxed);
    LUMO_ASSERT(entry.info);
    target = entry.target;
    info = std::move(entry.info);
    return true;
}

bool UpdateQueue::DeliverOne()
{
    QPointer<QObject> target;
    std::unique_ptr<UpdateInfo> info;
    if (GetItem(0, target, info) && target)
        QCoreApplication::postEvent(target.data(), new QueuedEvent(std::move(info)));
    return Count() == 0;
}

bool UpdateQueue::DeliverSome(size_t most)
{
    std::vector<MIQEntry> taken;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const size_t count = std::min(most, m_entries.size());
        taken.reserve(count);
        for (size_t index = 0; index < count; ++index) {
            taken.push_back(std::move(m_entries.front()));
            m_entries.pop_front();
        }
        m_count.store(m_entries.size(), std::memory_order_relaxed);
    }
    // Posted outside the lock: a view that is gone has its record deleted here.
    for (MIQEntry& entry : taken) {
        if (entry.target)
            QCoreApplication::postEvent(entry.target.data(), new QueuedEvent(std::move(entry.info)));
    }
    return Count() == 0;
}

void UpdateQueue::SetWakeHandler(std::function<void()> wake)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_wake = std::move(wake);
}

void UpdateQueue::Wake() const
{
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        wake = m_wake;
    }
    if (wake)
        wake();
}

IdleProcessor::IdleProcessor(std::function<bool()> idle) : m_context(std::make_unique<QObject>())
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    LUMO_ASSERT(dispatcher);
    QObject::connect(
        dispatcher, &QAbstractEventDispatcher::aboutToBlock, m_context.get(), [dispatcher, idle = std::move(idle)] {
            // Work left: keep the loop from sleeping so this runs again straight away.
            if (!idle())
                dispatcher->wakeUp();
        });
}

IdleProcessor::~IdleProcessor() = default;
