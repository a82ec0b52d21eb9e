// Publishing through a real host: the answers the page relies on, undo round trips, and a
// published set that other processes change and that survives a killed process.
#include <csignal>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/PublishedStore.h"

#include "ClassesTestSupport.h"

extern char** environ;

using namespace LumoApi;
using Event = EventRecorder::Event;

namespace {

struct Answer {
    int32_t result;
    uint32_t code;
};

// Runs the helper, handing each line it prints to onLine until that answers false (the helper
// is then killed). Answers the helper's wait status.
int RunHelper(const std::vector<std::string>& arguments, const std::function<bool(const std::string&)>& onLine)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<std::string> texts = arguments;
    texts.insert(texts.begin(), LUMO_CLASSES_HELPER);
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, LUMO_CLASSES_HELPER, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        return -1;
    }
    FILE* output = fdopen(pipeEnds[0], "r");
    char line[4096];
    while (std::fgets(line, sizeof line, output)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        if (!onLine(text)) {
            kill(pid, SIGKILL);
            break;
        }
    }
    std::fclose(output);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

class PublishingTest : public ::testing::Test {
protected:
    PublishingTest()
    {
        m_sandbox.Write("Music/Album/a.tst");
        m_sandbox.Write("Music/Album/cover.txt");
        m_sandbox.Write("Music/Live.2003/b.tst");
    }

    ApiRef<UrlApi> Url(const std::string& text) { return MakeUrl(text); }
    Answer CanPublish(const std::string& text)
    {
        LumoSetLastError(0);
        const int32_t result = Api().CanPublish(Url(text).Get());
        return {result, LumoGetLastError()};
    }
    Answer CanUnpublish(const std::string& text)
    {
        LumoSetLastError(0);
        const int32_t result = Api().CanUnpublish(Url(text).Get());
        return {result, LumoGetLastError()};
    }
    // The entry's URL text, or "" with the last error in *code.
    std::string Publish(const std::string& text, uint32_t* code = nullptr, const char* title = nullptr)
    {
        ApiRef<UrlApi> entry = ApiRef<UrlApi>::Adopt(Api().Publish(Url(text).Get(), title));
        if (code)
            *code = entry ? 0 : LumoGetLastError();
        return entry ? entry->GetText() : "";
    }
    std::string Unpublish(const std::string& text, uint32_t* code = nullptr)
    {
        ApiRef<UrlApi> entry = ApiRef<UrlApi>::Adopt(Api().Unpublish(Url(text).Get()));
        if (code)
            *code = entry ? 0 : LumoGetLastError();
        return entry ? entry->GetText() : "";
    }
    std::vector<std::string> Published()
    {
        ApiRef<ContainerApi> published = m_host.Container("lumotest://published");
        EXPECT_TRUE(published);
        return published ? Children(*published) : std::vector<std::string>();
    }
    MediaClassApi& Api() { return m_host.Api(); }
    std::string DatabasePath() const { return m_sandbox.Path("data/Lumo Desktop/Published.db").string(); }

    Sandbox m_sandbox;
    ClassHost m_host;
    std::string m_album = ClassUrl(m_sandbox.Path("Music/Album"));
    std::string m_song = ClassUrl(m_sandbox.Path("Music/Album/a.tst"));
};

} // namespace

TEST_F(PublishingTest, CanPublishAnswersForEachKindOfItem)
{
    struct Case {
        std::string url;
        int32_t result;
        uint32_t code;
    };
    const Case cases[] = {
        {m_album, 1, 0},
        {m_song, 1, 0},
        {FileUrl(m_sandbox.Path("Music/Album/a.tst")), 1, 0},
        {FileUrl(m_sandbox.Path("Music/Album")), 1, 0},
        {ClassUrl(m_sandbox.Path("Music/Album/cover.txt")), 0, ERROR_DATATYPE_MISMATCH},
        {ClassUrl(m_sandbox.Path("Music/Album/gone.tst")), 0, ERROR_DATATYPE_MISMATCH},
        {"lumotest://roots", 0, ERROR_DATATYPE_MISMATCH},
        {"lumotest://published", 0, ERROR_DATATYPE_MISMATCH},
        {"http://server/a.tst", 0, ERROR_DATATYPE_MISMATCH},
        {"file://server/share/a.tst", 0, ERROR_DATATYPE_MISMATCH},
    };
    for (const Case& c : cases) {
        const Answer answer = CanPublish(c.url);
        EXPECT_EQ(answer.result, c.result) << c.url;
        if (!c.result) {
            EXPECT_EQ(answer.code, c.code) << c.url;
        }
    }
    EXPECT_EQ(CanUnpublish(m_album).result, 0);
    EXPECT_EQ(CanUnpublish(m_album).code, ERROR_DATATYPE_MISMATCH);
}

TEST_F(PublishingTest, PublishAndUnpublishRoundTripsAsUndoUsesThem)
{
    // "P" + entry, undone by Unpublish(entry).
    const std::string entry = Publish(m_album);
    EXPECT_EQ(entry, m_album);
    EXPECT_EQ(CanPublish(m_album).result, 0);
    EXPECT_EQ(CanPublish(m_album).code, ERROR_DATATYPE_MISMATCH);
    EXPECT_EQ(CanUnpublish(entry).result, 1);
    EXPECT_EQ(Published(), std::vector<std::string>{m_album});

    uint32_t code = 0;
    EXPECT_EQ(Publish(m_album, &code), "");
    EXPECT_EQ(code, 183u);
    EXPECT_EQ(Published(), std::vector<std::string>{m_album});

    // "U" + what Unpublish answered, undone by publishing that.
    const std::string removed = Unpublish(entry);
    EXPECT_EQ(removed, m_album);
    EXPECT_EQ(CanUnpublish(entry).result, 0);
    EXPECT_EQ(Unpublish(entry, &code), "");
    EXPECT_EQ(code, ERROR_NOT_FOUND);
    EXPECT_EQ(Publish(removed), m_album);
    EXPECT_EQ(Published(), std::vector<std::string>{m_album});

    EXPECT_EQ(Publish(ClassUrl(m_sandbox.Path("Music/Album/cover.txt")), &code), "");
    EXPECT_EQ(code, ERROR_DATATYPE_MISMATCH);
    EXPECT_EQ(Publish(ClassUrl(m_sandbox.Path("Music/Album/gone.tst")), &code), "");
    EXPECT_EQ(code, 2u);
}

TEST_F(PublishingTest, APlainFileUrlIsTheSameEntryAsItsClassUrl)
{
    const std::string plain = FileUrl(m_sandbox.Path("Music/Album/a.tst"));
    EXPECT_EQ(Publish(plain), m_song);
    EXPECT_EQ(CanPublish(m_song).result, 0);
    EXPECT_EQ(CanUnpublish(plain).result, 1);
    EXPECT_EQ(Unpublish(plain), m_song);
    EXPECT_TRUE(Published().empty());
}

TEST_F(PublishingTest, TheSetKeepsPublishingOrderTitlesAndPaths)
{
    const std::string live = ClassUrl(m_sandbox.Path("Music/Live.2003"));
    Publish(m_song);
    Publish(live);
    Publish(m_album, nullptr, "My album");
    EXPECT_EQ(Published(), (std::vector<std::string>{m_song, live, m_album}));

    LumoModules::PublishedStore store(DatabasePath());
    const std::vector<LumoModules::PublishedEntry> entries = store.List("TestClass");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].title, "a");
    EXPECT_EQ(entries[0].path, m_sandbox.Path("Music/Album/a.tst").string());
    EXPECT_FALSE(entries[0].folder);
    EXPECT_EQ(entries[1].title, "Live.2003");
    EXPECT_TRUE(entries[1].folder);
    EXPECT_EQ(entries[2].title, "My album");
}

TEST_F(PublishingTest, ItemsWhoseFilesVanishStayPublishedAndShowBroken)
{
    Publish(m_album);
    Publish(ClassUrl(m_sandbox.Path("Music/Live.2003/b.tst")));
    fs::remove_all(m_sandbox.Path("Music"));
    EXPECT_EQ(Published(), (std::vector<std::string>{m_album, ClassUrl(m_sandbox.Path("Music/Live.2003/b.tst"))}));
    EXPECT_EQ(m_host.Value(m_album, "ContentType"), "x-application/lumo-broken");
    EXPECT_EQ(m_host.Value(m_album, "FileName"), "Album");
    EXPECT_EQ(
        m_host.Value(ClassUrl(m_sandbox.Path("Music/Live.2003/b.tst")), "ContentType"), "x-application/lumo-broken");
    EXPECT_EQ(CanUnpublish(m_album).result, 1);
    EXPECT_EQ(Unpublish(m_album), m_album);
}

TEST_F(PublishingTest, SubscribersHearChangesOfThisProcess)
{
    ApiRef<ContainerApi> published = m_host.Container("lumotest://published");
    ASSERT_TRUE(published);
    EventRecorder recorder;
    ASSERT_TRUE(published->Subscribe(&recorder, 0));
    Publish(m_album);
    EXPECT_TRUE(recorder.WaitFor({c_ChildAdded, m_album}));
    Unpublish(m_album);
    EXPECT_TRUE(recorder.WaitFor({c_ChildRemoved, m_album}));
    published->Unsubscribe(&recorder);
}

TEST_F(PublishingTest, SubscribersHearChangesOfAnotherProcess)
{
    ApiRef<ContainerApi> published = m_host.Container("lumotest://published");
    ASSERT_TRUE(published);
    EventRecorder recorder;
    ASSERT_TRUE(published->Subscribe(&recorder, 0));

    std::vector<std::string> printed;
    int status
        = RunHelper({m_host.ProgramFolder(), "TestClass", "publish", m_album, m_song}, [&](const std::string& line) {
              printed.push_back(line);
              return true;
          });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(printed, (std::vector<std::string>{m_album, m_song}));
    EXPECT_TRUE(recorder.WaitFor({c_ChildAdded, m_album}));
    EXPECT_TRUE(recorder.WaitFor({c_ChildAdded, m_song}));

    status = RunHelper(
        {m_host.ProgramFolder(), "TestClass", "unpublish", m_album}, [](const std::string&) { return true; });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(recorder.WaitFor({c_ChildRemoved, m_album}));
    published->Unsubscribe(&recorder);
    EXPECT_EQ(Published(), std::vector<std::string>{m_song});
}

TEST_F(PublishingTest, AProcessKilledRightAfterPublishingLosesNothing)
{
    std::vector<std::string> printed;
    const int status = RunHelper(
        {m_host.ProgramFolder(), "TestClass", "publish-then-die", m_album, m_song}, [&](const std::string& line) {
            printed.push_back(line);
            return true;
        });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    ASSERT_EQ(printed, (std::vector<std::string>{m_album, m_song}));
    EXPECT_EQ(Published(), (std::vector<std::string>{m_album, m_song}));
}

TEST_F(PublishingTest, AProcessKilledInABurstLeavesEveryFinishedPublishAndAWholeDatabase)
{
    std::vector<std::string> urls;
    for (int i = 0; i < 400; ++i)
        urls.push_back(FileUrl(m_sandbox.Write("Music/Many/song" + std::to_string(i) + ".tst")));
    std::vector<std::string> arguments = {m_host.ProgramFolder(), "TestClass", "publish"};
    arguments.insert(arguments.end(), urls.begin(), urls.end());
    std::vector<std::string> printed;
    RunHelper(arguments, [&](const std::string& line) {
        printed.push_back(line);
        return printed.size() < 40;
    });
    ASSERT_EQ(printed.size(), 40u);

    const std::vector<std::string> published = Published();
    for (const std::string& entry : printed)
        EXPECT_NE(std::find(published.begin(), published.end(), entry), published.end()) << entry;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(DatabasePath().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);
}
