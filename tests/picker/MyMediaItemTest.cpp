// Items of the picker over a real host: listings on the worker, their collection and failure
// dialog, notifications from a module's own thread, and destruction while a worker is stuck.
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include <lumo/Errors.h>

#include "PickerTestSupport.h"
#include "common/Exceptions.h"
#include "host/MediaItem.h"
#include "picker/MyMediaItem.h"
#include "platform/MessageBox.h"

using namespace LumoApi;

namespace {

constexpr char c_Root[] = "mem://fixture/root";
constexpr char c_Empty[] = "mem://fixture/root/Empty";
constexpr char c_Song[] = "mem://fixture/root/song1.fxa";

// The answers to the next boxes, in order; Cancel once they run out.
std::vector<int> g_answers;
int g_boxes = 0;
std::string g_shownText;
std::string g_shownCaption;

int ScriptedBox(const char* text, const char* caption, uint32_t)
{
    ++g_boxes;
    g_shownText = text;
    g_shownCaption = caption;
    if (g_answers.empty())
        return Platform::IDCANCEL;
    const int answer = g_answers.front();
    g_answers.erase(g_answers.begin());
    return answer;
}

class MyMediaItemTest : public testing::Test {
protected:
    MyMediaItemTest() { Application(); }
    ~MyMediaItemTest() override { Platform::SetMessageBoxHandler(m_previousBox); }

    template <class Function>
    Function Fixture(const char* name)
    {
        Function function = m_folder.MediaFunction<Function>(name);
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    // Collects the item's listing once it finished; false when none finished in time.
    bool Collect(MyMediaItem& item)
    {
        const bool finished = WaitUntil([&] {
            item.PostRefreshNotification();
            return !item.HasEnumeration() || item.RefreshPending();
        });
        return finished;
    }

    void Drain()
    {
        while (!m_queue.DeliverOne()) { }
        QCoreApplication::processEvents();
    }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    UpdateQueue m_queue;
    RecordingView m_view;
    Platform::MessageBoxHandler m_previousBox = Platform::SetMessageBoxHandler(ScriptedBox);
};

} // namespace

TEST_F(MyMediaItemTest, RequestsDuringAListingCollapseIntoOneMore)
{
    ItemsPaneItem item(MemUrl(c_Root), &m_view, m_queue);
    item.StartEnumeration();
    item.StartEnumeration();
    item.StartEnumeration();
    EXPECT_TRUE(item.RefreshPending());

    ASSERT_TRUE(WaitUntil([&] {
        item.PostRefreshNotification();
        return m_queue.Count() == 1;
    }));
    // Collecting the first listing started the one further listing by itself.
    EXPECT_TRUE(item.HasEnumeration());
    EXPECT_FALSE(item.RefreshPending());
    Drain();
    ASSERT_TRUE(WaitUntil([&] {
        item.PostRefreshNotification();
        return !item.HasEnumeration();
    }));
    Drain();

    ASSERT_EQ(m_view.records.size(), 2u);
    for (const auto& record : m_view.records) {
        EXPECT_EQ(record->m_kind, Enumerated);
        EXPECT_STREQ(record->m_item->GetText(), c_Root);
        ASSERT_TRUE(record->m_ChildList);
        EXPECT_EQ(record->m_ChildList->front(), "mem://fixture/root/Album.2003");
    }
}

TEST_F(MyMediaItemTest, EmptyContainersAreDeliveredAndOtherItemsNeverList)
{
    Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
        c_Root, c_Empty, "x-container/mem", 0);
    MediaTreeItem folder(MemUrl(c_Empty), &m_view, m_queue, reinterpret_cast<QTreeWidgetItem*>(0x10));
    folder.StartEnumeration();
    ASSERT_TRUE(Collect(folder));
    Drain();
    ASSERT_EQ(m_view.records.size(), 1u);
    ASSERT_TRUE(m_view.records[0]->m_ChildList);
    EXPECT_TRUE(m_view.records[0]->m_ChildList->empty());
    EXPECT_EQ(m_view.records[0]->m_node, reinterpret_cast<QTreeWidgetItem*>(0x10));

    ItemsPaneItem song(MemUrl(c_Song), &m_view, m_queue);
    EXPECT_FALSE(song.IsContainer());
    song.StartEnumeration();
    song.Subscribe();
    EXPECT_FALSE(song.HasEnumeration());
    EXPECT_FALSE(song.IsSubscribed());
}

TEST_F(MyMediaItemTest, ATreeNodesListingHoldsItsContainersOnlyInTheListingsOrder)
{
    ItemsPaneItem pane(MemUrl(c_Root), &m_view, m_queue);
    pane.StartEnumeration();
    ASSERT_TRUE(Collect(pane));
    Drain();
    MediaTreeItem node(MemUrl(c_Root), &m_view, m_queue, nullptr);
    node.StartEnumeration();
    ASSERT_TRUE(Collect(node));
    Drain();
    ASSERT_EQ(m_view.records.size(), 2u);
    ASSERT_TRUE(m_view.records[0]->m_ChildList && m_view.records[1]->m_ChildList);
    const ChildList& all = *m_view.records[0]->m_ChildList;
    ChildList containers;
    for (const std::string& child : all) {
        if (MediaItem(MemUrl(child.c_str())).IsContainer())
            containers.push_back(child);
    }
    ASSERT_FALSE(containers.empty());
    ASSERT_LT(containers.size(), all.size());
    EXPECT_EQ(*m_view.records[1]->m_ChildList, containers);
}

TEST_F(MyMediaItemTest, FailedListingAsksRetryOrCancel)
{
    Fixture<void (*)(const char*, int, uint32_t)>("Fixture_SetFailure")(c_Root, 0, ERROR_INVALID_DATA);
    ItemsPaneItem item(MemUrl(c_Root), &m_view, m_queue);

    item.StartEnumeration();
    ASSERT_TRUE(Collect(item));
    EXPECT_EQ(g_boxes, 1);
    EXPECT_EQ(g_shownCaption, "Enumeration Failure");
    EXPECT_EQ(g_shownText, "(WinErrorException)" + FormatSystemMessage(ERROR_INVALID_DATA) + " during step: ");
    EXPECT_FALSE(item.HasEnumeration());
    EXPECT_EQ(m_queue.Count(), 0u);

    // Retry lists again at once: the listing fails a second time and asks again.
    g_answers = {Platform::IDRETRY};
    item.StartEnumeration();
    ASSERT_TRUE(WaitUntil([&] {
        item.PostRefreshNotification();
        return g_boxes == 3 && !item.HasEnumeration();
    }));
    EXPECT_EQ(m_queue.Count(), 0u);
}

TEST_F(MyMediaItemTest, NotificationsFromAModuleThreadReachTheView)
{
    auto addChild = Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild");
    auto notify = Fixture<void (*)(const char*, int, const char*, int)>("Fixture_Notify");
    ItemsPaneItem item(MemUrl(c_Root), &m_view, m_queue);
    item.Subscribe();
    ASSERT_TRUE(item.IsSubscribed());

    addChild(c_Root, "mem://fixture/root/song2.fxa", "audio/x-fixture", 1);
    addChild(c_Root, "mem://fixture/root/song2.fxa", "audio/x-fixture", 1);
    notify(c_Root, 1, c_Song, 1);
    // The whole container changed: nothing queued now, one listing later.
    notify(c_Root, 2, nullptr, 1);
    EXPECT_EQ(m_queue.Count(), 2u) << "the repeated addition collapses into one record";
    EXPECT_FALSE(item.HasEnumeration());
    ASSERT_TRUE(WaitUntil([&] {
        item.PostRefreshNotification();
        return m_queue.Count() == 3;
    }));
    Drain();

    ASSERT_EQ(m_view.records.size(), 3u);
    EXPECT_EQ(m_view.records[0]->m_kind, ChildAdded);
    EXPECT_STREQ(m_view.records[0]->m_item->GetText(), "mem://fixture/root/song2.fxa");
    EXPECT_EQ(m_view.records[1]->m_kind, ChildRemoved);
    EXPECT_EQ(m_view.records[2]->m_kind, Enumerated);
    EXPECT_EQ(m_view.records[2]->m_ChildList->back(), "mem://fixture/root/song2.fxa");
}

TEST_F(MyMediaItemTest, DestroyingWhileAWorkerIsStuckLeavesItRunning)
{
    auto stall = Fixture<void (*)(int)>("Fixture_SetEnumerationStall");
    stall(1);
    auto item = std::make_unique<ItemsPaneItem>(MemUrl(c_Root), &m_view, m_queue);
    item->StartEnumeration();

    const auto start = std::chrono::steady_clock::now();
    item.reset();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::milliseconds(9000));
    EXPECT_EQ(EnumerateContainer::Running(), 1);

    // Let it go: the abandoned worker finishes and deletes itself before the module unloads.
    stall(0);
    EXPECT_TRUE(WaitUntil([] { return EnumerateContainer::Running() == 0; }));
    EXPECT_EQ(m_queue.Count(), 0u);
}

// A module may take long over a subscription (a folder's snapshot); a shown container is
// subscribed on its listing's worker, before it is listed, and a failure is raised on delivery.
TEST_F(MyMediaItemTest, AShownContainerIsSubscribedOnItsWorkerBeforeItIsListed)
{
    auto stall = Fixture<int (*)(int)>("Fixture_SetSubscribeStall");
    auto subscriptions = Fixture<int (*)(const char*)>("Fixture_Subscriptions");
    auto fail = Fixture<void (*)(const char*, uint32_t)>("Fixture_SetSubscribeFailure");
    auto addChild = Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild");
    auto releaseAfter = [&](std::shared_future<void> go, std::chrono::milliseconds wait) {
        return std::jthread([=] {
            go.wait_for(std::chrono::seconds(3));
            std::this_thread::sleep_for(wait);
            stall(0);
        });
    };
    {
        stall(1);
        // Were the subscription made here, only the 3 s of this thread would end it.
        std::promise<void> returned;
        std::jthread release = releaseAfter(returned.get_future().share(), std::chrono::milliseconds(0));
        ItemsPaneItem item(MemUrl(c_Root), &m_view, m_queue);
        ListAndWatch(item);
        EXPECT_EQ(subscriptions(c_Root), 0) << "the caller did not wait for the subscription";
        EXPECT_TRUE(item.HasEnumeration());
        ASSERT_TRUE(WaitUntil([&] { return stall(1) == 1; })) << "the worker is inside Subscribe";
        addChild(c_Root, "mem://fixture/root/song2.fxa", "audio/x-fixture", 0);
        returned.set_value();
        ASSERT_TRUE(Collect(item));
        EXPECT_EQ(subscriptions(c_Root), 1);
        Drain();
        ASSERT_EQ(m_view.records.size(), 1u);
        ASSERT_TRUE(m_view.records[0]->m_ChildList);
        EXPECT_EQ(m_view.records[0]->m_ChildList->back(), "mem://fixture/root/song2.fxa")
            << "listed after subscribing, so nothing falls between the two";
    }
    EXPECT_EQ(subscriptions(c_Root), 0);

    {
        // Destroyed while its subscription is under way: it waits for it, then unsubscribes.
        stall(1);
        std::promise<void> destroying;
        std::jthread release = releaseAfter(destroying.get_future().share(), std::chrono::milliseconds(50));
        {
            ItemsPaneItem item(MemUrl(c_Root), &m_view, m_queue);
            ListAndWatch(item);
            ASSERT_TRUE(WaitUntil([&] { return stall(1) == 1; }));
            destroying.set_value();
        }
        EXPECT_EQ(subscriptions(c_Root), 0) << "no subscription outlives its item";
    }

    fail(c_Root, ERROR_ACCESS_DENIED);
    ItemsPaneItem refused(MemUrl(c_Root), &m_view, m_queue);
    ListAndWatch(refused);
    bool raised = false;
    ASSERT_TRUE(WaitUntil([&] {
        try {
            refused.PostRefreshNotification();
        } catch (const WinErrorException& error) {
            raised = error.ErrorCode() == ERROR_ACCESS_DENIED;
        }
        return !refused.HasEnumeration();
    }));
    EXPECT_TRUE(raised);
    EXPECT_EQ(m_queue.Count(), 1u) << "the listing is delivered all the same";
    Drain();

    fail(c_Root, ERROR_INVALID_FUNCTION);
    ItemsPaneItem unwatchable(MemUrl(c_Root), &m_view, m_queue);
    ListAndWatch(unwatchable);
    EXPECT_NO_THROW(EXPECT_TRUE(Collect(unwatchable))) << "a container that cannot be watched is listed quietly";
    EXPECT_EQ(m_queue.Count(), 1u);
}

// The tree waits for an opened node's listing: between idle passes it rests instead of spinning,
// and the wait ends with the children delivered.
TEST_F(MyMediaItemTest, WaitingForANodesListingRestsBetweenPassesAndEndsWithItsChildren)
{
    auto stall = Fixture<void (*)(int)>("Fixture_SetEnumerationStall");
    stall(1);
    ItemsPaneItem item(MemUrl(c_Root), &m_view, m_queue);
    item.StartEnumeration();
    std::jthread release([stall] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stall(0);
    });
    int passes = 0;
    const auto start = std::chrono::steady_clock::now();
    WaitForEnumeration(item, [&] {
        ++passes;
        item.PostRefreshNotification();
        return m_queue.DeliverOne();
    });
    const auto waited = std::chrono::steady_clock::now() - start;

    EXPECT_FALSE(item.HasEnumeration());
    ASSERT_EQ(m_view.records.size(), 1u);
    EXPECT_EQ(m_view.records[0]->m_kind, Enumerated);
    EXPECT_LE(passes, waited / std::chrono::milliseconds(50) + 3) << "idle was spun on while the listing was stuck";
}
