// The published set's database and its watcher, on their own.
#include <fstream>
#include <sqlite3.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/ModuleGuard.h"
#include "common/PublishedStore.h"
#include "common/PublishedWatcher.h"

#include "ClassesTestSupport.h"

using namespace LumoModules;
using Event = EventRecorder::Event;

namespace {

PublishedEntry Entry(const std::string& url, const std::string& path = "/p", bool folder = false)
{
    PublishedEntry entry;
    entry.url = url;
    entry.path = path;
    entry.title = "t";
    entry.folder = folder;
    return entry;
}

bool Add(PublishedStore& store, const std::string& classId, const std::string& url)
{
    PublishedEntry entry = Entry(url);
    return store.Add(classId, entry);
}

std::vector<std::string> Urls(PublishedStore& store, const std::string& classId)
{
    std::vector<std::string> urls;
    for (const PublishedEntry& entry : store.List(classId))
        urls.push_back(entry.url);
    return urls;
}

uint32_t CodeOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ClassError& error) {
        return error.Code();
    }
    return 0;
}

void RunSql(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

class PublishedStoreTest : public ::testing::Test {
protected:
    Sandbox m_sandbox;
    // A folder that does not exist yet: the store makes it.
    std::string m_path = m_sandbox.Path("data/Lumo Desktop/Published.db").string();
};

} // namespace

TEST_F(PublishedStoreTest, AddsFindsAndRemovesEntriesPerClass)
{
    PublishedStore store(m_path);
    PublishedEntry folder = Entry("lumomusic-file:///m/Live.2003", "/m/Live.2003", true);
    folder.title = "Live.2003";
    ASSERT_TRUE(store.Add("LumoMusic", folder));
    EXPECT_GT(folder.addedUs, 0);
    // Paths are the file system's bytes, not necessarily UTF-8.
    PublishedEntry odd = Entry("lumomusic-file:///m/bad%FF.mp3", std::string("/m/bad\xFF.mp3"));
    ASSERT_TRUE(store.Add("LumoMusic", odd));
    ASSERT_TRUE(Add(store, "LumoPhotos", "lumomusic-file:///m/Live.2003"));

    const std::optional<PublishedEntry> found = store.Find("LumoMusic", folder.url);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->path, "/m/Live.2003");
    EXPECT_EQ(found->title, "Live.2003");
    EXPECT_TRUE(found->folder);
    EXPECT_EQ(found->addedUs, folder.addedUs);
    EXPECT_EQ(store.Find("LumoMusic", odd.url)->path, std::string("/m/bad\xFF.mp3"));

    // A second add changes nothing, not even the title.
    PublishedEntry again = Entry(folder.url, "/other");
    EXPECT_FALSE(store.Add("LumoMusic", again));
    EXPECT_EQ(store.Find("LumoMusic", folder.url)->path, "/m/Live.2003");

    EXPECT_TRUE(store.Remove("LumoMusic", folder.url));
    EXPECT_FALSE(store.Remove("LumoMusic", folder.url));
    EXPECT_FALSE(store.Find("LumoMusic", folder.url).has_value());
    // The other class's entry of the same URL stays.
    EXPECT_TRUE(store.Find("LumoPhotos", folder.url).has_value());
}

TEST_F(PublishedStoreTest, ListsInPublishingOrderEvenWithinOneMicrosecond)
{
    PublishedStore store(m_path);
    std::vector<std::string> published;
    // Names that sort against their publishing order.
    for (int i = 0; i < 300; ++i) {
        published.push_back("lumotest-file:///z" + std::to_string(300 - i));
        ASSERT_TRUE(Add(store, "TestClass", published.back()));
    }
    EXPECT_EQ(Urls(store, "TestClass"), published);
    int64_t last = 0;
    for (const PublishedEntry& entry : store.List("TestClass")) {
        EXPECT_GT(entry.addedUs, last);
        last = entry.addedUs;
    }
}

TEST_F(PublishedStoreTest, ConnectionsSeeEachOthersChanges)
{
    PublishedStore first(m_path);
    PublishedStore second(m_path);
    ASSERT_TRUE(Add(first, "TestClass", "lumotest-file:///a"));
    const int64_t before = second.DataVersion();
    ASSERT_TRUE(Add(first, "TestClass", "lumotest-file:///b"));
    EXPECT_NE(second.DataVersion(), before);
    // A connection's own commits leave its data version as it was.
    const int64_t own = first.DataVersion();
    ASSERT_TRUE(first.Remove("TestClass", "lumotest-file:///a"));
    EXPECT_EQ(first.DataVersion(), own);

    std::vector<std::string> urls;
    second.ReadUrls("TestClass", urls);
    EXPECT_EQ(urls, std::vector<std::string>{"lumotest-file:///b"});
}

TEST_F(PublishedStoreTest, NeverTouchesADatabaseOfALaterSchema)
{
    {
        PublishedStore store(m_path);
        ASSERT_TRUE(Add(store, "TestClass", "lumotest-file:///kept"));
    }
    RunSql(m_path, "PRAGMA user_version = 7");
    PublishedStore store(m_path);
    EXPECT_EQ(CodeOf([&] { Add(store, "TestClass", "lumotest-file:///new"); }), LumoApi::ERROR_INVALID_DATA);
    RunSql(m_path, "PRAGMA user_version = 1");
    PublishedStore reopened(m_path);
    EXPECT_EQ(Urls(reopened, "TestClass"), std::vector<std::string>{"lumotest-file:///kept"});
}

std::string Bytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// A file of a later release was switched to WAL before its version was read, and one of
// another program's was read as ours: each is refused now, for reading too, and left as it was.
TEST_F(PublishedStoreTest, TouchesNothingItRefuses)
{
    const char* const files[] = {
        "CREATE TABLE published(class TEXT, url TEXT, path TEXT, title TEXT, added INTEGER, folder INTEGER);"
        "INSERT INTO published VALUES('LumoMusic', 'u', '/p', 't', 1, 0); PRAGMA user_version = 2;",
        "CREATE TABLE published(id INTEGER PRIMARY KEY, name TEXT); PRAGMA user_version = 1;",
        "CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('mine');",
    };
    for (const char* sql : files) {
        fs::remove(m_path);
        fs::create_directories(fs::path(m_path).parent_path());
        RunSql(m_path, sql);
        const std::string before = Bytes(m_path);
        PublishedStore store(m_path);
        EXPECT_EQ(CodeOf([&] { Add(store, "LumoMusic", "lumotest-file:///new"); }), LumoApi::ERROR_INVALID_DATA) << sql;
        EXPECT_EQ(CodeOf([&] { store.List("LumoMusic"); }), LumoApi::ERROR_INVALID_DATA) << sql;
        EXPECT_EQ(CodeOf([&] { store.Find("LumoMusic", "u"); }), LumoApi::ERROR_INVALID_DATA) << sql;
        EXPECT_TRUE(Bytes(m_path) == before) << "changed: " << sql;
        EXPECT_FALSE(fs::exists(m_path + "-wal")) << sql;
    }
}

// Opening took the write lock: while another process wrote, reading the set failed after 10 s.
TEST_F(PublishedStoreTest, ReadersDoNotWaitForAWriter)
{
    {
        PublishedStore writer(m_path);
        ASSERT_TRUE(Add(writer, "TestClass", "lumotest-file:///a"));
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    PublishedStore reader(m_path);
    EXPECT_EQ(Urls(reader, "TestClass"), std::vector<std::string>{"lumotest-file:///a"});
    EXPECT_TRUE(reader.Find("TestClass", "lumotest-file:///a").has_value());
    std::vector<std::string> urls;
    reader.ReadUrls("TestClass", urls);
    EXPECT_EQ(urls.size(), 1u);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

TEST_F(PublishedStoreTest, LeavesADamagedFileAlone)
{
    const std::string garbage(8192, 'g');
    m_sandbox.Write("data/Lumo Desktop/Published.db", garbage);
    PublishedStore store(m_path);
    EXPECT_EQ(CodeOf([&] { Add(store, "TestClass", "lumotest-file:///a"); }), LumoApi::ERROR_INVALID_DATA);
    EXPECT_TRUE(Bytes(m_path) == garbage);
}

TEST_F(PublishedStoreTest, ReportsAFolderItCannotWriteAsAccessDenied)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    const fs::path locked = m_sandbox.Folder("locked");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    PublishedStore store((locked / "Published.db").string());
    EXPECT_EQ(CodeOf([&] { Add(store, "TestClass", "lumotest-file:///a"); }), LumoApi::ERROR_ACCESS_DENIED);
}

namespace {

class PublishedWatcherTest : public PublishedStoreTest {
protected:
    PublishedWatcher m_watcher{m_path, "TestClass", 50, [](const std::string& text) { return MakeUrl(text); }};
    PublishedStore m_writer{m_path};
    // Any object serves as the notifying container: the watcher only hands it on.
    LumoApi::ContainerApi* m_container = reinterpret_cast<LumoApi::ContainerApi*>(this);
};

} // namespace

TEST_F(PublishedWatcherTest, ReportsChangesAfterSubscribingInOrder)
{
    ASSERT_TRUE(Add(m_writer, "TestClass", "lumotest-file:///before"));
    EventRecorder recorder;
    m_watcher.Subscribe(m_container, &recorder);
    ASSERT_TRUE(Add(m_writer, "TestClass", "lumotest-file:///a"));
    ASSERT_TRUE(Add(m_writer, "OtherClass", "lumotest-file:///other"));
    ASSERT_TRUE(recorder.WaitFor({LumoApi::c_ChildAdded, "lumotest-file:///a"}));
    ASSERT_TRUE(m_writer.Remove("TestClass", "lumotest-file:///before"));
    ASSERT_TRUE(recorder.WaitFor({LumoApi::c_ChildRemoved, "lumotest-file:///before"}));
    ASSERT_TRUE(Add(m_writer, "TestClass", "lumotest-file:///b"));
    ASSERT_TRUE(recorder.WaitFor({LumoApi::c_ChildAdded, "lumotest-file:///b"}));

    // What was there before subscribing, and the other class, are never reported as added.
    const std::vector<Event> expected = {{LumoApi::c_ChildAdded, "lumotest-file:///a"},
        {LumoApi::c_ChildRemoved, "lumotest-file:///before"}, {LumoApi::c_ChildAdded, "lumotest-file:///b"}};
    m_watcher.Unsubscribe(m_container, &recorder);
    EXPECT_EQ(recorder.Events(), expected);
}

TEST_F(PublishedWatcherTest, StopsReportingAfterUnsubscribe)
{
    EventRecorder stays, leaves;
    m_watcher.Subscribe(m_container, &stays);
    m_watcher.Subscribe(m_container, &leaves);
    m_watcher.Unsubscribe(m_container, &leaves);
    ASSERT_TRUE(Add(m_writer, "TestClass", "lumotest-file:///a"));
    m_watcher.Wake();
    ASSERT_TRUE(stays.WaitFor({LumoApi::c_ChildAdded, "lumotest-file:///a"}));
    m_watcher.Unsubscribe(m_container, &stays);
    EXPECT_TRUE(leaves.Events().empty());
}

namespace {

// Unsubscribes itself from inside its first notification.
class LeavingRecorder : public EventRecorder {
public:
    LeavingRecorder(PublishedWatcher& watcher, LumoApi::ContainerApi* container)
        : m_watcher(watcher), m_container(container)
    {
    }
    void LUMO_CALL OnNotify(LumoApi::ContainerApi* container, int32_t event, LumoApi::UrlApi* child) override
    {
        m_watcher.Unsubscribe(m_container, this);
        EventRecorder::OnNotify(container, event, child);
    }

private:
    PublishedWatcher& m_watcher;
    LumoApi::ContainerApi* m_container;
};

} // namespace

TEST_F(PublishedWatcherTest, ASubscriberMayLeaveWhileNotified)
{
    LeavingRecorder leaving(m_watcher, m_container);
    EventRecorder staying;
    m_watcher.Subscribe(m_container, &leaving);
    m_watcher.Subscribe(m_container, &staying);
    ASSERT_TRUE(Add(m_writer, "TestClass", "lumotest-file:///a"));
    ASSERT_TRUE(Add(m_writer, "TestClass", "lumotest-file:///b"));
    m_watcher.Wake();
    ASSERT_TRUE(staying.WaitFor({LumoApi::c_ChildAdded, "lumotest-file:///b"}));
    m_watcher.Unsubscribe(m_container, &staying);
    EXPECT_EQ(leaving.Events().size(), 1u);
}
