// A real host with the music module, a sandbox of songs and playlists made per test, and
// writers of tiny but valid media files, tagged with TagLib itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <lumo/Errors.h>
#include <lumo/Lumo.h>

#include "host/HostInternals.h"
#include "host/UrlBuilder.h"
#include "host/UrlImpl.h"
#include "support/ModuleFolder.h"

namespace MusicTest {

// A program folder with the disk cache, the folders module when it is built, and the music
// module, copied from build/bin.
class MusicHostFolder : public ModuleFolder {
public:
    MusicHostFolder()
    {
        AddProgramModule("lumo-cache");
#ifdef LUMO_WITH_FOLDERS_MODULE
        AddProgramModule("lumo-folders");
#endif
        m_musicPath = AddProgramModule("lumo-music");
    }
    const std::string& MusicPath() const
    {
        return m_musicPath;
    }

private:
    std::string m_musicPath;
};

// A temporary folder tree, removed afterwards. Paths are byte strings: names need not be UTF-8.
class SandBox {
public:
    SandBox()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-music-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_root = pattern;
    }
    ~SandBox()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    SandBox(const SandBox&) = delete;
    SandBox& operator=(const SandBox&) = delete;

    std::string Path(const std::string& relative = std::string()) const
    {
        return relative.empty() ? m_root.string() : m_root.string() + "/" + relative;
    }
    std::string Folder(const std::string& relative) const
    {
        std::filesystem::create_directories(Path(relative));
        return Path(relative);
    }
    std::string File(const std::string& relative, const std::string& bytes) const
    {
        std::filesystem::create_directories(std::filesystem::path(Path(relative)).parent_path());
        std::ofstream(Path(relative), std::ios::binary | std::ios::trunc) << bytes;
        return Path(relative);
    }

private:
    std::filesystem::path m_root;
};

// ---- writers of tiny media ----

inline void PutLe(std::string& out, uint64_t value, int bytes)
{
    for (int at = 0; at < bytes; ++at)
        out += char((value >> (8 * at)) & 0xFF);
}

inline void PutBe(std::string& out, uint64_t value, int bytes)
{
    for (int at = bytes - 1; at >= 0; --at)
        out += char((value >> (8 * at)) & 0xFF);
}

// A PCM WAV file of frames sample frames of silence.
inline std::string WavBytes(uint32_t rateHz, uint16_t channels, uint16_t bits, uint32_t frames)
{
    const uint32_t blockBytes = channels * bits / 8;
    const uint32_t dataBytes = frames * blockBytes;
    std::string out = "RIFF";
    PutLe(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);
    PutLe(out, channels, 2);
    PutLe(out, rateHz, 4);
    PutLe(out, rateHz * blockBytes, 4);
    PutLe(out, blockBytes, 2);
    PutLe(out, bits, 2);
    out += "data";
    PutLe(out, dataBytes, 4);
    out.append(dataBytes, '\0');
    return out;
}

// MPEG-1 Layer III at 128 kbps, 44.1 kHz: frames of 417 bytes, 1152 samples each. A frame with
// zeroed side information carries no audio data: silence that every decoder accepts.
constexpr uint32_t c_Mp3FrameBytes = 417;
constexpr uint32_t c_Mp3FrameSamples = 1152;

inline std::string Mp3Bytes(uint32_t frames)
{
    std::string frame("\xFF\xFB\x90\x00", 4);
    frame.append(c_Mp3FrameBytes - 4, '\0');
    std::string out;
    for (uint32_t at = 0; at < frames; ++at)
        out += frame;
    return out;
}

// A FLAC file of one STREAMINFO block and no audio frames: enough for tags and for a length.
inline std::string FlacBytes(uint32_t rateHz, uint32_t channels, uint32_t bits, uint64_t samples)
{
    std::string out = "fLaC";
    out += char(0x80); // last block, STREAMINFO
    PutBe(out, 34, 3);
    PutBe(out, 4096, 2);
    PutBe(out, 4096, 2);
    PutBe(out, 0, 3);
    PutBe(out, 0, 3);
    const uint64_t packed = (uint64_t(rateHz) << 44) | (uint64_t(channels - 1) << 41) | (uint64_t(bits - 1) << 36)
        | (samples & 0xFFFFFFFFFull);
    PutBe(out, packed, 8);
    out.append(16, '\0'); // MD5 unknown
    return out;
}

// The first page of an Ogg stream whose identification packet starts with packetStart.
inline std::string OggHead(const std::string& packetStart)
{
    std::string out("OggS\x00\x02", 6);
    out.append(8, '\0');       // granule position
    out += "\x01\x02\x03\x04"; // serial
    out.append(4, '\0');       // page sequence
    out.append(4, '\0');       // checksum, not checked by sniffing
    out += char(1);
    out += char(packetStart.size() + 20);
    out += packetStart;
    out.append(20, '\0');
    return out;
}

inline std::string AiffHead()
{
    std::string out = "FORM";
    PutBe(out, 46, 4);
    out += "AIFFCOMM";
    PutBe(out, 18, 4);
    PutBe(out, 2, 2);
    PutBe(out, 0, 4);
    PutBe(out, 16, 2);
    out += std::string("\x40\x0E\xAC\x44\x00\x00\x00\x00\x00\x00", 10); // 44100 as 80-bit float
    out += "SSND";
    PutBe(out, 8, 4);
    PutBe(out, 0, 8);
    return out;
}

inline std::string M4aHead()
{
    std::string out;
    PutBe(out, 24, 4);
    out += "ftypM4A ";
    PutBe(out, 0, 4);
    out += "M4A mp42";
    PutBe(out, 8, 4);
    out += "free";
    return out;
}

inline std::string AsfHead()
{
    return std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16) + std::string(32, '\0');
}

// ---- tagging through TagLib ----

struct Tags {
    std::string title;
    std::string artist;
    std::string album;
    std::string genre;
    unsigned year = 0;
};

inline void SetTags(TagLib::Tag& tag, const Tags& tags)
{
    tag.setTitle(TagLib::String(tags.title, TagLib::String::UTF8));
    tag.setArtist(TagLib::String(tags.artist, TagLib::String::UTF8));
    tag.setAlbum(TagLib::String(tags.album, TagLib::String::UTF8));
    tag.setGenre(TagLib::String(tags.genre, TagLib::String::UTF8));
    tag.setYear(tags.year);
}

inline void TagMp3(const std::string& path, const Tags& tags)
{
    TagLib::MPEG::File file(path.c_str(), false);
    ASSERT_TRUE(file.isValid()) << path;
    SetTags(*file.ID3v2Tag(true), tags);
    ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers));
}

inline void TagWav(const std::string& path, const Tags& tags)
{
    TagLib::RIFF::WAV::File file(path.c_str(), false);
    ASSERT_TRUE(file.isValid()) << path;
    SetTags(*file.tag(), tags);
    ASSERT_TRUE(file.save());
}

inline void TagFlac(const std::string& path, const Tags& tags)
{
    TagLib::FLAC::File file(path.c_str(), false);
    ASSERT_TRUE(file.isValid()) << path;
    SetTags(*file.xiphComment(true), tags);
    ASSERT_TRUE(file.save());
}

// ---- the host side ----

// A URL made by the host's own builder, as the folders module would name the file; scheme
// "lumomusic-file" for an item on the music page.
inline LumoApi::ApiRef<LumoApi::UrlApi> FileUrl(const std::string& path, const char* scheme = "file")
{
    LumoApi::ApiRef<UrlBuilder> builder = LumoApi::ApiRef<UrlBuilder>::Adopt(new UrlBuilder());
    builder->SetScheme(scheme);
    builder->SetPath(path.c_str());
    return LumoApi::ApiRef<LumoApi::UrlApi>::Adopt(builder->GetUrl());
}

inline LumoApi::ApiRef<LumoApi::UrlApi> UrlOfText(const std::string& text)
{
    return MakeUrl(text);
}

inline std::string TextOf(LumoApi::UrlApi* url)
{
    const char* text = url ? url->GetText() : nullptr;
    return text ? text : "";
}

// Every name a details object lists with its value; the enumeration must end with 259.
inline std::map<std::string, std::string> AllValues(LumoApi::DetailsApi& details)
{
    std::map<std::string, std::string> values;
    for (const char* name = details.GetFirstName(); name; name = details.GetNextName()) {
        const char* value = details.GetValue(name);
        EXPECT_NE(value, nullptr) << name << " is listed without a value";
        values[name] = value ? value : "";
    }
    EXPECT_EQ(LumoGetLastError(), LumoApi::ERROR_NO_MORE_ITEMS);
    return values;
}

// The value of name, or nothing when the item has none (null with 1168 or 0).
inline std::optional<std::string> ValueOf(LumoApi::DetailsApi& details, const char* name)
{
    LumoSetLastError(LumoApi::ERROR_INTERNAL_ERROR);
    const char* value = details.GetValue(name);
    if (value)
        return std::string(value);
    const uint32_t error = LumoGetLastError();
    EXPECT_TRUE(error == LumoApi::ERROR_NOT_FOUND || error == LumoApi::ERROR_SUCCESS) << name << ": " << error;
    return std::nullopt;
}

// Tests through a real host whose modules include the music module.
class MusicHostTest : public ::testing::Test {
protected:
    MusicHostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    SandBox m_sandbox;

    std::string ContentTypeOf(LumoApi::UrlApi* url) { return m_host.FormatGroup().DecideContentType(url, nullptr); }
    std::string ContentTypeOf(const std::string& path) { return ContentTypeOf(FileUrl(path).Get()); }

    // The item's API through the host's media group, as the picker asks for it.
    template <class T>
    LumoApi::ApiRef<T> ItemApi(LumoApi::UrlApi* url)
    {
        return LumoApi::ApiRef<T>::Adopt(static_cast<T*>(m_host.MediaGroup().GetApi(T::TypeId, url)));
    }
    LumoApi::ApiRef<LumoApi::DetailsApi> DetailsOf(LumoApi::UrlApi* url) { return ItemApi<LumoApi::DetailsApi>(url); }
    LumoApi::ApiRef<LumoApi::DetailsApi> DetailsOf(const std::string& path) { return DetailsOf(FileUrl(path).Get()); }

    // The URL texts a container lists, in order; the enumeration must end with 259.
    static std::vector<std::string> Children(LumoApi::ContainerApi& container)
    {
        std::vector<std::string> texts;
        for (LumoApi::ApiRef<LumoApi::UrlApi> child = LumoApi::ApiRef<LumoApi::UrlApi>::Adopt(container.GetFirst());
             child; child = LumoApi::ApiRef<LumoApi::UrlApi>::Adopt(container.GetNext()))
            texts.push_back(TextOf(child.Get()));
        EXPECT_EQ(LumoGetLastError(), LumoApi::ERROR_NO_MORE_ITEMS);
        return texts;
    }
};

} // namespace MusicTest
