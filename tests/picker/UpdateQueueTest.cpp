// The update queue alone: the duplicate rule, records for views that are gone, and delivery
// woken from another thread without any input.
#include <thread>

#include <QEventLoop>
#include <QTimer>

#include "PickerTestSupport.h"

using namespace LumoApi;

namespace {

std::unique_ptr<UpdateInfo> Record(uint8_t kind, const char* url, QTreeWidgetItem* node = nullptr)
{
    auto info = std::make_unique<UpdateInfo>(kind, MemUrl(url));
    info->m_node = node;
    return info;
}

} // namespace

TEST(UpdateQueueTest, OnlyARepeatOfTheLastEntryIsDropped)
{
    Application();
    QObject first;
    QObject second;
    UpdateQueue queue;
    queue.SetWakeHandler(nullptr);

    queue.AddItem(&first, Record(ChildAdded, "mem://a"));
    queue.AddItem(&first, Record(ChildAdded, "mem://a"));
    EXPECT_EQ(queue.Count(), 1u);
    queue.AddItem(&first, Record(ChildAdded, "mem://b"));
    queue.AddItem(&first, Record(ChildAdded, "mem://a"));
    EXPECT_EQ(queue.Count(), 3u);

    // Another view, kind or node is another record.
    queue.AddItem(&second, Record(ChildAdded, "mem://a"));
    queue.AddItem(&second, Record(ChildRemoved, "mem://a"));
    queue.AddItem(&second, Record(ChildRemoved, "mem://a", reinterpret_cast<QTreeWidgetItem*>(0x8)));
    EXPECT_EQ(queue.Count(), 6u);

    QPointer<QObject> target;
    std::unique_ptr<UpdateInfo> info;
    EXPECT_FALSE(queue.GetItem(6, target, info));
    ASSERT_TRUE(queue.GetItem(1, target, info));
    EXPECT_STREQ(info->m_item->GetText(), "mem://b");
    EXPECT_EQ(target, &first);
    EXPECT_EQ(queue.Count(), 5u);
}

TEST(UpdateQueueTest, RecordsForViewsThatAreGoneAreDeleted)
{
    Application();
    UpdateQueue queue;
    queue.SetWakeHandler(nullptr);
    RecordingView kept;
    {
        RecordingView gone;
        queue.AddItem(&gone, Record(ChildAdded, "mem://before-delivery"));
    }
    auto late = std::make_unique<RecordingView>();
    queue.AddItem(late.get(), Record(ChildAdded, "mem://after-posting"));
    queue.AddItem(&kept, Record(ChildAdded, "mem://kept"));

    EXPECT_FALSE(queue.DeliverOne());
    EXPECT_FALSE(queue.DeliverOne());
    late.reset(); // its posted event, and the record in it, go with it
    EXPECT_TRUE(queue.DeliverOne());
    QCoreApplication::processEvents();
    ASSERT_EQ(kept.records.size(), 1u);
    EXPECT_STREQ(kept.records[0]->m_item->GetText(), "mem://kept");
}

TEST(UpdateQueueTest, IdleProcessingDeliversWhatAnotherThreadQueues)
{
    Application();
    UpdateQueue queue;
    RecordingView view;
    int idleRuns = 0;
    IdleProcessor idle([&] {
        ++idleRuns;
        return queue.DeliverOne();
    });

    // Nothing but the queue's wake can end the wait before the timeout: no timer, no input.
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    view.received = [&] {
        if (view.records.size() == 3)
            loop.quit();
    };
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (int index = 0; index < 3; ++index)
            queue.AddItem(&view, Record(ChildAdded, ("mem://" + std::to_string(index)).c_str()));
    });
    loop.exec();
    worker.join();

    EXPECT_EQ(view.records.size(), 3u);
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_GT(idleRuns, 0);
}
