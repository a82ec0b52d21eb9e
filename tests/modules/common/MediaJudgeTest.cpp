// The search for media below a folder and the memo of its answers, over real folders listed
// by a counting stand-in for the host.
#include <atomic>
#include <cstring>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "common/FolderMemo.h"
#include "common/MediaJudge.h"
#include "common/ModuleGuard.h"

#include "ClassesTestSupport.h"

using namespace LumoModules;

namespace {

// Lists real folders as the folders module would (links followed, hidden names left out) and
// counts the listings.
class CountingLister : public FolderLister {
public:
    void List(const std::string& folderUrl, const std::function<bool(FolderChild&)>& visit) override
    {
        const std::string path = folderUrl.substr(std::strlen("file://"));
        ++listings[path];
        std::error_code error;
        fs::directory_iterator it(path, error);
        if (error)
            throw ClassError(LumoApi::ERROR_ACCESS_DENIED);
        for (; it != fs::directory_iterator(); it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.front() == '.')
                continue;
            FolderChild child;
            child.path = it->path().string();
            child.url = "file://" + child.path;
            child.kind = fs::is_directory(it->path(), error) ? ChildKind::Folder
                : name.ends_with(".tst")                     ? ChildKind::Media
                                                             : ChildKind::Other;
            if (!visit(child))
                return;
        }
    }
    int Listed(const fs::path& path) const
    {
        auto found = listings.find(path.string());
        return found == listings.end() ? 0 : found->second;
    }
    int Total() const
    {
        int total = 0;
        for (const auto& [path, count] : listings)
            total += count;
        return total;
    }

    std::map<std::string, int> listings;
};

// A backing that keeps blocks in memory, as the disk cache would across processes.
class MemoryBacking : public MemoBacking {
public:
    std::optional<std::string> Load(const std::string& key, uint32_t tag) override
    {
        auto found = blocks.find(key);
        if (found == blocks.end() || found->second.second != tag)
            return std::nullopt;
        return found->second.first;
    }
    void Save(const std::string& key, const std::string& bytes, uint32_t tag) override { blocks[key] = {bytes, tag}; }

    std::map<std::string, std::pair<std::string, uint32_t>> blocks;
};

class MediaJudgeTest : public ::testing::Test {
protected:
    MediaJudge::Answer Judge(const fs::path& folder)
    {
        std::vector<FolderIdentity> onPath;
        MediaJudge judge(m_memo, m_lister, m_cancelled);
        return judge.HoldsMedia("file://" + folder.string(), folder.string(), onPath);
    }
    // Folder stamps have the file system's time resolution: a change right after a listing
    // must still show.
    void Touch(const fs::path& folder)
    {
        fs::last_write_time(folder, fs::last_write_time(folder) + std::chrono::seconds(5));
    }

    Sandbox m_sandbox;
    MemoryBacking m_backing;
    FolderMemo m_memo{"audio/x-lumotest", &m_backing};
    CountingLister m_lister;
    std::atomic<bool> m_cancelled{false};
};

} // namespace

TEST_F(MediaJudgeTest, FindsMediaDeepDownAndIgnoresHiddenAndOtherFiles)
{
    m_sandbox.Write("Music/Deep/a/b/c/song.tst");
    m_sandbox.Write("Music/Notes/readme.txt");
    m_sandbox.Write("Music/Secret/.hidden/song.tst");
    EXPECT_TRUE(Judge(m_sandbox.Path("Music/Deep")).hasMedia);
    EXPECT_FALSE(Judge(m_sandbox.Path("Music/Notes")).hasMedia);
    EXPECT_FALSE(Judge(m_sandbox.Path("Music/Secret")).hasMedia);
    EXPECT_FALSE(Judge(m_sandbox.Path("Music/missing")).hasMedia);
}

TEST_F(MediaJudgeTest, LooksAtAFoldersFilesBeforeItsSubfolders)
{
    m_sandbox.Write("Music/Album/song.tst");
    m_sandbox.Write("Music/Album/Huge/x/y.txt");
    EXPECT_TRUE(Judge(m_sandbox.Path("Music/Album")).hasMedia);
    EXPECT_EQ(m_lister.Listed(m_sandbox.Path("Music/Album/Huge")), 0);
}

TEST_F(MediaJudgeTest, SymbolicLinkLoopsEndAndAreNotRemembered)
{
    m_sandbox.Folder("Music/Loop/inner");
    fs::create_directory_symlink(m_sandbox.Path("Music/Loop"), m_sandbox.Path("Music/Loop/inner/back"));
    fs::create_directory_symlink(m_sandbox.Path("Music/Loop/inner"), m_sandbox.Path("Music/Loop/inner/self"));
    const MediaJudge::Answer answer = Judge(m_sandbox.Path("Music/Loop"));
    EXPECT_FALSE(answer.hasMedia);
    EXPECT_FALSE(answer.complete);
    // Each folder was listed once, not once per way round the loop.
    EXPECT_EQ(m_lister.Listed(m_sandbox.Path("Music/Loop")), 1);
    EXPECT_EQ(m_lister.Listed(m_sandbox.Path("Music/Loop/inner")), 1);

    // The answer held only for that path: asked again, the loop is searched again.
    Judge(m_sandbox.Path("Music/Loop"));
    EXPECT_EQ(m_lister.Listed(m_sandbox.Path("Music/Loop")), 2);

    // Media reached only through a link is media of the folder.
    m_sandbox.Write("Music/Loop/song.tst");
    EXPECT_TRUE(Judge(m_sandbox.Path("Music/Loop/inner")).hasMedia);
}

TEST_F(MediaJudgeTest, AnUnchangedTreeIsAnsweredFromTheMemo)
{
    m_sandbox.Write("Music/Empty/a/b/notes.txt");
    m_sandbox.Write("Music/Empty/c/cover.jpg");
    m_sandbox.Write("Music/Full/x/y/song.tst");
    EXPECT_FALSE(Judge(m_sandbox.Path("Music/Empty")).hasMedia);
    EXPECT_TRUE(Judge(m_sandbox.Path("Music/Full")).hasMedia);
    const int listed = m_lister.Total();
    EXPECT_FALSE(Judge(m_sandbox.Path("Music/Empty")).hasMedia);
    EXPECT_TRUE(Judge(m_sandbox.Path("Music/Full")).hasMedia);
    // Subfolders answered on the first search are known too.
    EXPECT_FALSE(Judge(m_sandbox.Path("Music/Empty/a")).hasMedia);
    EXPECT_TRUE(Judge(m_sandbox.Path("Music/Full/x")).hasMedia);
    EXPECT_EQ(m_lister.Total(), listed);
}

TEST_F(MediaJudgeTest, MediaAddedDeepBelowIsFoundAlthoughTheTopDidNotChange)
{
    m_sandbox.Write("Music/Empty/a/b/notes.txt");
    EXPECT_FALSE(Judge(m_sandbox.Path("Music/Empty")).hasMedia);
    m_sandbox.Write("Music/Empty/a/b/song.tst");
    Touch(m_sandbox.Path("Music/Empty/a/b"));
    EXPECT_TRUE(Judge(m_sandbox.Path("Music/Empty")).hasMedia);
    // Only the folders on the way down to the change are listed again.
    EXPECT_EQ(m_lister.Listed(m_sandbox.Path("Music/Empty")), 2);
    EXPECT_EQ(m_lister.Listed(m_sandbox.Path("Music/Empty/a/b")), 2);
}

TEST_F(MediaJudgeTest, MediaRemovedDeepBelowIsNoticed)
{
    m_sandbox.Write("Music/Full/x/y/song.tst");
    EXPECT_TRUE(Judge(m_sandbox.Path("Music/Full")).hasMedia);
    fs::remove(m_sandbox.Path("Music/Full/x/y/song.tst"));
    Touch(m_sandbox.Path("Music/Full/x/y"));
    EXPECT_FALSE(Judge(m_sandbox.Path("Music/Full")).hasMedia);
}

TEST_F(MediaJudgeTest, AnswersOutliveTheProcessThroughTheBacking)
{
    m_sandbox.Write("Music/Empty/a/b/notes.txt");
    m_sandbox.Write("Music/Full/x/song.tst");
    Judge(m_sandbox.Path("Music/Empty"));
    Judge(m_sandbox.Path("Music/Full"));

    // A new memo on the same backing: another run of the program.
    FolderMemo memo("audio/x-lumotest", &m_backing);
    CountingLister lister;
    std::vector<FolderIdentity> onPath;
    MediaJudge judge(memo, lister, m_cancelled);
    const std::string empty = m_sandbox.Path("Music/Empty").string();
    const std::string full = m_sandbox.Path("Music/Full").string();
    EXPECT_FALSE(judge.HoldsMedia("file://" + empty, empty, onPath).hasMedia);
    EXPECT_TRUE(judge.HoldsMedia("file://" + full, full, onPath).hasMedia);
    EXPECT_EQ(lister.Total(), 0);

    // Answers made for another filter are not used.
    FolderMemo otherFilter("image/*", &m_backing);
    MediaJudge other(otherFilter, lister, m_cancelled);
    other.HoldsMedia("file://" + full, full, onPath);
    EXPECT_GT(lister.Total(), 0);
}

TEST_F(MediaJudgeTest, ACancelledSearchStopsAndRemembersNothing)
{
    m_sandbox.Write("Music/Empty/a/notes.txt");
    m_cancelled = true;
    try {
        Judge(m_sandbox.Path("Music/Empty"));
        ADD_FAILURE() << "the search went on";
    } catch (const ClassError& error) {
        EXPECT_EQ(error.Code(), LumoApi::ERROR_CANCELLED);
    }
    m_cancelled = false;
    EXPECT_FALSE(Judge(m_sandbox.Path("Music/Empty")).hasMedia);
    EXPECT_EQ(m_lister.Listed(m_sandbox.Path("Music/Empty")), 1);
}

TEST(FolderMemoEncoding, RoundTripsAndRejectsDamage)
{
    MemoEntry entry;
    entry.stamp = {123456789, 987654321, 42, 7};
    entry.hasMedia = false;
    entry.subfolders = {"/a/b", std::string("/a/\xFF\n")};
    const std::string bytes = FolderMemo::Encode(entry, 99);
    const std::optional<MemoEntry> back = FolderMemo::Decode(bytes, 99);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->stamp, entry.stamp);
    EXPECT_EQ(back->subfolders, entry.subfolders);
    EXPECT_FALSE(back->hasMedia);
    EXPECT_FALSE(FolderMemo::Decode(bytes, 98).has_value());
    for (size_t size = 0; size < bytes.size(); ++size)
        EXPECT_FALSE(FolderMemo::Decode(bytes.substr(0, size), 99).has_value()) << size;
    EXPECT_FALSE(FolderMemo::Decode(bytes + "x", 99).has_value());
}
