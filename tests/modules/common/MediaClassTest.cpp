// The class's roots and folder views through a real host with the folders module.
#include <thread>

#include <gtest/gtest.h>

#include "ClassesTestSupport.h"

using namespace LumoApi;
using Event = EventRecorder::Event;

namespace {

class MediaClassTest : public ::testing::Test {
protected:
    MediaClassTest()
    {
        m_sandbox.Write("Music/Album/a.tst");
        m_sandbox.Write("Music/Album/cover.txt");
        m_sandbox.Write("Music/Empty/Sub/notes.txt");
        m_sandbox.Write("Music/Deep/x/y/b.tst");
        m_sandbox.Write("Music/.hidden/c.tst");
        m_sandbox.Write("Music/loose.tst");
        m_sandbox.Write("Music/readme.txt");
        m_sandbox.Folder("Music/Loop/inner");
        fs::create_directory_symlink(m_sandbox.Path("Music/Loop"), m_sandbox.Path("Music/Loop/inner/back"));
        fs::create_directory_symlink(m_sandbox.Music(), m_sandbox.Path("Music/Loop/up"));
    }

    std::vector<std::string> Sorted(std::vector<std::string> texts)
    {
        std::sort(texts.begin(), texts.end());
        return texts;
    }
    std::vector<std::string> ListClassFolder(ClassHost& host, const fs::path& folder)
    {
        ApiRef<ContainerApi> container = host.Container(ClassUrl(folder));
        EXPECT_TRUE(container) << LumoGetLastError();
        return container ? Sorted(Children(*container)) : std::vector<std::string>();
    }

    Sandbox m_sandbox;
    std::unique_ptr<ClassHost> m_host = std::make_unique<ClassHost>();
};

} // namespace

TEST_F(MediaClassTest, FirstRootListsTheClassFolderHomeAndVolumes)
{
    m_sandbox.Write("usb stick/song.tst");
    m_sandbox.Folder("plain disk");
    m_sandbox.Write("mountinfo",
        "30 22 0:40 / " + m_sandbox.Path("usb\\040stick").string()
            + " rw - nfs nas:/x rw\n"
              "31 22 8:17 / "
            + m_sandbox.Path("plain\\040disk").string() + " rw - ext4 /dev/sdb1 rw\n");
    ApiRef<ContainerApi> roots = m_host->Container("lumotest://roots");
    ASSERT_TRUE(roots) << LumoGetLastError();
    const std::vector<std::string> children = Children(*roots);
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children[0], ClassUrl(m_sandbox.Music()));
    EXPECT_EQ(children[1], ClassUrl(m_sandbox.Path("home")));
    // Escaped as the folders module escapes the same folder when it lists its parent.
    EXPECT_EQ(children[2], "lumotest-file://" + m_sandbox.Root().string() + "/usb%20stick");
    const std::vector<std::string> sandboxChildren = ListClassFolder(*m_host, m_sandbox.Root());
    EXPECT_NE(std::find(sandboxChildren.begin(), sandboxChildren.end(), children[2]), sandboxChildren.end());

    // The page never subscribes the first root: it says so instead of staying silent.
    EventRecorder recorder;
    EXPECT_EQ(roots->Subscribe(&recorder, 0), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_FUNCTION);
}

TEST_F(MediaClassTest, RootsAndClassFoldersHaveTheirDetails)
{
    EXPECT_EQ(m_host->Value("lumotest://roots", "Title"), "Test things");
    EXPECT_EQ(m_host->Value("lumotest://roots", "ContentType"), "x-container/lumotest-roots");
    EXPECT_EQ(m_host->Value("lumotest://roots", "SourceFormat"), "x-container/folder");
    EXPECT_EQ(m_host->Value("lumotest://published", "Title"), "Published test things");
    EXPECT_EQ(m_host->Value("lumotest://published", "ContentType"), "x-container/lumotest-published");

    const std::string music = ClassUrl(m_sandbox.Music());
    EXPECT_EQ(m_host->Value(music, "ContentType"), "x-container/lumotest-folder");
    // Everything else is the folder's own, the page's special-folder mark included.
    EXPECT_EQ(m_host->Value(music, "SpecialFolderType"), "music");
    EXPECT_EQ(m_host->Value(music, "SourceFormat"), "x-container/folder");
    EXPECT_EQ(m_host->Value(music, "FileName"), "Music");
    EXPECT_EQ(m_host->Value(ClassUrl(m_sandbox.Path("Music/Album")), "SpecialFolderType"), "");

    // The media module answers prefixed songs as the songs they stand for.
    EXPECT_EQ(m_host->Value(ClassUrl(m_sandbox.Path("Music/loose.tst")), "ContentType"), "audio/x-lumotest");
}

TEST_F(MediaClassTest, ClassItemsOfferDetailsAndContainersOnly)
{
    ApiRef<UrlApi> music = MakeUrl(ClassUrl(m_sandbox.Music()));
    EXPECT_EQ(m_host->Media().GetApi(FileViewApi::TypeId, music.Get()), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
    // A prefixed URL of something that is not a folder is the media module's to answer.
    EXPECT_EQ(m_host->Value(ClassUrl(m_sandbox.Path("Music/readme.txt")), "ContentType"), "");
}

TEST_F(MediaClassTest, ClassFoldersListOnlyMediaAndFoldersHoldingSome)
{
    const std::vector<std::string> expected = Sorted({ClassUrl(m_sandbox.Path("Music/Album")),
        ClassUrl(m_sandbox.Path("Music/Deep")), ClassUrl(m_sandbox.Path("Music/loose.tst"))});
    // The loops (Loop/inner/back leads back to Loop, Loop/up to Music) end and hold nothing new.
    EXPECT_EQ(ListClassFolder(*m_host, m_sandbox.Music()), expected);
    EXPECT_EQ(ListClassFolder(*m_host, m_sandbox.Path("Music/Album")),
        std::vector<std::string>{ClassUrl(m_sandbox.Path("Music/Album/a.tst"))});
    EXPECT_EQ(ListClassFolder(*m_host, m_sandbox.Path("Music/Empty")), std::vector<std::string>{});
    // A folder whose only media are reached through a link shows the link.
    fs::create_directory(m_sandbox.Path("Music/Side"));
    fs::create_directory_symlink(m_sandbox.Path("Music/Album"), m_sandbox.Path("Music/Side/to-album"));
    EXPECT_EQ(ListClassFolder(*m_host, m_sandbox.Path("Music/Side")),
        std::vector<std::string>{ClassUrl(m_sandbox.Path("Music/Side/to-album"))});
}

TEST_F(MediaClassTest, MediaAddedDeepInAnEmptyFolderShowsOnTheNextListing)
{
    ListClassFolder(*m_host, m_sandbox.Music());
    m_sandbox.Write("Music/Empty/Sub/new.tst");
    const std::vector<std::string> listed = ListClassFolder(*m_host, m_sandbox.Music());
    EXPECT_NE(std::find(listed.begin(), listed.end(), ClassUrl(m_sandbox.Path("Music/Empty"))), listed.end());
}

TEST_F(MediaClassTest, ASecondRunOfTheProgramReadsNoFileOfAnUnchangedTree)
{
    using Count = int (*)(const char*);
    ListClassFolder(*m_host, m_sandbox.Music());
    Count identified = m_host->ModuleFunction<Count>("TestClass_IdentifyCount");
    ASSERT_TRUE(identified);
    EXPECT_GT(identified("/Music/Deep/x/y/b.tst"), 0);
    EXPECT_GT(identified("/Music/Empty/Sub/notes.txt"), 0);

    // A new host with fresh copies of the modules: only the disk cache remembers.
    m_host.reset();
    m_host = std::make_unique<ClassHost>();
    ListClassFolder(*m_host, m_sandbox.Music());
    identified = m_host->ModuleFunction<Count>("TestClass_IdentifyCount");
    ASSERT_TRUE(identified);
    EXPECT_EQ(identified("/Music/Deep/x/"), 0);
    EXPECT_EQ(identified("/Music/Empty/Sub/"), 0);
    // The folder's own children are still looked at: they make the listing.
    EXPECT_GT(identified("/Music/loose.tst"), 0);
}

TEST_F(MediaClassTest, CancelStopsASearchUnderWay)
{
    m_sandbox.Write("Gated/Huge/a/slow.txt");
    m_sandbox.Write("Gated/Huge/b/later.tst");
    using SetGate = void (*)(const char*);
    using Wait = int (*)();
    using Open = void (*)();
    const auto setGate = m_host->ModuleFunction<SetGate>("TestClass_SetGate");
    const auto waitForGate = m_host->ModuleFunction<Wait>("TestClass_WaitForGate");
    const auto openGate = m_host->ModuleFunction<Open>("TestClass_OpenGate");
    ASSERT_TRUE(setGate && waitForGate && openGate);
    setGate("slow.txt");

    ApiRef<ContainerApi> gated = m_host->Container(ClassUrl(m_sandbox.Path("Gated")));
    ASSERT_TRUE(gated);
    bool gotChild = true;
    uint32_t code = 0;
    std::thread enumeration([&] {
        ApiRef<UrlApi> first = ApiRef<UrlApi>::Adopt(gated->GetFirst());
        gotChild = bool(first);
        code = LumoGetLastError();
    });
    const bool reached = waitForGate();
    gated->Cancel();
    openGate();
    enumeration.join();
    ASSERT_TRUE(reached);
    EXPECT_FALSE(gotChild);
    EXPECT_EQ(code, 1223u);

    // The next enumeration starts afresh.
    setGate("");
    EXPECT_EQ(Children(*gated), std::vector<std::string>{ClassUrl(m_sandbox.Path("Gated/Huge"))});
}

TEST_F(MediaClassTest, ClassFolderNotificationsPassTheSameJudgement)
{
    ApiRef<ContainerApi> album = m_host->Container(ClassUrl(m_sandbox.Path("Music/Album")));
    ASSERT_TRUE(album);
    EventRecorder recorder;
    ASSERT_TRUE(album->Subscribe(&recorder, 0)) << LumoGetLastError();
    m_sandbox.Write("Music/Album/note.txt");
    m_sandbox.Write("Music/Album/Empty/readme.txt");
    m_sandbox.Write("Music/Album/b.tst");
    EXPECT_TRUE(recorder.WaitFor({c_ChildAdded, ClassUrl(m_sandbox.Path("Music/Album/b.tst"))}));
    fs::remove(m_sandbox.Path("Music/Album/a.tst"));
    EXPECT_TRUE(recorder.WaitFor({c_ChildRemoved, ClassUrl(m_sandbox.Path("Music/Album/a.tst"))}));
    album->Unsubscribe(&recorder);
    for (const Event& event : recorder.Events()) {
        EXPECT_EQ(event.url.find("note.txt"), std::string::npos);
        if (event.event == c_ChildAdded) {
            EXPECT_EQ(event.url.find("Empty"), std::string::npos);
        }
    }
}
