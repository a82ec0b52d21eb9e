// The formats the module knows: songs by extension and by their first bytes, and playlists.
// Pure functions of names and bytes, safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace LumoMusic {

// In the order the module's FormatApi lists them after the class formats.
enum class AudioFormat : int32_t {
    Mpeg,
    Flac,
    Vorbis,
    Opus,
    OggFlac,
    Speex,
    Mp4,
    Aac,
    Wav,
    Aiff,
    Wma,
    WavPack,
    Ape,
    Musepack,
    Playlist,
    // An entry of a playlist that names something on the network ("http://…/live"): not a file
    // the module can read, but still a song to the people who made the list.
    Stream,
    Count
};

constexpr int32_t c_AudioFormatCount = int32_t(AudioFormat::Count);

struct AudioFormatInfo {
    // The shared-mime-info name, so the host merges it with the system's type of that name.
    const char* contentType;
    // Comma-separated, with dots; "" for none.
    const char* extensions;
    const char* description;
};

const AudioFormatInfo& InfoOf(AudioFormat format);

// The format named by a lower-case extension with its dot (".mp3").
std::optional<AudioFormat> FormatOfExtension(std::string_view extension);
// The format of a content type (any letter case).
std::optional<AudioFormat> FormatOfContentType(std::string_view contentType);

// Bytes enough for SniffHead to place every format.
constexpr size_t c_HeadBytes = 64;

struct HeadSniff {
    // What the head shows, if anything.
    std::optional<AudioFormat> format;
    // A leading ID3v2 tag: its size in bytes; what follows it tells MP3 from FLAC or AAC.
    uint64_t id3Bytes = 0;
    // A bare MPEG frame header is weak evidence: the next frame should start at this offset.
    uint64_t nextFrameAt = 0;
};

// Looks at the first bytes of a file (size may be short).
HeadSniff SniffHead(const uint8_t* head, size_t size);

// The format of an open file by its content: reads the head (and what follows a leading ID3v2
// tag, and the second MPEG frame header) with pread. Nothing for a file of no known format.
std::optional<AudioFormat> SniffFile(int fd);

// The same for a path; nothing when it is not a regular file or cannot be read.
std::optional<AudioFormat> SniffPath(const std::string& path);

} // namespace LumoMusic
