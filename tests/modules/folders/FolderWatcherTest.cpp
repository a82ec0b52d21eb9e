// Change notification of folders: inotify news coalesced per name, polling where inotify cannot
// serve, whole-folder changes, and the promise of Unsubscribe. Also the decoding of inotify
// records and the comparison of snapshots on their own.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <mutex>
#include <sys/inotify.h>
#include <thread>

#include <gtest/gtest.h>

#include "../../../modules/folders/FolderEvents.h"
#include "FoldersTestSupport.h"
#include "host/Log.h"

using namespace LumoApi;
using namespace std::chrono_literals;

namespace {

struct Notice {
    int32_t event;
    // "" for the whole container.
    std::string path;

    bool operator==(const Notice&) const = default;
};

std::ostream& operator<<(std::ostream& stream, const Notice& notice)
{
    return stream << "{" << notice.event << ", " << (notice.path.empty() ? "(whole)" : notice.path) << "}";
}

// Records every notification; optionally runs a hook inside the callback.
class Recorder : public RefNeutral<ContainerCallbackApi> {
public:
    void LUMO_CALL OnNotify(ContainerApi* container, int32_t event, UrlApi* child) override
    {
        if (m_hook)
            m_hook(container);
        std::lock_guard<std::mutex> lock(m_lock);
        m_notices.push_back(Notice{event, child ? PathOf(child) : std::string()});
        m_arrived.notify_all();
    }

    // Waits until predicate holds for the notices so far; false after timeout.
    bool WaitFor(
        const std::function<bool(const std::vector<Notice>&)>& predicate, std::chrono::milliseconds timeout = 10s)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_arrived.wait_for(lock, timeout, [&] { return predicate(m_notices); });
    }
    bool WaitForNotice(const Notice& notice, std::chrono::milliseconds timeout = 10s)
    {
        return WaitFor([&](const auto& notices) { return Contains(notices, notice); }, timeout);
    }
    std::vector<Notice> Notices()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_notices;
    }
    void SetHook(std::function<void(ContainerApi*)> hook) { m_hook = std::move(hook); }

    static bool Contains(const std::vector<Notice>& notices, const Notice& notice)
    {
        return std::find(notices.begin(), notices.end(), notice) != notices.end();
    }

private:
    std::function<void(ContainerApi*)> m_hook;
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<Notice> m_notices;
};

size_t ThreadCount()
{
    size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks))
            count += entry->d_name[0] != '.';
        closedir(tasks);
    }
    return count;
}

class FolderWatcherTest : public FoldersHostTest {
protected:
    // A subscription that ends with the test, however it ends.
    struct Watch {
        ApiRef<ContainerApi> container;
        Recorder* recorder;
        ~Watch()
        {
            if (container)
                container->Unsubscribe(recorder);
        }
    };
    Watch Subscribe(const std::string& path, Recorder& recorder)
    {
        Watch watch{ContainerOf(path), &recorder};
        EXPECT_EQ(watch.container->Subscribe(&recorder, 0), 1);
        return watch;
    }
};

} // namespace

TEST_F(FolderWatcherTest, ReportsAddedRemovedRenamedAndWrittenChildren)
{
    const std::string folder = m_sandbox.Folder("Album");
    const std::string kept = m_sandbox.File("Album/kept.mp3");
    Recorder recorder;
    Watch watch = Subscribe(folder, recorder);

    const std::string song = m_sandbox.File("Album/new song.mp3");
    EXPECT_TRUE(recorder.WaitForNotice({c_ChildAdded, song}));
    std::filesystem::rename(song, m_sandbox.Path("Album/renamed.mp3"));
    EXPECT_TRUE(recorder.WaitForNotice({c_ChildRemoved, song}));
    EXPECT_TRUE(recorder.WaitForNotice({c_ChildAdded, m_sandbox.Path("Album/renamed.mp3")}));
    m_sandbox.File("Album/kept.mp3", "new tags");
    EXPECT_TRUE(recorder.WaitForNotice({c_ContainerChanged, kept}));
    std::filesystem::remove(kept);
    EXPECT_TRUE(recorder.WaitForNotice({c_ChildRemoved, kept}));
    const std::string disc = m_sandbox.Folder("Album/Disc 2");
    EXPECT_TRUE(recorder.WaitForNotice({c_ChildAdded, disc}));
}

TEST_F(FolderWatcherTest, ReportsNothingOfHiddenOrShortLivedChildren)
{
    const std::string folder = m_sandbox.Folder("Album");
    Recorder recorder;
    Watch watch = Subscribe(folder, recorder);

    m_sandbox.File("Album/.partial.mp3");
    std::filesystem::remove(m_sandbox.File("Album/flash.mp3"));
    const std::string marker = m_sandbox.File("Album/marker.mp3");
    ASSERT_TRUE(recorder.WaitForNotice({c_ChildAdded, marker}));
    EXPECT_EQ(recorder.Notices(), (std::vector<Notice>{{c_ChildAdded, marker}}));
}

TEST_F(FolderWatcherTest, BurstOfCreationsReportsEachNameOnce)
{
    const std::string folder = m_sandbox.Folder("Import");
    Recorder recorder;
    Watch watch = Subscribe(folder, recorder);

    std::set<std::string> created;
    for (int index = 0; index < 100; ++index)
        created.insert(m_sandbox.File("Import/photo " + std::to_string(index) + ".jpg", "bytes"));
    ASSERT_TRUE(recorder.WaitFor([&](const std::vector<Notice>& notices) {
        std::set<std::string> seen;
        for (const Notice& notice : notices)
            seen.insert(notice.path);
        return seen == created;
    }));
    // Late news of the same burst would show up within a window or two.
    std::this_thread::sleep_for(300ms);
    const std::vector<Notice> notices = recorder.Notices();
    EXPECT_EQ(notices.size(), 100u);
    for (const Notice& notice : notices)
        EXPECT_EQ(notice.event, c_ChildAdded) << notice;
}

TEST_F(FolderWatcherTest, RefreshAndTheFolderGoingAwayChangeTheWholeFolder)
{
    const std::string folder = m_sandbox.Folder("Album");
    const std::string song = m_sandbox.File("Album/song.mp3");
    Recorder recorder;
    Watch watch = Subscribe(folder, recorder);

    EXPECT_EQ(watch.container->Refresh(nullptr), 1);
    EXPECT_TRUE(recorder.WaitForNotice({c_ContainerChanged, ""}));
    EXPECT_EQ(watch.container->Refresh(FileUrl(song).Get()), 1);
    EXPECT_TRUE(recorder.WaitForNotice({c_ContainerChanged, song}));
    EXPECT_EQ(watch.container->Refresh(FileUrl(m_sandbox.Path("elsewhere.mp3")).Get()), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);

    const size_t before = recorder.Notices().size();
    std::filesystem::remove_all(folder);
    EXPECT_TRUE(recorder.WaitFor([&](const std::vector<Notice>& notices) {
        return notices.size() > before && notices.back() == Notice{c_ContainerChanged, ""};
    }));
}

TEST_F(FolderWatcherTest, OneFolderUnderTwoPathsAndTwoSubscribers)
{
    const std::string folder = m_sandbox.Folder("Album");
    const std::string link = m_sandbox.Link("Linked", folder);
    Recorder first;
    Recorder second;
    Recorder throughLink;
    Watch firstWatch = Subscribe(folder, first);
    Watch secondWatch = Subscribe(folder, second);
    Watch linkWatch = Subscribe(link, throughLink);

    m_sandbox.File("Album/one.mp3");
    EXPECT_TRUE(first.WaitForNotice({c_ChildAdded, folder + "/one.mp3"}));
    EXPECT_TRUE(second.WaitForNotice({c_ChildAdded, folder + "/one.mp3"}));
    EXPECT_TRUE(throughLink.WaitForNotice({c_ChildAdded, link + "/one.mp3"}));

    // The others go on after one leaves, on the watch they shared.
    secondWatch.container->Unsubscribe(&second);
    secondWatch.container.Reset();
    m_sandbox.File("Album/two.mp3");
    EXPECT_TRUE(first.WaitForNotice({c_ChildAdded, folder + "/two.mp3"}));
    EXPECT_TRUE(throughLink.WaitForNotice({c_ChildAdded, link + "/two.mp3"}));
    EXPECT_FALSE(Recorder::Contains(second.Notices(), {c_ChildAdded, folder + "/two.mp3"}));
}

TEST_F(FolderWatcherTest, LostEventsChangeTheWholeFolder)
{
    size_t queueLimit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queueLimit;
    if (queueLimit == 0 || queueLimit > 100000)
        GTEST_SKIP() << "the inotify queue limit (" << queueLimit << ") is too large to overflow quickly";
    const std::string folder = m_sandbox.Folder("Flood");
    Recorder recorder;
    // The first callback holds the watcher thread, so the kernel's queue fills up meanwhile.
    std::mutex gateLock;
    std::condition_variable gateOpened;
    bool open = false;
    std::atomic<bool> held{false};
    recorder.SetHook([&](ContainerApi*) {
        held = true;
        std::unique_lock<std::mutex> lock(gateLock);
        gateOpened.wait(lock, [&] { return open; });
    });
    Watch watch = Subscribe(folder, recorder);
    m_sandbox.File("Flood/first.mp3");
    while (!held.load())
        std::this_thread::sleep_for(1ms);
    // Each file makes two events: created, and closed after writing.
    for (size_t index = 0; index < queueLimit / 2 + 100; ++index)
        m_sandbox.File("Flood/" + std::to_string(index), "");
    {
        std::lock_guard<std::mutex> lock(gateLock);
        open = true;
    }
    gateOpened.notify_all();
    EXPECT_TRUE(recorder.WaitForNotice({c_ContainerChanged, ""}));
}

TEST_F(FolderWatcherTest, PollingSeesChangesWhereInotifyCannot)
{
    ScopedEnvironment poll("LUMO_FOLDERS_POLL", "1");
    const std::string folder = m_sandbox.Folder("Share");
    const std::string song = m_sandbox.File("Share/song.mp3", "v1");
    Recorder recorder;
    Watch watch = Subscribe(folder, recorder);

    // A second subscriber to the same folder is no news for the log.
    Recorder other;
    Watch otherWatch = Subscribe(folder, other);
    // Another process of these tests starting meanwhile moves the log aside as ".old".
    size_t lines = 0;
    for (const std::filesystem::path& path : {std::filesystem::path(Log::Instance().Path()),
             std::filesystem::path(Log::Instance().Path()).replace_extension(".old")}) {
        std::ifstream log(path);
        for (std::string line; std::getline(log, line);)
            lines
                += line.find("Folders") != std::string::npos && line.find(folder + " by polling") != std::string::npos;
    }
    EXPECT_EQ(lines, 1u) << "the log says once that the folder is polled";

    const std::string added = m_sandbox.File("Share/added.mp3");
    m_sandbox.File("Share/song.mp3", "version 2");
    EXPECT_TRUE(recorder.WaitForNotice({c_ChildAdded, added}));
    EXPECT_TRUE(recorder.WaitForNotice({c_ContainerChanged, song}));
    std::filesystem::remove(added);
    EXPECT_TRUE(recorder.WaitForNotice({c_ChildRemoved, added}));
}

TEST_F(FolderWatcherTest, NoCallbackRunsOnceUnsubscribeReturns)
{
    const std::string folder = m_sandbox.Folder("Busy");
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int index = 0; !stop.load(); ++index) {
            m_sandbox.File("Busy/file " + std::to_string(index % 50) + ".mp3", std::to_string(index));
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int round = 0; round < 5; ++round) {
        Recorder recorder;
        std::atomic<bool> unsubscribed{false};
        std::atomic<int> inside{0};
        std::atomic<int> late{0};
        recorder.SetHook([&](ContainerApi*) {
            ++inside;
            if (unsubscribed.load())
                ++late;
            // Widens the window in which Unsubscribe meets a callback under way.
            std::this_thread::sleep_for(5ms);
            --inside;
        });
        ApiRef<ContainerApi> container = ContainerOf(folder);
        ASSERT_EQ(container->Subscribe(&recorder, 0), 1);
        ASSERT_TRUE(recorder.WaitFor([](const auto& notices) { return !notices.empty(); }));
        container->Unsubscribe(&recorder);
        unsubscribed = true;
        EXPECT_EQ(inside.load(), 0);
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(late.load(), 0);
    }
    stop = true;
    writer.join();
}

TEST_F(FolderWatcherTest, CallbackMayUnsubscribeItself)
{
    const std::string folder = m_sandbox.Folder("Once");
    Recorder recorder;
    ApiRef<ContainerApi> container = ContainerOf(folder);
    recorder.SetHook([&](ContainerApi* notifier) {
        EXPECT_EQ(notifier, container.Get());
        notifier->Unsubscribe(&recorder);
    });
    ASSERT_EQ(container->Subscribe(&recorder, 0), 1);
    m_sandbox.File("Once/a.mp3");
    ASSERT_TRUE(recorder.WaitFor([](const auto& notices) { return !notices.empty(); }));
    m_sandbox.File("Once/b.mp3");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(recorder.Notices().size(), 1u);
}

TEST_F(FolderWatcherTest, WatcherThreadLeavesWithTheLastSubscription)
{
    // ThreadSanitizer's runtime starts a thread of its own with the first thread made; counted
    // before that, it would look like the watcher.
    std::thread([] {}).join();
    const size_t before = ThreadCount();
    {
        Recorder recorder;
        Watch watch = Subscribe(m_sandbox.Folder("Album"), recorder);
        EXPECT_EQ(ThreadCount(), before + 1);
    }
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (ThreadCount() > before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ThreadCount(), before);
}

TEST_F(FolderWatcherTest, SubscribingToAMissingFolderFails)
{
    ApiRef<ContainerApi> container = ContainerOf(m_sandbox.Path("Missing"));
    Recorder recorder;
    EXPECT_EQ(container->Subscribe(&recorder, 0), 0);
    EXPECT_EQ(LumoGetLastError(), 2u);
}

// Records as inotify writes them: header, then the name padded with NULs.
std::string Record(int wd, uint32_t mask, const std::string& name, size_t padded)
{
    inotify_event header{};
    header.wd = wd;
    header.mask = mask;
    header.len = uint32_t(name.empty() ? 0 : padded);
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    if (!name.empty()) {
        bytes += name;
        bytes.append(padded - name.size(), '\0');
    }
    return bytes;
}

TEST(FolderEvents, DecodesRecordsAndTellsWhatTheyMean)
{
    using LumoFolders::EventMeaning;
    const std::string buffer = Record(3, IN_CREATE, "new.mp3", 16) + Record(3, IN_MOVED_FROM | IN_ISDIR, "Disc", 16)
        + Record(3, IN_CLOSE_WRITE, ".partial", 16) + Record(3, IN_ATTRIB | IN_ISDIR, "", 0)
        + Record(3, IN_DELETE_SELF, "", 0) + Record(-1, IN_Q_OVERFLOW, "", 0)
        + Record(4, IN_DELETE, "cut short", 32).substr(0, sizeof(inotify_event) + 4);

    const std::vector<LumoFolders::WatchEvent> events = LumoFolders::DecodeEvents(buffer.data(), buffer.size());
    ASSERT_EQ(events.size(), 6u) << "the record cut short ends the list";
    EXPECT_EQ(events[0].name, "new.mp3");
    EXPECT_EQ(events[1].name, "Disc");
    const EventMeaning expected[] = {EventMeaning::Child, EventMeaning::Child, EventMeaning::Ignore,
        EventMeaning::SelfAttributes, EventMeaning::SelfGone, EventMeaning::Overflow};
    for (size_t index = 0; index < events.size(); ++index)
        EXPECT_EQ(LumoFolders::MeaningOf(events[index]), expected[index]) << index;
}

TEST(FolderEvents, TouchedNamesGiveNewsByWhatWasAndIsListed)
{
    EXPECT_EQ(LumoFolders::OutcomeOf(false, true), c_ChildAdded);
    EXPECT_EQ(LumoFolders::OutcomeOf(true, false), c_ChildRemoved);
    EXPECT_EQ(LumoFolders::OutcomeOf(true, true), c_ContainerChanged);
    EXPECT_EQ(LumoFolders::OutcomeOf(false, false), std::nullopt) << "created and gone within the window";

    LumoFolders::ChangeSet changes;
    EXPECT_TRUE(changes.IsEmpty());
    changes.Touch("a.mp3");
    changes.Touch("a.mp3");
    EXPECT_EQ(changes.Names().size(), 1u);
}

TEST(FolderEvents, ComparingSnapshotsFindsEveryDifference)
{
    LumoFolders::EntryState old;
    old.mtimeNs = 1;
    LumoFolders::EntryState newer = old;
    newer.mtimeNs = 2;
    const LumoFolders::Snapshot before{{"a", old}, {"b", old}, {"c", old}};
    const LumoFolders::Snapshot after{{"b", old}, {"c", newer}, {"d", old}};
    EXPECT_EQ(LumoFolders::CompareSnapshots(before, after),
        (std::vector<LumoFolders::FolderNews>{{c_ChildRemoved, "a"}, {c_ContainerChanged, "c"}, {c_ChildAdded, "d"}}));
    EXPECT_TRUE(LumoFolders::CompareSnapshots(after, after).empty());
}

TEST(FolderEvents, NetworkAndFuseFileSystemsArePolled)
{
    EXPECT_TRUE(LumoFolders::IsPolledFileSystem(0x6969));      // NFS
    EXPECT_TRUE(LumoFolders::IsPolledFileSystem(0xFF534D42));  // CIFS
    EXPECT_TRUE(LumoFolders::IsPolledFileSystem(0xFE534D42));  // SMB2
    EXPECT_TRUE(LumoFolders::IsPolledFileSystem(0x65735546));  // FUSE
    EXPECT_FALSE(LumoFolders::IsPolledFileSystem(0xEF53));     // ext4
    EXPECT_FALSE(LumoFolders::IsPolledFileSystem(0x01021994)); // tmpfs
    EXPECT_FALSE(LumoFolders::IsPolledFileSystem(0x9123683E)); // btrfs
}
