// The music class as the music page uses it: what it lists in a folder, and what it publishes.
#include <algorithm>

#include "MusicTestSupport.h"
#include "host/ListedFiles.h"

using namespace LumoApi;
using namespace MusicTest;

namespace {

class MusicClassTest : public MusicHostTest {
protected:
    MediaClass& Music() { return m_host.MediaClasses().ById("LumoMusic"); }

    static bool EndsWith(const std::string& text, const std::string& end)
    {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    }
    static bool AnyEndsWith(const std::vector<std::string>& texts, const std::string& end)
    {
        return std::any_of(texts.begin(), texts.end(), [&](const std::string& text) { return EndsWith(text, end); });
    }
};

} // namespace

TEST_F(MusicClassTest, FoldersOnThePageShowSongsAndPlaylistsOnly)
{
#ifndef LUMO_WITH_FOLDERS_MODULE
    GTEST_SKIP() << "the folders module is not built";
#endif
    m_sandbox.File("Shelf/a.mp3", Mp3Bytes(4));
    m_sandbox.File("Shelf/b.flac", FlacBytes(44100, 2, 16, 100));
    m_sandbox.File("Shelf/mix.m3u", "a.mp3\n");
    m_sandbox.File("Shelf/notes.txt", "not music");
    m_sandbox.File("Shelf/With songs/c.ogg", OggHead(std::string("\x01vorbis", 7)));
    m_sandbox.Folder("Shelf/Empty");

    ApiRef<ContainerApi> shelf = ItemApi<ContainerApi>(FileUrl(m_sandbox.Path("Shelf"), "lumomusic-file").Get());
    ASSERT_TRUE(shelf) << LumoGetLastError();
    const std::vector<std::string> children = Children(*shelf);
    EXPECT_TRUE(AnyEndsWith(children, "/Shelf/a.mp3"));
    EXPECT_TRUE(AnyEndsWith(children, "/Shelf/b.flac"));
    EXPECT_TRUE(AnyEndsWith(children, "/Shelf/mix.m3u"));
    EXPECT_TRUE(AnyEndsWith(children, "/Shelf/With%20songs"));
    EXPECT_FALSE(AnyEndsWith(children, "/Shelf/notes.txt"));
    EXPECT_FALSE(AnyEndsWith(children, "/Shelf/Empty"));
    for (const std::string& child : children)
        EXPECT_EQ(child.rfind("lumomusic-file:///", 0), 0u) << child;
    // The system's whole type database (a tenth of a second) is no listing's business.
    EXPECT_FALSE(m_host.FormatGroup().WholeTableRead());
}

TEST_F(MusicClassTest, ClassFolderChildrenCarryTheListingsRecordAndAreIdentifiedByIt)
{
#ifndef LUMO_WITH_FOLDERS_MODULE
    GTEST_SKIP() << "the folders module is not built";
#endif
    const std::string song = m_sandbox.File("Shelf/a song \xFF.mp3", Mp3Bytes(4));
    const std::string folder = m_sandbox.Folder("Shelf/With songs");
    m_sandbox.File("Shelf/With songs/c.mp3", Mp3Bytes(4));

    ApiRef<ContainerApi> shelf = ItemApi<ContainerApi>(FileUrl(m_sandbox.Path("Shelf"), "lumomusic-file").Get());
    ASSERT_TRUE(shelf) << LumoGetLastError();
    std::vector<ApiRef<UrlApi>> children;
    for (ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(shelf->GetFirst()); child;
         child = ApiRef<UrlApi>::Adopt(shelf->GetNext()))
        children.push_back(child);
    ASSERT_EQ(children.size(), 2u);
    for (const ApiRef<UrlApi>& child : children) {
        ListedFile record{};
        record.size = sizeof record;
        ASSERT_NE(ListedFiles::Instance().Read(child.Get(), &record, c_ListedFileFreshMs), 0) << child->GetText();
        const std::string path = "/" + std::string(child->GetPath());
        struct stat info { };
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(record.inode, uint64_t(info.st_ino)) << path;
        EXPECT_EQ(record.fileType, path == folder ? c_ListedFolder : c_ListedRegular) << path;
    }
    // In byte order: "With songs" before "a song".
    EXPECT_EQ(ContentTypeOf(children[0].Get()), "x-container/lumomusic-folder");
    EXPECT_EQ(ContentTypeOf(children[1].Get()), "audio/mpeg");

    // The class takes the record's word for what the name is, as it would a stat's: a URL
    // whose record says folder is identified as one without a look at the file.
    ApiRef<UrlApi> claimed = FileUrl(song, "lumomusic-file");
    ListedFile record{};
    record.size = sizeof record;
    record.fileType = c_ListedFolder;
    ASSERT_NE(ListedFiles::Instance().Attach(claimed.Get(), &record), 0);
    ApiRef<FormatApi> formats = m_host.Modules().ModuleById("LumoMusic").GetApi<FormatApi>();
    EXPECT_EQ(formats->Identify(claimed.Get(), nullptr), 2) << "the class's folder format";
    EXPECT_NE(formats->Identify(FileUrl(song, "lumomusic-file").Get(), nullptr), 2)
        << "without a record the file is looked at";
}

TEST_F(MusicClassTest, SongsAndPlaylistsArePublished)
{
    const std::string song = m_sandbox.File("Pub/song.mp3", Mp3Bytes(4));
    const std::string list = m_sandbox.File("Pub/list.m3u8", "song.mp3\n");
    const std::string text = m_sandbox.File("Pub/readme.txt", "words");
    ApiRef<UrlApi> songUrl = FileUrl(song, "lumomusic-file");
    ApiRef<UrlApi> listUrl = FileUrl(list, "lumomusic-file");

    EXPECT_TRUE(Music().CanPublish(songUrl.Get()));
    EXPECT_TRUE(Music().CanPublish(listUrl.Get()));
    EXPECT_FALSE(Music().CanPublish(FileUrl(text, "lumomusic-file").Get()));

    ApiRef<UrlApi> entry = Music().Publish(songUrl.Get());
    ASSERT_TRUE(entry);
    EXPECT_FALSE(Music().CanPublish(songUrl.Get())) << "already published";
    EXPECT_TRUE(Music().CanUnpublish(entry.Get()));
    ApiRef<ContainerApi> published = ItemApi<ContainerApi>(Music().SecondRoot().Url().Get());
    ASSERT_TRUE(published);
    const std::vector<std::string> listed = Children(*published);
    EXPECT_NE(std::find(listed.begin(), listed.end(), TextOf(entry.Get())), listed.end());

    // The published entry is the song: its details are the song's.
    ApiRef<DetailsApi> details = DetailsOf(entry.Get());
    ASSERT_TRUE(details);
    EXPECT_EQ(ValueOf(*details, "SourceLocation"), song);

    ApiRef<UrlApi> back = Music().Unpublish(entry.Get());
    EXPECT_EQ(TextOf(back.Get()), TextOf(songUrl.Get()));
    EXPECT_FALSE(Music().CanUnpublish(entry.Get()));
}

namespace {

// A program folder whose folders are listed by a module of the old kind, that hands out no
// record of what it saw.
class OldListerFolder : public ModuleFolder {
public:
    OldListerFolder()
    {
        AddProgramModule("lumo-cache");
        Add("fixture_old_folders");
        AddProgramModule("lumo-music");
    }
};

class OldListerTest : public ::testing::Test {
protected:
    template <class T>
    ApiRef<T> ItemApi(UrlApi* url)
    {
        return ApiRef<T>::Adopt(static_cast<T*>(m_host.MediaGroup().GetApi(T::TypeId, url)));
    }

    OldListerFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    SandBox m_sandbox;
};

bool HasRecord(UrlApi* url)
{
    ListedFile record{};
    record.size = sizeof record;
    return ListedFiles::Instance().Read(url, &record, 0) != 0;
}

} // namespace

TEST_F(OldListerTest, AClassFolderListedWithoutRecordsShowsTheSameSongs)
{
    const std::string song = m_sandbox.File("Shelf/a song \xE9.mp3", Mp3Bytes(6));
    m_sandbox.File("Shelf/With songs/c.mp3", Mp3Bytes(4));
    m_sandbox.File("Shelf/notes.txt", "not music");
    m_sandbox.Folder("Shelf/Empty");

    ApiRef<ContainerApi> plain = ItemApi<ContainerApi>(FileUrl(m_sandbox.Path("Shelf")).Get());
    ASSERT_TRUE(plain) << LumoGetLastError();
    ApiRef<UrlApi> first = ApiRef<UrlApi>::Adopt(plain->GetFirst());
    ASSERT_TRUE(first);
    EXPECT_FALSE(HasRecord(first.Get())) << "the old lister attaches nothing";

    ApiRef<ContainerApi> shelf = ItemApi<ContainerApi>(FileUrl(m_sandbox.Path("Shelf"), "lumomusic-file").Get());
    ASSERT_TRUE(shelf) << LumoGetLastError();
    std::vector<ApiRef<UrlApi>> children;
    for (ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(shelf->GetFirst()); child;
         child = ApiRef<UrlApi>::Adopt(shelf->GetNext()))
        children.push_back(child);
    ASSERT_EQ(children.size(), 2u) << "the folder with songs, and the song; byte order puts 'W' first";
    EXPECT_EQ(std::string(children[1]->GetText()), std::string(FileUrl(song, "lumomusic-file")->GetText()));
    EXPECT_EQ(m_host.FormatGroup().DecideContentType(children[0].Get(), nullptr), "x-container/lumomusic-folder");

    ApiRef<DetailsApi> listed = ItemApi<DetailsApi>(children[1].Get());
    ASSERT_TRUE(listed) << LumoGetLastError();
    const auto values = AllValues(*listed);
    struct stat info { };
    ASSERT_EQ(stat(song.c_str(), &info), 0);
    EXPECT_EQ(values.at("ContentType"), "audio/mpeg");
    EXPECT_EQ(values.at("SourceSize"), std::to_string(info.st_size));
    EXPECT_EQ(values.at("LastChangeDate"), std::to_string(info.st_mtime));
}
