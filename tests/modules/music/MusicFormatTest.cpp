// How the music module places items: by name without reading them, by their first bytes when
// the name says nothing, and never a folder or a file of another format.
#include <dlfcn.h>
#include <random>
#include <sys/stat.h>

#include "AudioFormats.h"
#include "MusicTestSupport.h"
#include "host/ListedFiles.h"

using namespace LumoApi;
using namespace MusicTest;

namespace {

class MusicFormatTest : public MusicHostTest {
protected:
    // The type the music module itself gives url, "" for none: the host alone would also place
    // many names through the system's file types.
    std::string ModuleTypeOf(UrlApi* url)
    {
        ApiRef<FormatApi> formats = m_host.Modules().ModuleById("LumoMusic").GetApi<FormatApi>();
        const int32_t index = formats ? formats->Identify(url, nullptr) : -1;
        FormatInfo info{};
        return index >= 0 && formats->GetFormat(index, &info) ? info.contentType : "";
    }
};

std::string RandomBytes(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = char(random());
    // Never a chance MPEG frame sync at the start.
    bytes[0] = 'x';
    return bytes;
}

} // namespace

TEST_F(MusicFormatTest, NamesDecideWithoutTheFile)
{
    // None of these files exists: a name that settles the type needs no disk access.
    const struct {
        const char* name;
        const char* type;
    } cases[] = {
        {"a.mp3", "audio/mpeg"},
        {"b.MP3", "audio/mpeg"},
        {"c.flac", "audio/flac"},
        {"d.ogg", "audio/x-vorbis+ogg"},
        {"e.opus", "audio/x-opus+ogg"},
        {"f.m4a", "audio/mp4"},
        {"g.m4b", "audio/mp4"},
        {"h.aac", "audio/aac"},
        {"i.wav", "audio/x-wav"},
        {"j.aiff", "audio/x-aiff"},
        {"k.aif", "audio/x-aiff"},
        {"l.wma", "audio/x-ms-wma"},
        {"m.m3u", "x-container/lumomusic-playlist"},
        {"n.m3u8", "x-container/lumomusic-playlist"},
        {"o.PLS", "x-container/lumomusic-playlist"},
    };
    for (const auto& item : cases) {
        const std::string path = m_sandbox.Path(std::string("gone/") + item.name);
        EXPECT_EQ(ModuleTypeOf(FileUrl(path).Get()), item.type) << item.name;
        EXPECT_EQ(ModuleTypeOf(FileUrl(path, "lumomusic-file").Get()), item.type) << "prefixed " << item.name;
        EXPECT_EQ(ContentTypeOf(path), item.type) << "the host's decision " << item.name;
    }
}

TEST_F(MusicFormatTest, ContentDecidesWhenTheNameSaysNothing)
{
    std::string taggedFlac = FlacBytes(44100, 2, 16, 44100);
    {
        // FLAC files with an ID3v2 tag in front exist; the tag must not make them MP3s.
        std::string id3("ID3\x03\x00\x00\x00\x00\x00\x0A", 10);
        id3.append(10, '\0');
        taggedFlac = id3 + taggedFlac;
    }
    const struct {
        const char* name;
        std::string bytes;
        const char* type;
    } cases[] = {
        {"mp3 frames", Mp3Bytes(4), "audio/mpeg"},
        {"id3 and mp3", std::string("ID3\x04\x00\x00\x00\x00\x00\x00", 10) + Mp3Bytes(2), "audio/mpeg"},
        {"flac", FlacBytes(44100, 2, 16, 1000), "audio/flac"},
        {"flac behind id3", taggedFlac, "audio/flac"},
        {"vorbis", OggHead(std::string("\x01vorbis", 7)), "audio/x-vorbis+ogg"},
        {"opus", OggHead("OpusHead"), "audio/x-opus+ogg"},
        {"m4a", M4aHead(), "audio/mp4"},
        {"wav", WavBytes(8000, 1, 8, 100), "audio/x-wav"},
        {"aiff", AiffHead(), "audio/x-aiff"},
        {"wma", AsfHead(), "audio/x-ms-wma"},
    };
    for (const auto& item : cases) {
        const std::string bare = m_sandbox.File(std::string("bare/") + item.name, item.bytes);
        const std::string odd = m_sandbox.File(std::string("odd/") + item.name + ".zzqx", item.bytes);
        EXPECT_EQ(ContentTypeOf(bare), item.type) << item.name << " without an extension";
        EXPECT_EQ(ContentTypeOf(odd), item.type) << item.name << " with an unknown extension";
        EXPECT_EQ(ModuleTypeOf(FileUrl(bare, "lumomusic-file").Get()), item.type) << "prefixed " << item.name;
    }
}

TEST_F(MusicFormatTest, WhatIsNotASongIsNotClaimed)
{
    // One MPEG frame header followed by noise is chance, not an MP3.
    std::string lonelyHeader("\xFF\xFB\x90\x00", 4);
    lonelyHeader += RandomBytes(2000, 7);
    const std::string cases[] = {
        m_sandbox.File("noise", RandomBytes(4096, 1)),
        m_sandbox.File("lonely-header", lonelyHeader),
        m_sandbox.File("empty", ""),
        m_sandbox.File("short", "ID"),
        m_sandbox.File("video", std::string("\x00\x00\x00\x18", 4) + "ftypisom" + std::string(12, '\0')),
        m_sandbox.File("theora", OggHead("\x80theora")),
        m_sandbox.Folder("Album.zzqx"),
        m_sandbox.Folder("folder-without-extension"),
    };
    for (const std::string& path : cases) {
        EXPECT_EQ(ModuleTypeOf(FileUrl(path).Get()), "") << path;
        const std::string type = ContentTypeOf(path);
        EXPECT_TRUE(type.rfind("audio/", 0) != 0 && type != "x-container/lumomusic-playlist") << path << ": " << type;
    }
}

TEST_F(MusicFormatTest, AListingsRecordSettlesWhatIsNoFileAsSniffingWould)
{
    const std::string fifo = m_sandbox.Path("pipe-without-extension");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string cases[] = {
        m_sandbox.Folder("folder-without-extension"),
        m_sandbox.Folder("Album.zzqx"),
        fifo,
        m_sandbox.File("song-without-extension", Mp3Bytes(4)),
        m_sandbox.File("noise-without-extension", RandomBytes(4096, 3)),
    };
    for (const std::string& path : cases) {
        struct stat info { };
        ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
        ListedFile record{};
        record.size = sizeof record;
        record.fileType = S_ISREG(info.st_mode) ? c_ListedRegular
            : S_ISDIR(info.st_mode)             ? c_ListedFolder
                                                : c_ListedOther;
        ApiRef<UrlApi> listed = FileUrl(path);
        ASSERT_NE(ListedFiles::Instance().Attach(listed.Get(), &record), 0);
        EXPECT_EQ(ModuleTypeOf(listed.Get()), ModuleTypeOf(FileUrl(path).Get())) << path;
    }

    // The record is what decides, as for any listed fact: a song the listing saw as a folder
    // is not opened to be sniffed.
    ListedFile folder{};
    folder.size = sizeof folder;
    folder.fileType = c_ListedFolder;
    ApiRef<UrlApi> seenAsFolder = FileUrl(m_sandbox.Path("song-without-extension"));
    ASSERT_NE(ListedFiles::Instance().Attach(seenAsFolder.Get(), &folder), 0);
    EXPECT_EQ(ModuleTypeOf(seenAsFolder.Get()), "");
    EXPECT_EQ(ModuleTypeOf(FileUrl(m_sandbox.Path("song-without-extension")).Get()), "audio/mpeg");
}

TEST_F(MusicFormatTest, AnotherFormatsExtensionSettlesTheType)
{
    // An MP3 saved as "notes.txt" is a text file to everyone who looks at its name; sniffing
    // every photo and document would cost a read per file when listing a large tree.
    const std::string path = m_sandbox.File("notes.txt", Mp3Bytes(4));
    EXPECT_EQ(ModuleTypeOf(FileUrl(path).Get()), "");
    EXPECT_NE(ContentTypeOf(path), "audio/mpeg");
}

TEST_F(MusicFormatTest, AnItemsApiIsMadeForWhatItsUrlNamesNotForTheLastItemIdentified)
{
    // The host identifies an item, then asks for its API; a URL object freed in between may be
    // made again at the same address (the allocator's usual way) for another file.
    const std::string mp3 = m_sandbox.File("a.mp3", Mp3Bytes(4));
    const std::string flac = m_sandbox.File("b.flac", FlacBytes(44100, 2, 16, 4410));
    ApiRef<FormatApi> formats = m_host.Modules().ModuleById("LumoMusic").GetApi<FormatApi>();
    ApiRef<MediaApi> media = m_host.Modules().ModuleById("LumoMusic").GetApi<MediaApi>();
    ASSERT_GE(formats->Identify(FileUrl(mp3).Get(), nullptr), 0);
    ApiRef<UrlApi> url = FileUrl(flac);
    ApiRef<DetailsApi> details
        = ApiRef<DetailsApi>::Adopt(static_cast<DetailsApi*>(media->GetApi("DetailsApi", url.Get())));
    ASSERT_TRUE(details);
    EXPECT_STREQ(details->GetValue("ContentType"), "audio/flac");
    EXPECT_STREQ(details->GetValue("FileName"), "b.flac");
}

TEST_F(MusicFormatTest, NetworkEntriesAreSongsOrStreams)
{
    EXPECT_EQ(ContentTypeOf(UrlOfText("http://radio.example/live.mp3").Get()), "audio/mpeg");
    EXPECT_EQ(ContentTypeOf(UrlOfText("https://radio.example/listen").Get()), "audio/x-lumomusic-stream");
    EXPECT_EQ(ContentTypeOf(UrlOfText("http://radio.example/tune-in.pls").Get()), "audio/x-lumomusic-stream");
    EXPECT_NE(ContentTypeOf(UrlOfText("http://example.com/photo.jpg").Get()), "audio/x-lumomusic-stream");
}

TEST_F(MusicFormatTest, MediaHandlerCoversEveryFormatItNames)
{
    ApiRef<MediaApi> media = m_host.Modules().ModuleById("LumoMusic").GetApi<MediaApi>();
    ApiRef<FormatApi> formats = m_host.Modules().ModuleById("LumoMusic").GetApi<FormatApi>();
    ASSERT_TRUE(media && formats);
    const std::string handled = std::string(",") + media->GetContentTypes() + ",";
    ASSERT_GT(formats->GetFormatCount(), LumoMusic::c_AudioFormatCount);
    for (int32_t index = 0; index < formats->GetFormatCount(); ++index) {
        FormatInfo info{};
        ASSERT_TRUE(formats->GetFormat(index, &info));
        EXPECT_NE(handled.find(std::string(",") + info.contentType + ","), std::string::npos) << info.contentType;
    }
    FormatInfo info{};
    LumoSetLastError(0);
    EXPECT_EQ(formats->GetFormat(formats->GetFormatCount(), &info), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_INDEX);
    EXPECT_EQ(media->GetSecondaryTypes(), nullptr);
}

TEST_F(MusicFormatTest, EntryPointAnswersItsApisOnly)
{
    void* library = dlopen(m_folder.MusicPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr) << "the host loaded the module";
    auto entry = reinterpret_cast<GetApiFunction>(dlsym(library, c_GetApiSymbol));
    ASSERT_NE(entry, nullptr);
    for (const char* type : {"ModuleApi", "FormatApi", "MediaApi", "MediaClassApi"}) {
        ApiRef<Api> api = ApiRef<Api>::Adopt(entry(type));
        EXPECT_TRUE(api) << type << ": " << LumoGetLastError();
    }
    for (const char* type : {"ModuleGroupApi", "DiskCacheApi", "FileViewApi", "ImageApi", ""}) {
        LumoSetLastError(0);
        EXPECT_EQ(entry(type), nullptr) << type;
        EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER) << type;
    }
    dlclose(library);

    const Module& module = m_host.Modules().ModuleById("LumoMusic");
    EXPECT_EQ(module.DisplayName(), "Music");
    EXPECT_TRUE(module.GetApi<MediaClassApi>());
}
