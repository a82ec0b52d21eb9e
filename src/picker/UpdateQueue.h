// The one road from other threads to the views: a locked FIFO of changes, each addressed to the
// view that shows the item, drained in order by the idle calls on the interface thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include <QEvent>
#include <QPointer>

#include "picker/UpdateInfo.h"

class QObject;

// The event a view receives for each record; it owns the record until a view takes it, so a
// record for a view that is gone is deleted with the event.
class QueuedEvent : public QEvent {
public:
    static constexpr QEvent::Type c_Type = QEvent::Type(0x8001); // UM_QUEUED_EVENT

    explicit QueuedEvent(std::unique_ptr<UpdateInfo> info) : QEvent(c_Type), m_info(std::move(info)) { }
    std::unique_ptr<UpdateInfo> TakeInfo() noexcept { return std::move(m_info); }

private:
    std::unique_ptr<UpdateInfo> m_info;
};

struct MIQEntry {
    QPointer<QObject> target;
    std::unique_ptr<UpdateInfo> info;
};

class UpdateQueue {
public:
    UpdateQueue();
    UpdateQueue(const UpdateQueue&) = delete;
    UpdateQueue& operator=(const UpdateQueue&) = delete;

    // Any thread. Queues info for target unless it repeats the last entry (same target, kind,
    // item and node), in which case info is dropped. Wakes the interface thread.
    void AddItem(const QPointer<QObject>& target, std::unique_ptr<UpdateInfo> info);
    // Interface thread. Removes the entry at index and hands out its contents; false when the
    // index is not below the count.
    bool GetItem(size_t index, QPointer<QObject>& target, std::unique_ptr<UpdateInfo>& info);
    size_t Count() const noexcept { return m_count.load(std::memory_order_relaxed); }

    // Interface thread. Posts entry 0 to its view (dropping it when the view is gone); true
    // when the queue is empty afterwards.
    bool DeliverOne();
    // Interface thread. The same for up to most entries, in order, under one taking of the
    // lock; true when the queue is empty afterwards.
    bool DeliverSome(size_t most);

    // Called, on any thread, whenever there is something for the interface thread to collect:
    // a record queued or an enumeration finished. By default it wakes the application's event
    // loop so that its idle processing runs without waiting for input.
    void SetWakeHandler(std::function<void()> wake);
    void Wake() const;

private:
    mutable std::mutex m_lock;
    std::deque<MIQEntry> m_entries;
    std::atomic<size_t> m_count{0};
    std::function<void()> m_wake;
};

// Runs idle processing whenever the interface thread's event loop is about to wait, and again
// at once while the processing reports work left: the counterpart of an idle event with a
// "done" flag. The queue's wake makes the loop come round even when no input arrives.
class IdleProcessor {
public:
    // idle answers true when it is done. Installed on the current thread's event dispatcher.
    explicit IdleProcessor(std::function<bool()> idle);
    ~IdleProcessor();
    IdleProcessor(const IdleProcessor&) = delete;
    IdleProcessor& operator=(const IdleProcessor&) = delete;

private:
    std::unique_ptr<QObject> m_context;
};
