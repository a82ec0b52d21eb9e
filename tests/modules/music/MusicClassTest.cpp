// The music class as the music page uses it: what it lists in a folder, and what it publishes.
#include <algorithm>

#include "MusicTestSupport.h"

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
