// Playlists: reading the three formats in their encodings, where each kind of entry leads,
// and the container and details the host sees.
#include <algorithm>
#include <unistd.h>

#include "MusicPaths.h"
#include "MusicTestSupport.h"
#include "PlaylistReader.h"
#include "PlaylistResolver.h"

using namespace LumoApi;
using namespace LumoMusic;
using namespace MusicTest;

namespace {

std::vector<std::string> Locations(const std::vector<PlaylistEntry>& entries)
{
    std::vector<std::string> locations;
    for (const PlaylistEntry& entry : entries)
        locations.push_back(entry.location);
    return locations;
}

std::vector<std::string> Titles(const std::vector<PlaylistEntry>& entries)
{
    std::vector<std::string> titles;
    for (const PlaylistEntry& entry : entries)
        titles.push_back(entry.title);
    return titles;
}

std::string Utf16Le(const std::string& ascii)
{
    std::string out("\xFF\xFE", 2);
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(PlaylistReaderTest, ReadsEveryKindInPlayingOrder)
{
    const struct {
        const char* what;
        PlaylistKind kind;
        std::string bytes;
        Strings locations;
        Strings titles;
    } cases[] = {
        {"plain m3u", PlaylistKind::M3u, "a.mp3\nsub/b.ogg\n", {"a.mp3", "sub/b.ogg"}, {"", ""}},
        {"extended m3u with CRLF and comments", PlaylistKind::M3u,
            "#EXTM3U\r\n#EXTINF:123,Artist - First\r\n  first.mp3  \r\n# a comment\r\n\r\n"
            "#EXTINF:-1 tvg-name=\"x,y\",Radio, Live\r\nhttp://radio.example/live\r\nlast.flac",
            {"first.mp3", "http://radio.example/live", "last.flac"}, {"Artist - First", "Radio, Live", ""}},
        {"old Mac line ends", PlaylistKind::M3u, "one.mp3\rtwo.mp3\r", {"one.mp3", "two.mp3"}, {"", ""}},
        {"UTF-8 with a byte-order mark", PlaylistKind::M3u, "\xEF\xBB\xBFr\xC3\xA9sum\xC3\xA9.mp3\n",
            {"r\xC3\xA9sum\xC3\xA9.mp3"}, {""}},
        {"pls in number order", PlaylistKind::Pls,
            "[playlist]\nFile2=second.mp3\nTitle2=Second\nfile1=first.mp3\nFILE10=tenth.mp3\nLength1=10\n"
            "NumberOfEntries=3\nVersion=2\nFileX=ignored.mp3\nTitle1=First\n",
            {"first.mp3", "second.mp3", "tenth.mp3"}, {"First", "Second", ""}},
        {"UTF-16 pls", PlaylistKind::Pls, Utf16Le("[playlist]\r\nFile1=wide.mp3\r\n"), {"wide.mp3"}, {""}},
        {"a NUL is damage, not a name", PlaylistKind::M3u, std::string("#EXTINF:1,Lost\nb\0c.mp3\nd.mp3\n", 29),
            {"d.mp3"}, {""}},
        {"empty", PlaylistKind::M3u, "", {}, {}},
        {"only comments", PlaylistKind::M3u8, "#EXTM3U\n#EXTINF:1,Nothing\n", {}, {}},
    };
    for (const auto& item : cases) {
        const std::vector<PlaylistEntry> entries = ParsePlaylist(item.bytes, item.kind);
        EXPECT_EQ(Locations(entries), item.locations) << item.what;
        EXPECT_EQ(Titles(entries), item.titles) << item.what;
    }
}

TEST(PlaylistReaderTest, EncodingsFollowTheListsKind)
{
    // "Café.mp3" in Latin-1 in an M3U: read as UTF-8, the original bytes kept for the disk.
    const std::vector<PlaylistEntry> latin1 = ParsePlaylist("#EXTINF:1,Gar\xE7on\nCaf\xE9.mp3\n", PlaylistKind::M3u);
    ASSERT_EQ(latin1.size(), 1u);
    EXPECT_EQ(latin1[0].location, "Caf\xC3\xA9.mp3");
    EXPECT_EQ(latin1[0].rawLocation, "Caf\xE9.mp3");
    EXPECT_EQ(latin1[0].title, "Gar\xC3\xA7on");

    // Windows-1252 letters in the range Latin-1 leaves to controls.
    EXPECT_EQ(ParsePlaylist("Price \x80 5.mp3\n", PlaylistKind::M3u)[0].location, "Price \xE2\x82\xAC 5.mp3");

    // A valid UTF-8 M3U stays as it is, raw bytes not needed.
    const std::vector<PlaylistEntry> utf8 = ParsePlaylist("Caf\xC3\xA9.mp3\n", PlaylistKind::M3u);
    EXPECT_EQ(utf8[0].location, "Caf\xC3\xA9.mp3");
    EXPECT_TRUE(utf8[0].rawLocation.empty());

    // An M3U8 that is not UTF-8 holds names byte for byte.
    EXPECT_EQ(ParsePlaylist("Caf\xE9.mp3\n", PlaylistKind::M3u8)[0].location, "Caf\xE9.mp3");
}

TEST(PlaylistReaderTest, ContentOverridesTheName)
{
    EXPECT_EQ(KindOfPlaylist(".m3u", "[playlist]\nFile1=a.mp3\n"), PlaylistKind::Pls);
    EXPECT_EQ(KindOfPlaylist(".pls", "#EXTM3U\na.mp3\n"), PlaylistKind::M3u);
    EXPECT_EQ(KindOfPlaylist(".m3u8", "a.mp3\n"), PlaylistKind::M3u8);
    EXPECT_EQ(KindOfPlaylist(".PLS", "File1=a.mp3\n"), PlaylistKind::Pls);
}

class PlaylistResolverTest : public ::testing::Test {
protected:
    SandBox m_sandbox;

    // The path of a local entry of a list at listPath, or the URL text of another.
    std::string Resolve(const std::string& listPath, const std::string& location, const std::string& raw = "")
    {
        PlaylistResolver resolver(NormalizePath(listPath), "");
        const std::string text = resolver.UrlTextOf({location, raw, ""});
        if (text.rfind("file:///", 0) != 0)
            return text;
        return PercentDecodeForTest(text.substr(7));
    }

    static std::string PercentDecodeForTest(const std::string& text)
    {
        std::string out;
        for (size_t at = 0; at < text.size(); ++at) {
            if (text[at] == '%' && at + 2 < text.size()) {
                out += char(std::stoi(text.substr(at + 1, 2), nullptr, 16));
                at += 2;
            } else {
                out += text[at];
            }
        }
        return out;
    }
};

TEST_F(PlaylistResolverTest, EntriesLeadWhereTheirAuthorMeant)
{
    const std::string list = m_sandbox.File("Music/Lists/mix.m3u", "");
    m_sandbox.File("Music/Lists/here.mp3", "x");
    m_sandbox.File("Music/Artist/Album/song.mp3", "x");
    m_sandbox.File("Music/Artist/Album/Mixed Case.mp3", "x");
    m_sandbox.File("Music/Lists/Artist/Album/old.mp3", "x");
    const std::string music = m_sandbox.Path("Music");

    EXPECT_EQ(Resolve(list, "here.mp3"), music + "/Lists/here.mp3");
    EXPECT_EQ(Resolve(list, "./here.mp3"), music + "/Lists/here.mp3");
    EXPECT_EQ(Resolve(list, "../Artist/Album/song.mp3"), music + "/Artist/Album/song.mp3");
    EXPECT_EQ(Resolve(list, music + "/Artist/Album/song.mp3"), music + "/Artist/Album/song.mp3");
    EXPECT_EQ(Resolve(list, "..\\Artist\\Album\\song.mp3"), music + "/Artist/Album/song.mp3");
    EXPECT_EQ(Resolve(list, "..\\ARTIST\\album\\MIXED CASE.MP3"), music + "/Artist/Album/Mixed Case.mp3")
        << "Windows names ignore letter case";
    EXPECT_EQ(
        Resolve(list, "file://" + music + "/Artist/Album/Mixed%20Case.mp3"), music + "/Artist/Album/Mixed Case.mp3");
    EXPECT_EQ(Resolve(list, "file://localhost" + music + "/Lists/here.mp3"), music + "/Lists/here.mp3");
    // Made on another computer: the last components that lead somewhere from the list win.
    EXPECT_EQ(
        Resolve(list, "C:\\Users\\me\\Music\\Lists\\Artist\\Album\\old.mp3"), music + "/Lists/Artist/Album/old.mp3");
    EXPECT_EQ(Resolve(list, "D:/Somewhere/here.mp3"), music + "/Lists/here.mp3");
    EXPECT_EQ(Resolve(list, "file:///E:/Music/Lists/here.mp3"), music + "/Lists/here.mp3");
}

TEST_F(PlaylistResolverTest, NetworkEntriesAreKeptAsUrls)
{
    const std::string list = m_sandbox.File("list.m3u", "");
    EXPECT_EQ(Resolve(list, "http://radio.example/live?id=5&x=y"), "http://radio.example/live?id=5&x=y");
    EXPECT_EQ(Resolve(list, "HTTPS://radio.example/a.mp3"), "HTTPS://radio.example/a.mp3");
    EXPECT_EQ(Resolve(list, "\\\\server\\share\\Music\\a.mp3"), "smb://server/share/Music/a.mp3");
    EXPECT_EQ(Resolve(list, "file://nas/volume/a.mp3"), "file://nas/volume/a.mp3");
}

TEST_F(PlaylistResolverTest, MissingEntriesStillLeadSomewhere)
{
    const std::string list = m_sandbox.File("Lists/list.m3u", "");
    EXPECT_EQ(Resolve(list, "gone.mp3"), m_sandbox.Path("Lists/gone.mp3"));
    // A drive-less Windows path starts at the root of the list's volume, wherever that is
    // mounted: never relative to the list's folder.
    const std::string rooted = Resolve(list, "\\Music\\gone.mp3");
    EXPECT_EQ(rooted.size() - rooted.rfind("/Music/gone.mp3"), std::string("/Music/gone.mp3").size()) << rooted;
    EXPECT_EQ(rooted.find(m_sandbox.Path("Lists")), std::string::npos) << rooted;
    EXPECT_EQ(Resolve(list, ""), "");
    EXPECT_EQ(Resolve(list, "list.m3u"), "") << "a list never contains itself";
    EXPECT_EQ(Resolve(list, "../Lists/list.m3u"), "");
    // "%00" would cut the path short, naming the list's own folder.
    EXPECT_EQ(Resolve(list, "file://" + m_sandbox.Path("Lists") + "%00/a.mp3"), "");
}

// A list reached through a linked folder was taken for another list, which listed it again,
// without end; a line "/" made the list hold the whole file system.
TEST_F(PlaylistResolverTest, AListUnderAnotherNameIsStillItselfAndFoldersAreNoEntries)
{
    const std::string list = m_sandbox.File("Lists/list.m3u", "");
    const std::string other = m_sandbox.File("Lists/other.m3u", "");
    std::filesystem::create_directory_symlink(".", m_sandbox.Path("Lists/link"));
    std::filesystem::create_hard_link(list, m_sandbox.Path("Lists/same.m3u"));

    EXPECT_EQ(Resolve(list, "link/list.m3u"), "");
    EXPECT_EQ(Resolve(list, "link/link/list.m3u"), "");
    EXPECT_EQ(Resolve(list, "same.m3u"), "");
    EXPECT_EQ(Resolve(list, "link/other.m3u"), m_sandbox.Path("Lists/link/other.m3u")) << "another list stays";
    EXPECT_EQ(Resolve(other, "link/list.m3u"), m_sandbox.Path("Lists/link/list.m3u"));
    for (const char* folder : {"/", "file:///", "file://localhost/", ".", "..", "link", "\\", "C:\\"})
        EXPECT_EQ(Resolve(list, folder), "") << folder;
}

TEST_F(PlaylistResolverTest, ABackslashInANameOfThisSystemStays)
{
    const std::string list = m_sandbox.File("Lists/list.m3u", "");
    const std::string named = m_sandbox.File("Lists/a\\b.mp3", "x");
    m_sandbox.File("Lists/Sub/song.mp3", "x");
    EXPECT_EQ(Resolve(list, "a\\b.mp3"), named);
    EXPECT_EQ(Resolve(list, named), named);
    EXPECT_EQ(Resolve(list, "Sub\\song.mp3"), m_sandbox.Path("Lists/Sub/song.mp3")) << "written on Windows";
}

TEST_F(PlaylistResolverTest, Latin1NamesOnDiskAreFoundByTheirBytes)
{
    const std::string list = m_sandbox.File("list.m3u", "");
    const std::string onDisk = m_sandbox.File("Caf\xE9.mp3", "x");
    EXPECT_EQ(Resolve(list, "Caf\xC3\xA9.mp3", "Caf\xE9.mp3"), onDisk);
    // With the UTF-8 name on disk as well, the decoded name wins.
    const std::string utf8 = m_sandbox.File("Caf\xC3\xA9.mp3", "x");
    EXPECT_EQ(Resolve(list, "Caf\xC3\xA9.mp3", "Caf\xE9.mp3"), utf8);
}

class PlaylistHostTest : public MusicHostTest {
protected:
    ApiRef<ContainerApi> ContainerOf(UrlApi* url) { return ItemApi<ContainerApi>(url); }
};

TEST_F(PlaylistHostTest, ListsEntriesAsItemsOfTheirOwn)
{
    const std::string song = m_sandbox.File("Music/song.wav", WavBytes(8000, 1, 8, 8000));
    TagWav(song, {"Listed", "", "", "", 0});
    const std::string list = m_sandbox.File(
        "Music/Lists/mix.m3u8", "#EXTM3U\n#EXTINF:1,Song\n..\\song.wav\nmissing.mp3\nhttp://radio.example/live\n");

    ApiRef<UrlApi> url = FileUrl(list, "lumomusic-file");
    EXPECT_EQ(ContentTypeOf(url.Get()), "x-container/lumomusic-playlist");
    ApiRef<ContainerApi> container = ContainerOf(url.Get());
    ASSERT_TRUE(container);
    const Strings children = Children(*container);
    const Strings expected = {
        TextOf(FileUrl(song, "lumomusic-file").Get()),
        TextOf(FileUrl(m_sandbox.Path("Music/Lists/missing.mp3"), "lumomusic-file").Get()),
        "http://radio.example/live",
    };
    EXPECT_EQ(children, expected) << "entries keep the list's prefix, network entries stay as written";
    EXPECT_EQ(Children(*container), expected) << "a second enumeration starts again";

    // Each entry is an item the host can show.
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(ValueOf(*DetailsOf(UrlOfText(children[0]).Get()), "SongTitle"), "Listed");
    EXPECT_EQ(ValueOf(*DetailsOf(UrlOfText(children[1]).Get()), "ContentType"), "x-application/lumo-broken");
    EXPECT_EQ(ValueOf(*DetailsOf(UrlOfText(children[2]).Get()), "ContentType"), "audio/x-lumomusic-stream");

    // FindChild knows its own entries only.
    ApiRef<UrlApi> found = ApiRef<UrlApi>::Adopt(container->FindChild(UrlOfText(children[1]).Get()));
    EXPECT_EQ(TextOf(found.Get()), children[1]);
    LumoSetLastError(0);
    EXPECT_EQ(container->FindChild(FileUrl(song).Get()), nullptr) << "unprefixed: not this list's entry";
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
}

TEST_F(PlaylistHostTest, Latin1ListOfOddlyNamedFiles)
{
    const std::string onDisk = m_sandbox.File("Caf\xE9.wav", WavBytes(8000, 1, 8, 800));
    const std::string list = m_sandbox.File("old.m3u", "Caf\xE9.wav\r\n");
    ApiRef<ContainerApi> container = ContainerOf(FileUrl(list).Get());
    ASSERT_TRUE(container);
    const Strings children = Children(*container);
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0], TextOf(FileUrl(onDisk).Get()));
    EXPECT_EQ(ValueOf(*DetailsOf(UrlOfText(children[0]).Get()), "FileName"), "Café.wav");
    EXPECT_EQ(ValueOf(*DetailsOf(UrlOfText(children[0]).Get()), "Duration"), "100");
}

TEST_F(PlaylistHostTest, CancelEndsTheListing)
{
    const std::string list = m_sandbox.File(
        "long.pls", "[playlist]\n" + [&] {
            std::string pls;
            for (int at = 1; at <= 1000; ++at)
                pls += "File" + std::to_string(at) + "=song" + std::to_string(at) + ".mp3\n";
            return pls;
        }());
    ApiRef<ContainerApi> container = ContainerOf(FileUrl(list).Get());
    ASSERT_TRUE(container);
    ApiRef<UrlApi> first = ApiRef<UrlApi>::Adopt(container->GetFirst());
    ASSERT_TRUE(first);
    EXPECT_NE(TextOf(first.Get()).find("song1.mp3"), std::string::npos);
    container->Cancel();
    LumoSetLastError(0);
    EXPECT_EQ(container->GetNext(), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(Children(*container).size(), 1000u) << "a new enumeration is not cancelled";
}

TEST_F(PlaylistHostTest, DetailsOfPresentAndVanishedLists)
{
    const std::string list = m_sandbox.File("set.pls", "[playlist]\nFile1=a.mp3\nFile2=b.mp3\n");
    ApiRef<DetailsApi> details = DetailsOf(list);
    ASSERT_TRUE(details);
    const auto values = AllValues(*details);
    EXPECT_EQ(values.at("ContentType"), "x-container/lumomusic-playlist");
    EXPECT_EQ(values.at("SourceFormat"), "x-container/lumomusic-playlist");
    EXPECT_EQ(values.at("FileName"), "set.pls");
    EXPECT_EQ(values.at("SourceLocation"), list);
    EXPECT_EQ(values.at("ItemCount"), "2");
    EXPECT_EQ(values.at("SourceSize"), std::to_string(std::filesystem::file_size(list)));

    const std::string gone = m_sandbox.Path("gone.m3u");
    EXPECT_EQ(ValueOf(*DetailsOf(gone), "ContentType"), "x-application/lumo-broken");
    ApiRef<ContainerApi> container = ContainerOf(FileUrl(gone).Get());
    ASSERT_TRUE(container);
    LumoSetLastError(0);
    EXPECT_EQ(container->GetFirst(), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_NO_MORE_ITEMS) << "a vanished list is empty, not an error";
}

TEST_F(PlaylistHostTest, RefreshTellsSubscribers)
{
    class Recorder : public RefNeutral<ContainerCallbackApi> {
    public:
        void LUMO_CALL OnNotify(ContainerApi*, int32_t event, UrlApi* child) override
        {
            events.push_back(event);
            EXPECT_EQ(child, nullptr);
        }
        std::vector<int32_t> events;
    } recorder;
    const std::string list = m_sandbox.File("watched.m3u", "a.mp3\n");
    ApiRef<ContainerApi> container = ContainerOf(FileUrl(list).Get());
    ASSERT_TRUE(container);
    ASSERT_TRUE(container->Subscribe(&recorder, 0));
    EXPECT_TRUE(container->Refresh(nullptr));
    container->Unsubscribe(&recorder);
    EXPECT_TRUE(container->Refresh(nullptr));
    EXPECT_EQ(recorder.events, std::vector<int32_t>{c_ContainerChanged});
}
