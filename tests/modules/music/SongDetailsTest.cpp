// Song details through the host: tags and audio properties of real little files, and what
// damaged, vanished and oddly named songs show.
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "MusicTestSupport.h"
#include "MusicText.h"
#include "host/ListedFiles.h"
#include "host/MediaItem.h"
#include "support/BytesRead.h"

#include <taglib/attachedpictureframe.h>

using namespace LumoApi;
using namespace MusicTest;

namespace {

class SongDetailsTest : public MusicHostTest {
protected:
    // The details of path, all read; fails the test when the host gives none.
    std::map<std::string, std::string> ValuesOf(const std::string& path)
    {
        ApiRef<DetailsApi> details = DetailsOf(path);
        EXPECT_TRUE(details) << path << ": " << LumoGetLastError();
        return details ? AllValues(*details) : std::map<std::string, std::string>();
    }
};

std::string Repeat(const std::string& text, size_t times)
{
    std::string out;
    for (size_t at = 0; at < times; ++at)
        out += text;
    return out;
}

std::optional<std::string> Find(const std::map<std::string, std::string>& values, const char* name)
{
    auto found = values.find(name);
    return found == values.end() ? std::nullopt : std::optional<std::string>(found->second);
}

} // namespace

TEST_F(SongDetailsTest, WavShowsItsTagsAndExactLength)
{
    // 2.5 seconds of 16-bit stereo at 44.1 kHz.
    const std::string path = m_sandbox.File("Song One.wav", WavBytes(44100, 2, 16, 110250));
    TagWav(path, {"Für Elise", "Ludwig van Beethoven", "Bagatelles", "Classical", 1810});

    const auto values = ValuesOf(path);
    EXPECT_EQ(Find(values, "SongTitle"), "Für Elise");
    EXPECT_EQ(Find(values, "ArtistName"), "Ludwig van Beethoven");
    EXPECT_EQ(Find(values, "AlbumTitle"), "Bagatelles");
    EXPECT_EQ(Find(values, "AlbumYear"), "1810");
    EXPECT_EQ(Find(values, "MusicGenre"), "Classical");
    EXPECT_EQ(Find(values, "Duration"), "2500");
    EXPECT_EQ(Find(values, "SourceBitRate"), "1411 kbps");
    EXPECT_EQ(Find(values, "SourceSampleRate"), "44.1 kHz");
    EXPECT_EQ(Find(values, "ContentType"), "audio/x-wav");
    EXPECT_EQ(Find(values, "SourceFormat"), "audio/x-wav");
    EXPECT_EQ(Find(values, "FileName"), "Song One.wav");
    EXPECT_EQ(Find(values, "SourceLocation"), path);

    struct stat info { };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(Find(values, "SourceSize"), std::to_string(info.st_size));
    EXPECT_EQ(Find(values, "LastChangeDate"), std::to_string(info.st_mtime));
    ASSERT_TRUE(Find(values, "CreationDate"));
    EXPECT_LE(std::stoll(*Find(values, "CreationDate")), int64_t(info.st_mtime));
    EXPECT_GT(std::stoll(*Find(values, "CreationDate")), int64_t(info.st_mtime) - 3600);
}

TEST_F(SongDetailsTest, Mp3ShowsItsRatesAndLength)
{
    const uint32_t frames = 40;
    const std::string path = m_sandbox.File("track.mp3", Mp3Bytes(frames));
    TagMp3(path, {"Déjà vu", "Beyoncé", "B'Day", "R&B", 2006});

    ApiRef<DetailsApi> details = DetailsOf(path);
    ASSERT_TRUE(details);
    EXPECT_EQ(ValueOf(*details, "SongTitle"), "Déjà vu");
    EXPECT_EQ(ValueOf(*details, "ArtistName"), "Beyoncé");
    EXPECT_EQ(ValueOf(*details, "SourceBitRate"), "128 kbps");
    EXPECT_EQ(ValueOf(*details, "SourceSampleRate"), "44.1 kHz");
    const std::optional<std::string> duration = ValueOf(*details, "Duration");
    ASSERT_TRUE(duration);
    const double expectedMs = 1000.0 * frames * c_Mp3FrameSamples / 44100;
    EXPECT_NEAR(std::stod(*duration), expectedMs, 30.0);
    EXPECT_EQ(ValueOf(*details, "ContentType"), "audio/mpeg");
}

TEST_F(SongDetailsTest, FlacShowsItsCommentsAndLength)
{
    const std::string path = m_sandbox.File("take.flac", FlacBytes(48000, 2, 24, 96000));
    TagFlac(path, {"Take Five", "Quartet", "Time Out", "Jazz", 1959});

    const auto values = ValuesOf(path);
    EXPECT_EQ(Find(values, "SongTitle"), "Take Five");
    EXPECT_EQ(Find(values, "AlbumYear"), "1959");
    EXPECT_EQ(Find(values, "Duration"), "2000");
    EXPECT_EQ(Find(values, "SourceSampleRate"), "48 kHz");
    EXPECT_EQ(Find(values, "ContentType"), "audio/flac");
}

TEST_F(SongDetailsTest, MissingTagsAreAbsentNotEmpty)
{
    const std::string path = m_sandbox.File("sparse.mp3", Mp3Bytes(10));
    TagMp3(path, {"Only a title", "   ", "", "", 0});

    ApiRef<DetailsApi> details = DetailsOf(path);
    ASSERT_TRUE(details);
    const auto values = AllValues(*details);
    EXPECT_EQ(Find(values, "SongTitle"), "Only a title");
    for (const char* name : {"ArtistName", "AlbumTitle", "AlbumYear", "MusicGenre"}) {
        EXPECT_FALSE(Find(values, name)) << name;
        LumoSetLastError(0);
        EXPECT_EQ(details->GetValue(name), nullptr) << name;
        EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND) << name;
    }
    LumoSetLastError(0);
    EXPECT_EQ(details->GetValue("NoSuchProperty"), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
    EXPECT_EQ(details->GetValue(nullptr), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SongDetailsTest, DamagedFilesGiveWhatCanBeKnown)
{
    std::string tagged;
    {
        const std::string whole = m_sandbox.File("whole.mp3", Mp3Bytes(30));
        TagMp3(whole, {"Cut short", "Someone", "", "", 0});
        std::ifstream in(whole, std::ios::binary);
        tagged.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::mt19937 random(11);
    std::string noise(300000, '\0');
    for (char& byte : noise)
        byte = char(random());
    // An ID3 header that claims a tag of about 256 MB in a file of a few bytes.
    const std::string hugeClaim = std::string("ID3\x04\x00\x00\x7F\x7F\x7F\x7F", 10) + "TIT2";
    std::string lyingWav = WavBytes(44100, 2, 16, 1000);
    lyingWav.replace(40, 4, "\xFF\xFF\xFF\x7F"); // data chunk far longer than the file

    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"truncated in tag.mp3", tagged.substr(0, 40)},
        {"truncated in audio.mp3", tagged.substr(0, tagged.size() / 2)},
        {"noise.mp3", noise},
        {"noise.flac", noise},
        {"noise.m4a", noise},
        {"noise.ogg", noise},
        {"noise.wma", noise},
        {"noise.opus", noise},
        {"empty.mp3", ""},
        {"empty.flac", ""},
        {"empty.wav", ""},
        {"huge claim.mp3", hugeClaim},
        {"lying.wav", lyingWav},
        {"half.flac", FlacBytes(44100, 2, 16, 1000).substr(0, 20)},
        {"m4a head only.m4a", M4aHead()},
    };
    for (const auto& item : cases) {
        const std::string path = m_sandbox.File(item.name, item.bytes);
        const auto values = ValuesOf(path);
        EXPECT_EQ(Find(values, "SourceSize"), std::to_string(item.bytes.size())) << item.name;
        EXPECT_EQ(Find(values, "FileName"), item.name);
        ASSERT_TRUE(Find(values, "ContentType")) << item.name;
        EXPECT_EQ(Find(values, "ContentType")->rfind("audio/", 0), 0u) << item.name;
        for (const auto& [name, value] : values)
            EXPECT_TRUE(LumoMusic::IsValidUtf8(value) && !value.empty()) << item.name << " " << name;
    }
    // What was read before the cut still shows.
    EXPECT_EQ(Find(ValuesOf(m_sandbox.Path("truncated in audio.mp3")), "SongTitle"), "Cut short");
}

namespace {

std::string Atom(const std::string& name, const std::string& payload)
{
    std::string out;
    PutBe(out, 8 + payload.size(), 4);
    return out + name + payload;
}

// An M4A file whose only tag is its title; bare: "meta" without version and flags.
std::string TitledM4a(const std::string& title, bool bare)
{
    const std::string ilst = Atom("ilst", Atom("\251nam", Atom("data", std::string("\0\0\0\1\0\0\0\0", 8) + title)));
    const std::string hdlr = Atom("hdlr", std::string(8, '\0') + "mdir" + std::string(13, '\0'));
    const std::string meta = Atom("meta", (bare ? "" : std::string(4, '\0')) + hdlr + ilst);
    return M4aHead() + Atom("moov", Atom("mvhd", std::string(100, '\0')) + Atom("udta", meta));
}

// levels atoms, each the only child of the one before, named in turn by names; each claims the
// rest of the file, with 64-bit sizes when wide. A "meta" is bare when its child is "ilst".
std::string NestedAtoms(size_t levels, const std::vector<std::string>& names, bool wide = false)
{
    const size_t header = wide ? 16 : 8;
    std::string out = M4aHead();
    for (size_t level = 0; level < levels; ++level) {
        const uint64_t size = (levels - level) * header;
        if (wide) {
            PutBe(out, 1, 4);
            out += names[level % names.size()];
            PutBe(out, size, 8);
        } else {
            PutBe(out, size, 4);
            out += names[level % names.size()];
        }
    }
    return out;
}

} // namespace

// TagLib reads MP4 atoms by recursion: a few hundred kilobytes of nesting overflowed the stack.
TEST_F(SongDetailsTest, DeeplyNestedMp4AtomsLeaveTheSongWithoutTags)
{
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"moov.m4a", NestedAtoms(60000, {"moov"})},
        {"track.m4a", NestedAtoms(60000, {"moov", "trak", "mdia", "minf", "stbl"})},
        {"bare meta.m4a", NestedAtoms(60000, {"meta", "ilst"})},
        {"wide.m4a", NestedAtoms(40000, {"moov", "udta"}, true)},
        {"named mp3.mp3", NestedAtoms(60000, {"moov"})},
    };
    for (const auto& item : cases) {
        const std::string path = m_sandbox.File(item.name, item.bytes);
        const auto values = ValuesOf(path);
        EXPECT_EQ(Find(values, "ContentType").value_or("").rfind("audio/", 0), 0u) << item.name;
        EXPECT_EQ(Find(values, "SourceSize"), std::to_string(item.bytes.size())) << item.name;
        EXPECT_EQ(Find(values, "SongTitle"), std::nullopt) << item.name;
    }

    // Real files, with "meta" as MP4 and as QuickTime write it, keep their tags.
    for (bool bare : {false, true}) {
        const std::string path = m_sandbox.File(bare ? "bare.m4a" : "full.m4a", TitledM4a("Blue in Green", bare));
        EXPECT_EQ(Find(ValuesOf(path), "SongTitle"), "Blue in Green") << path;
    }
}

TEST_F(SongDetailsTest, ADamagedSongIsNotSearchedToItsEnd)
{
    constexpr uint64_t c_SizeBytes = 32u << 20;
    std::mt19937 random(5);
    std::string noise(1 << 20, '\0');
    for (char& byte : noise)
        byte = char(random());
    std::string noisy;
    for (uint64_t at = 0; at < c_SizeBytes; at += noise.size())
        noisy += noise;
    const std::string zeros = m_sandbox.File("zeros.mp3", "");
    std::filesystem::resize_file(zeros, c_SizeBytes);
    for (const std::string& path : {zeros, m_sandbox.File("noise.mp3", noisy), m_sandbox.File("noise.ogg", noisy)}) {
        const std::optional<uint64_t> before = BytesReadByThisThread();
        if (!before)
            GTEST_SKIP() << "no count of bytes read here";
        const auto values = ValuesOf(path);
        EXPECT_EQ(Find(values, "SourceSize"), std::to_string(c_SizeBytes));
        EXPECT_LT(*BytesReadByThisThread() - *before, c_SizeBytes / 8) << path;
    }
    // A real song behind a long tag still shows everything.
    const std::string tagged = m_sandbox.File("long tag.mp3", Mp3Bytes(40));
    TagMp3(tagged, {std::string(3 << 20, 'x'), "Someone", "", "", 0});
    const auto values = ValuesOf(tagged);
    EXPECT_EQ(Find(values, "ArtistName"), "Someone");
    EXPECT_TRUE(Find(values, "Duration"));
}

TEST_F(SongDetailsTest, VanishedSongIsBroken)
{
    const std::string path = m_sandbox.File("gone.mp3", Mp3Bytes(10));
    ApiRef<DetailsApi> earlier = DetailsOf(path);
    ASSERT_TRUE(earlier);
    ASSERT_EQ(unlink(path.c_str()), 0);

    // Asked before the file went, read after: the details reflect the file as it is now.
    ApiRef<DetailsApi> never = DetailsOf(m_sandbox.Path("never-there.flac"));
    for (DetailsApi* details : {earlier.Get(), never.Get()}) {
        ASSERT_NE(details, nullptr);
        const auto values = AllValues(*details);
        EXPECT_EQ(Find(values, "ContentType"), "x-application/lumo-broken");
        EXPECT_EQ(Find(values, "SourceFormat"), "x-application/lumo-broken");
        EXPECT_TRUE(Find(values, "FileName"));
        EXPECT_TRUE(Find(values, "SourceLocation"));
        EXPECT_FALSE(Find(values, "SourceSize"));
        EXPECT_FALSE(Find(values, "Duration"));
    }
}

TEST_F(SongDetailsTest, NamesAndTagsInOtherEncodingsReadAsText)
{
    // A name from an old Latin-1 system: "Café.mp3" with é as the single byte 0xE9.
    const std::string latin1Name = "Caf\xE9.mp3";
    const std::string path = m_sandbox.File(latin1Name, Mp3Bytes(10));
    TagMp3(path, {"Café au lait", "", "", "", 0});

    ApiRef<UrlApi> url = FileUrl(path);
    EXPECT_NE(TextOf(url.Get()).find("Caf%E9.mp3"), std::string::npos) << "the name's bytes stay in the URL";
    EXPECT_EQ(ContentTypeOf(url.Get()), "audio/mpeg");
    ApiRef<DetailsApi> details = DetailsOf(url.Get());
    ASSERT_TRUE(details);
    const auto values = AllValues(*details);
    EXPECT_EQ(Find(values, "FileName"), "Café.mp3");
    EXPECT_EQ(Find(values, "SourceLocation"), m_sandbox.Path("Café.mp3"));
    EXPECT_EQ(Find(values, "SongTitle"), "Café au lait") << "the file is found by its bytes";

    // Tags too: an ID3v1 tag is Latin-1 by definition.
    const std::string v1 = m_sandbox.File("v1.mp3", Mp3Bytes(10));
    {
        TagLib::MPEG::File file(v1.c_str(), false);
        file.ID3v1Tag(true)->setTitle(TagLib::String("Gar\xE7on", TagLib::String::Latin1));
        ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v1, TagLib::File::StripOthers));
    }
    EXPECT_EQ(ValueOf(*DetailsOf(v1), "SongTitle"), "Garçon");
}

TEST_F(SongDetailsTest, HugeTagsAreCutToReadableText)
{
    const std::string path = m_sandbox.File("long.mp3", Mp3Bytes(10));
    TagMp3(path, {Repeat("ñandú ", 20000), "Artist\n\tName\x01", "", "", 0});

    ApiRef<DetailsApi> details = DetailsOf(path);
    ASSERT_TRUE(details);
    const std::optional<std::string> title = ValueOf(*details, "SongTitle");
    ASSERT_TRUE(title);
    EXPECT_LE(title->size(), LumoMusic::c_MaxValueBytes);
    EXPECT_GT(title->size(), LumoMusic::c_MaxValueBytes / 2);
    EXPECT_TRUE(LumoMusic::IsValidUtf8(*title));
    EXPECT_EQ(title->rfind("ñandú ñandú", 0), 0u);
    EXPECT_EQ(ValueOf(*details, "ArtistName"), "Artist  Name");
}

TEST_F(SongDetailsTest, ContentWinsOverAWrongExtensionWhenReading)
{
    // A FLAC file saved as ".mp3": the host calls it MP3 by its name, but its tags are FLAC's.
    const std::string path = m_sandbox.File("really-flac.mp3", FlacBytes(44100, 2, 16, 44100));
    TagFlac(path, {"Hidden FLAC", "", "", "", 0});
    ApiRef<DetailsApi> details = DetailsOf(path);
    ASSERT_TRUE(details);
    EXPECT_EQ(ValueOf(*details, "SongTitle"), "Hidden FLAC");
    EXPECT_EQ(ValueOf(*details, "Duration"), "1000");
}

TEST_F(SongDetailsTest, SongsOnTheMusicPageAreTheSameFiles)
{
    const std::string path = m_sandbox.File("page.wav", WavBytes(48000, 1, 16, 24000));
    TagWav(path, {"On the page", "", "", "", 0});
    ApiRef<UrlApi> prefixed = FileUrl(path, "lumomusic-file");
    ApiRef<DetailsApi> details = DetailsOf(prefixed.Get());
    ASSERT_TRUE(details);
    EXPECT_EQ(ValueOf(*details, "SongTitle"), "On the page");
    EXPECT_EQ(ValueOf(*details, "Duration"), "500");
    EXPECT_EQ(ValueOf(*details, "SourceSampleRate"), "48 kHz");
    EXPECT_EQ(ValueOf(*details, "SourceLocation"), path);
}

TEST_F(SongDetailsTest, StreamEntriesShowWhereTheyLead)
{
    ApiRef<DetailsApi> details = DetailsOf(UrlOfText("http://radio.example/channels/live").Get());
    ASSERT_TRUE(details);
    const auto values = AllValues(*details);
    EXPECT_EQ(Find(values, "ContentType"), "audio/x-lumomusic-stream");
    EXPECT_EQ(Find(values, "FileName"), "live");
    EXPECT_EQ(Find(values, "SourceLocation"), "http://radio.example/channels/live");
    EXPECT_FALSE(Find(values, "SourceSize"));
}

namespace {

// Pictures stored in songs: the cover the server sends as album art.
class SongCoverTest : public MusicHostTest {
protected:
    void AddPicture(const std::string& path, TagLib::ID3v2::AttachedPictureFrame::Type type, const std::string& bytes,
        const char* mime = "image/jpeg")
    {
        TagLib::MPEG::File file(path.c_str(), false);
        ASSERT_TRUE(file.isValid());
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setType(type);
        frame->setMimeType(mime);
        frame->setPicture(TagLib::ByteVector(bytes.data(), unsigned(bytes.size())));
        file.ID3v2Tag(true)->addFrame(frame);
        ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers));
    }

    std::string PictureOf(const std::string& path, const char* type)
    {
        ApiRef<ImageApi> image = ItemApi<ImageApi>(FileUrl(path).Get());
        if (!image)
            return "none:" + std::to_string(LumoGetLastError());
        ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(image->GetData(type));
        if (!data)
            return "refused:" + std::to_string(LumoGetLastError());
        return std::string(reinterpret_cast<const char*>(data->GetBytes()), data->GetSize());
    }
};

TEST_F(SongCoverTest, TheFrontCoverIsChosenAndComesAsStored)
{
    const std::string jpegBack = std::string("\xFF\xD8\xFF\xE0", 4) + "back";
    const std::string jpegFront = std::string("\xFF\xD8\xFF\xE0", 4) + "front";
    const std::string path = m_sandbox.File("song.mp3", Mp3Bytes(20));
    AddPicture(path, TagLib::ID3v2::AttachedPictureFrame::BackCover, jpegBack);
    AddPicture(path, TagLib::ID3v2::AttachedPictureFrame::FrontCover, jpegFront);
    EXPECT_EQ(PictureOf(path, "image/jpeg"), jpegFront);
    // No codec here: another type is refused, not converted.
    EXPECT_EQ(PictureOf(path, "image/png"), "refused:" + std::to_string(ERROR_UNSUPPORTED_TYPE));
}

TEST_F(SongCoverTest, ThePicturesOwnBytesNameItsType)
{
    // Taggers that leave the type out still store a PNG.
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "body";
    const std::string path = m_sandbox.File("png.mp3", Mp3Bytes(20));
    AddPicture(path, TagLib::ID3v2::AttachedPictureFrame::Other, png, "");
    EXPECT_EQ(PictureOf(path, "image/png"), png);
}

TEST_F(SongCoverTest, SongsWithoutAPictureAndDamagedTagsHaveNone)
{
    const std::string plain = m_sandbox.File("plain.mp3", Mp3Bytes(20));
    EXPECT_EQ(PictureOf(plain, "image/jpeg"), "none:" + std::to_string(ERROR_NOT_FOUND));
    // An ID3v2 header promising more than the file holds.
    const std::string damaged
        = m_sandbox.File("damaged.mp3", std::string("ID3\x03\x00\x00\x7f\x7f\x7f\x7f", 10) + "APIC" + Mp3Bytes(2));
    EXPECT_EQ(PictureOf(damaged, "image/jpeg"), "none:" + std::to_string(ERROR_NOT_FOUND));
    // Atoms nested past any real file would overflow the stack inside the tag reader.
    const std::string nested = m_sandbox.File("nested.m4a", NestedAtoms(60000, {"moov", "udta", "meta", "ilst"}));
    EXPECT_EQ(PictureOf(nested, "image/jpeg"), "none:" + std::to_string(ERROR_NOT_FOUND));
}

TEST_F(SongCoverTest, DetailsTellWhetherTheSongStoresAPicture)
{
    // What the server asks instead of opening each song a second time: it must agree with the
    // song's picture.
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "front";
    const std::string with = m_sandbox.File("with.mp3", Mp3Bytes(20));
    AddPicture(with, TagLib::ID3v2::AttachedPictureFrame::FrontCover, jpeg);
    const std::string empty = m_sandbox.File("empty.mp3", Mp3Bytes(20));
    AddPicture(empty, TagLib::ID3v2::AttachedPictureFrame::FrontCover, "");
    const std::string plain = m_sandbox.File("plain.mp3", Mp3Bytes(20));
    const std::string damaged
        = m_sandbox.File("damaged.mp3", std::string("ID3\x03\x00\x00\x7f\x7f\x7f\x7f", 10) + "APIC" + Mp3Bytes(2));
    const std::string nested = m_sandbox.File("nested.m4a", NestedAtoms(60000, {"moov", "udta", "meta", "ilst"}));
    for (const std::string& path : {with, empty, plain, damaged, nested}) {
        ApiRef<DetailsApi> details = DetailsOf(path);
        ASSERT_TRUE(details) << path;
        const bool stored = PictureOf(path, "image/jpeg") == jpeg;
        EXPECT_EQ(ValueOf(*details, "EmbeddedCover"), stored ? "1" : "0") << path;
        EXPECT_EQ(stored, path == with) << path;
    }
}

TEST_F(SongCoverTest, HeadersAcrossTheReadWindowsReadWhole)
{
    // Small reads come from pieces of the file read at once: a tag ending anywhere near the
    // edge of one leaves the frame headers after it cut in two.
    const uint32_t frames = 40;
    const double expectedMs = 1000.0 * frames * c_Mp3FrameSamples / 44100;
    for (size_t pictureBytes = 16200; pictureBytes < 16500; pictureBytes += 23) {
        const std::string picture = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(pictureBytes, 'x');
        const std::string path = m_sandbox.File("edge" + std::to_string(pictureBytes) + ".mp3", Mp3Bytes(frames));
        TagMp3(path, {"Edge", "Artist", "Album", "Genre", 2001});
        AddPicture(path, TagLib::ID3v2::AttachedPictureFrame::FrontCover, picture);
        ApiRef<DetailsApi> details = DetailsOf(path);
        ASSERT_TRUE(details) << path;
        EXPECT_EQ(ValueOf(*details, "SongTitle"), "Edge") << pictureBytes;
        EXPECT_EQ(ValueOf(*details, "SourceBitRate"), "128 kbps") << pictureBytes;
        const std::optional<std::string> duration = ValueOf(*details, "Duration");
        ASSERT_TRUE(duration) << pictureBytes;
        EXPECT_NEAR(std::stod(*duration), expectedMs, 30.0) << pictureBytes;
        EXPECT_EQ(ValueOf(*details, "EmbeddedCover"), "1") << pictureBytes;
        EXPECT_EQ(PictureOf(path, "image/jpeg"), picture) << pictureBytes;
    }
}

TEST_F(SongDetailsTest, TrackNumberAndChannelsAreShown)
{
    const std::string path = m_sandbox.File("track.wav", WavBytes(48000, 1, 16, 4800));
    {
        TagLib::RIFF::WAV::File file(path.c_str(), false);
        ASSERT_TRUE(file.isValid());
        file.tag()->setTrack(12);
        ASSERT_TRUE(file.save());
    }
    const auto values = ValuesOf(path);
    EXPECT_EQ(Find(values, "TrackNumber"), "12");
    EXPECT_EQ(Find(values, "AudioChannels"), "1");
}

} // namespace

namespace {

// Details straight from the music module, past the host's cache of details by URL text, so that
// several URL objects of one file are each asked.
class ListedSongTest : public SongDetailsTest {
protected:
    std::map<std::string, std::string> ModuleValuesOf(UrlApi* url)
    {
        ApiRef<MediaApi> media = m_host.Modules().ModuleById("LumoMusic").GetApi<MediaApi>();
        ApiRef<DetailsApi> details
            = ApiRef<DetailsApi>::Adopt(static_cast<DetailsApi*>(media->GetApi(DetailsApi::TypeId, url)));
        EXPECT_TRUE(details) << LumoGetLastError();
        return details ? AllValues(*details) : std::map<std::string, std::string>();
    }

    static ListedFile RecordOfSize(uint64_t sizeBytes)
    {
        ListedFile record{};
        record.size = sizeof record;
        record.flags = c_ListedReadable | c_ListedBirthTime;
        record.fileType = c_ListedRegular;
        record.sizeBytes = sizeBytes;
        record.modifiedNs = 1500000000999999999;
        record.changedNs = 1500000000999999999;
        record.createdNs = 1400000000000000000;
        return record;
    }
};

} // namespace

TEST_F(ListedSongTest, AListingsRecordSparesTheLookAndGivesTheSameDetails)
{
    const std::string path = m_sandbox.File("Album/01 two words \xE9.mp3", Mp3Bytes(20));
    TagMp3(path, {"Listed", "Someone", "Records", "Pop", 2001});

    // Without a record (an older lister, or a URL made by hand) the module looks at the file.
    const auto looked = ModuleValuesOf(FileUrl(path).Get());
    struct stat info { };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(Find(looked, "SourceSize"), std::to_string(info.st_size));
    EXPECT_EQ(Find(looked, "LastChangeDate"), std::to_string(info.st_mtime));

    // The folder listing's URL gives the same details from its record.
    Container album(FileUrl(m_sandbox.Path("Album")));
    ApiRef<UrlApi> listed = album.GetFirst();
    ASSERT_TRUE(listed);
    ListedFile record{};
    record.size = sizeof record;
    ASSERT_NE(ListedFiles::Instance().Read(listed.Get(), &record, 0), 0) << "the folders module attached none";
    EXPECT_EQ(ModuleValuesOf(listed.Get()), looked);
}

TEST_F(ListedSongTest, ARecordIsTakenAsTheListingSawTheFileAndATooSmallOneIsNot)
{
    const std::string song = m_sandbox.File("a.mp3", Mp3Bytes(10));
    ApiRef<UrlApi> url = FileUrl(song);
    const ListedFile record = RecordOfSize(777);
    ASSERT_NE(ListedFiles::Instance().Attach(url.Get(), &record), 0);
    // The file changed after the listing: the details are what the listing saw, as the rule
    // for records says; tags and length are read from the file itself.
    const auto values = ModuleValuesOf(url.Get());
    EXPECT_EQ(Find(values, "SourceSize"), "777");
    EXPECT_EQ(Find(values, "LastChangeDate"), "1500000000");
    EXPECT_EQ(Find(values, "CreationDate"), "1400000000");
    EXPECT_EQ(Find(values, "ContentType"), "audio/mpeg");

    // A record of an older version, without the fields this module uses: it looks for itself.
    const std::string other = m_sandbox.File("b.mp3", Mp3Bytes(10));
    ApiRef<UrlApi> otherUrl = FileUrl(other);
    ListedFile older = RecordOfSize(777);
    older.size = offsetof(ListedFile, modifiedNs);
    ASSERT_NE(ListedFiles::Instance().Attach(otherUrl.Get(), &older), 0);
    struct stat info { };
    ASSERT_EQ(stat(other.c_str(), &info), 0);
    EXPECT_EQ(Find(ModuleValuesOf(otherUrl.Get()), "SourceSize"), std::to_string(info.st_size));

    // A record that says the name is a folder now is believed as a stat would be: broken song.
    const std::string third = m_sandbox.File("c.mp3", Mp3Bytes(10));
    ApiRef<UrlApi> thirdUrl = FileUrl(third);
    ListedFile folder = RecordOfSize(4096);
    folder.fileType = c_ListedFolder;
    ASSERT_NE(ListedFiles::Instance().Attach(thirdUrl.Get(), &folder), 0);
    EXPECT_EQ(Find(ModuleValuesOf(thirdUrl.Get()), "ContentType"), "x-application/lumo-broken");
}
