// Listing folders through a real host: what is shown and what is left out, names that are not
// UTF-8, symbolic links and their loops, failures, FindChild, and Cancel from another thread.
#include <atomic>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FoldersTestSupport.h"
#include "host/ListedFiles.h"

using namespace LumoApi;

namespace {

class FolderListingTest : public FoldersHostTest {
protected:
    // The names a folder lists through the host's own container wrapper.
    std::vector<std::string> NamesOf(const std::string& path)
    {
        Container container(FileUrl(path));
        std::vector<std::string> names;
        for (ApiRef<UrlApi> child = container.GetFirst(); child; child = container.GetNext())
            names.push_back(std::filesystem::path(PathOf(child.Get())).filename().string());
        return names;
    }
};

bool RunningAsRoot()
{
    return geteuid() == 0;
}

} // namespace

TEST_F(FolderListingTest, ListsFilesAndFoldersInNameOrderWithoutHiddenOnes)
{
    m_sandbox.Folder("Album/Disc 2");
    m_sandbox.Folder("Album/.thumbnails");
    m_sandbox.File("Album/b.mp3");
    m_sandbox.File("Album/A.mp3");
    m_sandbox.File("Album/.hidden.mp3");
    m_sandbox.File("Album/cover.jpg");
    m_sandbox.File("Album/\xC3\xA9t\xC3\xA9.mp3");

    EXPECT_EQ(NamesOf(m_sandbox.Path("Album")),
        (std::vector<std::string>{"A.mp3", "Disc 2", "b.mp3", "cover.jpg", "\xC3\xA9t\xC3\xA9.mp3"}));
    EXPECT_TRUE(NamesOf(m_sandbox.Folder("Empty")).empty());
}

TEST_F(FolderListingTest, LeavesOutWhatCannotBeReadOrWouldBlock)
{
    m_sandbox.File("Mixed/song.mp3");
    m_sandbox.Link("Mixed/dangling.mp3", m_sandbox.Path("Mixed/nowhere.mp3"));
    m_sandbox.Link("Mixed/chain-a", m_sandbox.Path("Mixed/chain-b"));
    m_sandbox.Link("Mixed/chain-b", m_sandbox.Path("Mixed/chain-a"));
    ASSERT_EQ(mkfifo(m_sandbox.Path("Mixed/pipe").c_str(), 0644), 0);

    EXPECT_EQ(NamesOf(m_sandbox.Path("Mixed")), (std::vector<std::string>{"song.mp3"}));
}

TEST_F(FolderListingTest, LeavesOutEntriesTheUserCannotRead)
{
    if (RunningAsRoot())
        GTEST_SKIP() << "root may read everything: permissions cannot hide entries from it";
    m_sandbox.File("Locked/open.mp3");
    chmod(m_sandbox.File("Locked/closed.mp3").c_str(), 0);
    chmod(m_sandbox.Folder("Locked/Sealed").c_str(), 0);
    chmod(m_sandbox.Folder("Locked/NoEntry").c_str(), 0644);

    EXPECT_EQ(NamesOf(m_sandbox.Path("Locked")), (std::vector<std::string>{"open.mp3"}));
    ApiRef<ContainerApi> sealed = ContainerOf(m_sandbox.Path("Locked/Sealed"));
    EXPECT_EQ(sealed->GetFirst(), nullptr);
    EXPECT_EQ(LumoGetLastError(), 5u);
}

TEST_F(FolderListingTest, NamesThatAreNotUtf8KeepTheirBytesInTheUrl)
{
    const std::string song = m_sandbox.File("Odd/caf\xE9.mp3");
    const std::string backslash = m_sandbox.File("Odd/AC\\DC.mp3");
    const std::string marks = m_sandbox.File("Odd/100% #1 & ?+=;.mp3");
    ApiRef<ContainerApi> container = ContainerOf(m_sandbox.Path("Odd"));

    std::map<std::string, std::string> texts;
    for (ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(container->GetFirst()); child;
         child = ApiRef<UrlApi>::Adopt(container->GetNext()))
        texts[PathOf(child.Get())] = child->GetText();
    ASSERT_EQ(texts.size(), 3u);
    ASSERT_EQ(texts.count(song), 1u) << "the path read back from the URL is the name's bytes";
    EXPECT_NE(texts[song].find("caf%E9.mp3"), std::string::npos) << texts[song];
    EXPECT_EQ(texts.count(backslash), 1u) << "a backslash is a name byte, not a separator";
    // Same item, same text: the URLs match the host builder's for the same paths.
    EXPECT_EQ(texts[song], FileUrl(song)->GetText());
    EXPECT_EQ(texts[marks], FileUrl(marks)->GetText());
}

TEST_F(FolderListingTest, FollowsLinksToFoldersButNotLoops)
{
    m_sandbox.File("Other/track.mp3");
    m_sandbox.Folder("Music/Album");
    m_sandbox.Link("Music/up", "..");
    m_sandbox.Link("Music/self", ".");
    m_sandbox.Link("Music/root", "/");
    m_sandbox.Link("Music/sandbox", m_sandbox.Path());
    m_sandbox.Link("Music/other", "../Other");
    m_sandbox.Link("Music/Album/back", "../../Music");

    EXPECT_EQ(NamesOf(m_sandbox.Path("Music")), (std::vector<std::string>{"Album", "other"}));
    // Through the link, the folder behind it lists as itself.
    EXPECT_EQ(ContentTypeOf(m_sandbox.Path("Music/other")), "x-container/folder");
    EXPECT_EQ(NamesOf(m_sandbox.Path("Music/other")), (std::vector<std::string>{"track.mp3"}));
    EXPECT_TRUE(NamesOf(m_sandbox.Path("Music/Album")).empty());
}

TEST_F(FolderListingTest, ListedChildrenGetTheirContentTypes)
{
    m_sandbox.Folder("Album/Disc");
    m_sandbox.Folder("Album/Disc.2");
    m_sandbox.File("Album/Disc.mp3");
    m_sandbox.File("Album/Disc 1");
    m_sandbox.Link("Album/Linked", m_sandbox.Path("Album/Disc"));
    m_sandbox.Link("Album/Linked.mp3", m_sandbox.Path("Album/Disc.mp3"));

    // Deciding right after the listing, as the host does, must answer as the file system does.
    std::map<std::string, bool> isFolder;
    Container album(FileUrl(m_sandbox.Path("Album")));
    for (ApiRef<UrlApi> child = album.GetFirst(); child; child = album.GetNext()) {
        const std::string name = std::filesystem::path(PathOf(child.Get())).filename().string();
        isFolder[name] = m_host.FormatGroup().DecideContentType(child.Get(), nullptr) == "x-container/folder";
    }
    EXPECT_EQ(isFolder,
        (std::map<std::string, bool>{{"Disc", true}, {"Disc 1", false}, {"Disc.2", true}, {"Disc.mp3", false},
            {"Linked", true}, {"Linked.mp3", false}}));
    // And for the children of the root, whose folder has no name of its own.
    Container root(FileUrl("/"));
    for (ApiRef<UrlApi> child = root.GetFirst(); child; child = root.GetNext()) {
        if (PathOf(child.Get()) == "/tmp") {
            EXPECT_EQ(m_host.FormatGroup().DecideContentType(child.Get(), nullptr), "x-container/folder");
        }
    }
}

TEST_F(FolderListingTest, ListsTheRootFolder)
{
    const std::vector<std::string> names = NamesOf("/");
    EXPECT_NE(std::find(names.begin(), names.end(), "tmp"), names.end());
    ApiRef<ContainerApi> root = ContainerOf("/");
    ApiRef<UrlApi> first = ApiRef<UrlApi>::Adopt(root->GetFirst());
    ASSERT_TRUE(first);
    EXPECT_EQ(std::string(first->GetText()).rfind("file:///", 0), 0u) << first->GetText();
}

TEST_F(FolderListingTest, FolderThatCannotBeOpenedFailsWithItsCode)
{
    const std::string folder = m_sandbox.Folder("Soon gone");
    ApiRef<ContainerApi> container = ContainerOf(folder);
    std::filesystem::remove(folder);
    EXPECT_EQ(container->GetFirst(), nullptr);
    EXPECT_EQ(LumoGetLastError(), 2u);

    ApiRef<ContainerApi> file = ContainerOf(m_sandbox.File("plain.mp3"));
    EXPECT_EQ(file->GetFirst(), nullptr);
    EXPECT_EQ(LumoGetLastError(), 3u);
    EXPECT_EQ(file->GetNext(), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_NO_MORE_ITEMS);
}

TEST_F(FolderListingTest, FindChildAnswersOnlyForListedEntries)
{
    const std::string song = m_sandbox.File("Album/01 Intro.mp3");
    m_sandbox.File("Album/.hidden.mp3");
    m_sandbox.File("Album/Disc 2/01.mp3");
    ApiRef<ContainerApi> album = ContainerOf(m_sandbox.Path("Album"));

    ApiRef<UrlApi> found = ApiRef<UrlApi>::Adopt(album->FindChild(FileUrl(song).Get()));
    ASSERT_TRUE(found);
    EXPECT_STREQ(found->GetText(), FileUrl(song)->GetText());
    for (const std::string& other : {m_sandbox.Path("Album/.hidden.mp3"), m_sandbox.Path("Album/Disc 2/01.mp3"),
             m_sandbox.Path("Album/missing.mp3"), m_sandbox.Path("Album")}) {
        LumoSetLastError(0);
        EXPECT_EQ(album->FindChild(FileUrl(other).Get()), nullptr) << other;
        EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND) << other;
    }
    ApiRef<UrlApi> foreign = MakeUrl("mem://fixture" + song);
    EXPECT_EQ(album->FindChild(foreign.Get()), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
}

TEST_F(FolderListingTest, CancelFromAnotherThreadStopsTheListing)
{
    const std::string big = m_sandbox.Folder("Big");
    constexpr size_t c_Files = 20000;
    for (size_t index = 0; index < c_Files; ++index)
        m_sandbox.File("Big/track " + std::to_string(index) + ".mp3", "");
    ApiRef<ContainerApi> container = ContainerOf(big);

    // Cancelled between two children: the very next one is the end.
    size_t seen = 0;
    for (ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(container->GetFirst()); child;
         child = ApiRef<UrlApi>::Adopt(container->GetNext())) {
        if (++seen == 100)
            std::thread([&] { container->Cancel(); }).join();
    }
    EXPECT_EQ(LumoGetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(seen, 100u);

    // Cancelled while the listing runs flat out.
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        while (!started.load())
            std::this_thread::yield();
        while (!done.load())
            container->Cancel();
    });
    seen = 0;
    started = true;
    for (ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(container->GetFirst()); child;
         child = ApiRef<UrlApi>::Adopt(container->GetNext()))
        ++seen;
    const uint32_t end = LumoGetLastError();
    done = true;
    canceller.join();
    EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
    EXPECT_LT(seen, c_Files / 2);

    // A new enumeration starts afresh, whatever came before.
    container->Cancel();
    EXPECT_EQ(Children(*container).size(), c_Files);
}

TEST_F(FolderListingTest, ChildrenCarryWhatTheListingSawOfThem)
{
    const std::string song = m_sandbox.File("Seen/two words.mp3", std::string(1234, 'x'));
    const std::string odd = m_sandbox.File("Seen/caf\xE9 \xFF.mp3", "abc");
    const std::string folder = m_sandbox.Folder("Seen/Disc 2");
    m_sandbox.File("Elsewhere/x.mp3");
    const std::string linked = m_sandbox.Link("Seen/linked", m_sandbox.Path("Elsewhere"));
    ApiRef<ContainerApi> container = ContainerOf(m_sandbox.Path("Seen"));

    std::map<std::string, ListedFile> records;
    for (ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(container->GetFirst()); child;
         child = ApiRef<UrlApi>::Adopt(container->GetNext())) {
        ListedFile record{};
        record.size = sizeof record;
        ASSERT_NE(ListedFiles::Instance().Read(child.Get(), &record, c_ListedFileFreshMs), 0) << PathOf(child.Get());
        records[PathOf(child.Get())] = record;
    }
    ASSERT_EQ(records.size(), 4u);
    for (const std::string& path : {song, odd, folder, linked}) {
        ASSERT_EQ(records.count(path), 1u) << path;
        const ListedFile& record = records[path];
        struct stat info { };
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(record.size, sizeof(ListedFile));
        EXPECT_TRUE(record.flags & c_ListedReadable);
        EXPECT_EQ(record.fileType, S_ISDIR(info.st_mode) ? c_ListedFolder : c_ListedRegular) << path;
        EXPECT_EQ(record.inode, uint64_t(info.st_ino)) << "links are followed: " << path;
        EXPECT_EQ(record.device, uint64_t(info.st_dev));
        EXPECT_EQ(record.sizeBytes, uint64_t(info.st_size));
        EXPECT_EQ(record.modifiedNs, int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec);
        EXPECT_EQ(record.changedNs, int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec);
    }
    EXPECT_EQ(records[song].sizeBytes, 1234u);
}

TEST_F(FolderListingTest, WhatTheModeBitsDenyIsAskedOfTheKernel)
{
    // Root reads files whose bits say no one may; a user reads what their group or everyone
    // may, and nothing the bits deny them.
    m_sandbox.File("Bits/open.mp3");
    const std::string closed = m_sandbox.File("Bits/closed.mp3");
    const std::string groupOnly = m_sandbox.File("Bits/group.mp3");
    const std::string othersOnly = m_sandbox.File("Bits/others.mp3");
    const std::string sealed = m_sandbox.Folder("Bits/Sealed");
    const std::string listOnly = m_sandbox.Folder("Bits/ListOnly");
    ASSERT_EQ(chmod(closed.c_str(), 0), 0);
    ASSERT_EQ(chmod(groupOnly.c_str(), 0040), 0);
    ASSERT_EQ(chmod(othersOnly.c_str(), 0004), 0);
    ASSERT_EQ(chmod(sealed.c_str(), 0), 0);
    ASSERT_EQ(chmod(listOnly.c_str(), 0444), 0);

    std::vector<std::string> expected;
    for (const char* name : {"ListOnly", "Sealed", "closed.mp3", "group.mp3", "open.mp3", "others.mp3"}) {
        const std::string path = m_sandbox.Path(std::string("Bits/") + name);
        struct stat info { };
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        if (access(path.c_str(), S_ISDIR(info.st_mode) ? R_OK | X_OK : R_OK) == 0)
            expected.push_back(name);
    }
    if (RunningAsRoot())
        EXPECT_EQ(expected.size(), 6u) << "root's rights come from its capabilities, not the bits";
    else
        EXPECT_EQ(expected, (std::vector<std::string>{"open.mp3"})) << "owner bits alone count for the owner";
    EXPECT_EQ(NamesOf(m_sandbox.Path("Bits")), expected);
}
