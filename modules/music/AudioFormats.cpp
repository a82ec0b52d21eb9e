#include "AudioFormats.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MusicText.h"

namespace LumoMusic {

namespace {

constexpr AudioFormatInfo c_Formats[c_AudioFormatCount] = {
    {"audio/mpeg", ".mp3,.mp2,.mpga", "MP3 audio"},
    {"audio/flac", ".flac", "FLAC audio"},
    {"audio/x-vorbis+ogg", ".ogg,.oga", "Ogg Vorbis audio"},
    {"audio/x-opus+ogg", ".opus", "Opus audio"},
    {"audio/x-flac+ogg", "", "Ogg FLAC audio"},
    {"audio/x-speex+ogg", ".spx", "Speex audio"},
    {"audio/mp4", ".m4a,.m4b", "MPEG-4 audio"},
    {"audio/aac", ".aac,.adts", "AAC audio"},
    {"audio/x-wav", ".wav", "WAV audio"},
    {"audio/x-aiff", ".aif,.aiff,.aifc", "AIFF audio"},
    {"audio/x-ms-wma", ".wma", "Windows Media audio"},
    {"audio/x-wavpack", ".wv", "WavPack audio"},
    {"audio/x-ape", ".ape", "APE audio"},
    {"audio/x-musepack", ".mpc,.mpp,.mp+", "Musepack audio"},
    {"x-container/lumomusic-playlist", ".m3u,.m3u8,.pls", "Playlist"},
    {"audio/x-lumomusic-stream", "", "Internet audio stream"},
};

constexpr uint8_t c_AsfGuid[16]
    = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

// Several ID3v2 tags in a row happen when taggers prepend instead of replacing.
constexpr int c_MaxStackedTags = 4;

bool Starts(const uint8_t* head, size_t size, size_t offset, std::string_view magic)
{
    return offset + magic.size() <= size && std::memcmp(head + offset, magic.data(), magic.size()) == 0;
}

// The length of the MPEG audio frame whose header is at head, or 0 when it is not a valid
// header (free-format frames included: their length cannot be known from the header).
uint32_t MpegFrameLength(const uint8_t* header)
{
    if (header[0] != 0xFF || (header[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (header[1] >> 3) & 3; // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const int layer = (header[1] >> 1) & 3;   // 1: III, 2: II, 3: I
    const int bitrateIndex = header[2] >> 4;
    const int rateIndex = (header[2] >> 2) & 3;
    const int padding = (header[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    static constexpr int c_Kbps[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // 1, I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // 1, II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // 1, III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // 2 and 2.5, I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // 2 and 2.5, II and III
    };
    static constexpr int c_Rates[4][3]
        = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
    const int bitrate = c_Kbps[table][bitrateIndex] * 1000;
    const int rate = c_Rates[version][rateIndex];
    if (layer == 3)
        return uint32_t((12 * bitrate / rate + padding) * 4);
    if (layer == 1 && !mpeg1)
        return uint32_t(72 * bitrate / rate + padding);
    return uint32_t(144 * bitrate / rate + padding);
}

bool IsAdtsHeader(const uint8_t* head, size_t size)
{
    if (size < 7 || head[0] != 0xFF || (head[1] & 0xF6) != 0xF0)
        return false;
    const int rateIndex = (head[2] >> 2) & 0x0F;
    const uint32_t frameLength = (uint32_t(head[3] & 3) << 11) | (uint32_t(head[4]) << 3) | (head[5] >> 5);
    return rateIndex < 13 && frameLength >= 7;
}

std::optional<AudioFormat> SniffOgg(const uint8_t* head, size_t size)
{
    if (size < 27)
        return std::nullopt;
    // The first page holds the codec's identification packet right after its segment table.
    const size_t packet = 27 + size_t(head[26]);
    if (Starts(head, size, packet, "\x01vorbis"))
        return AudioFormat::Vorbis;
    if (Starts(head, size, packet, "OpusHead"))
        return AudioFormat::Opus;
    if (Starts(head, size, packet,
            "\x7F"
            "FLAC"))
        return AudioFormat::OggFlac;
    if (Starts(head, size, packet, "Speex   "))
        return AudioFormat::Speex;
    return std::nullopt;
}

std::optional<AudioFormat> SniffMp4(const uint8_t* head, size_t size)
{
    const uint32_t boxBytes
        = (uint32_t(head[0]) << 24) | (uint32_t(head[1]) << 16) | (uint32_t(head[2]) << 8) | head[3];
    const size_t end = std::min<size_t>(size, boxBytes < 16 ? 16 : boxBytes);
    // The major brand at 8, a minor version at 12, then the compatible brands.
    for (size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        for (std::string_view brand : {"M4A ", "M4B ", "M4P ", "F4A ", "F4B "}) {
            if (Starts(head, size, at, brand))
                return AudioFormat::Mp4;
        }
    }
    return std::nullopt;
}

ssize_t ReadAt(int fd, uint8_t* buffer, size_t count, uint64_t offset)
{
    for (;;) {
        const ssize_t done = pread(fd, buffer, count, off_t(offset));
        if (done >= 0 || errno != EINTR)
            return done;
    }
}

} // namespace

const AudioFormatInfo& InfoOf(AudioFormat format)
{
    const int32_t index = int32_t(format);
    return c_Formats[index >= 0 && index < c_AudioFormatCount ? index : 0];
}

std::optional<AudioFormat> FormatOfExtension(std::string_view extension)
{
    if (extension.size() < 2 || extension[0] != '.')
        return std::nullopt;
    for (int32_t index = 0; index < c_AudioFormatCount; ++index) {
        std::string_view list = c_Formats[index].extensions;
        while (!list.empty()) {
            const size_t comma = list.find(',');
            if (list.substr(0, comma) == extension)
                return AudioFormat(index);
            list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        }
    }
    return std::nullopt;
}

std::optional<AudioFormat> FormatOfContentType(std::string_view contentType)
{
    for (int32_t index = 0; index < c_AudioFormatCount; ++index) {
        if (EqualsIgnoringAsciiCase(contentType, c_Formats[index].contentType))
            return AudioFormat(index);
    }
    return std::nullopt;
}

HeadSniff SniffHead(const uint8_t* head, size_t size)
{
    HeadSniff sniff;
    if (!head || size < 4)
        return sniff;
    if (Starts(head, size, 0, "ID3") && size >= 10 && head[3] < 0xFF && head[4] < 0xFF
        && (head[6] | head[7] | head[8] | head[9]) < 0x80) {
        const uint64_t bodyBytes
            = (uint64_t(head[6]) << 21) | (uint64_t(head[7]) << 14) | (uint64_t(head[8]) << 7) | head[9];
        sniff.id3Bytes = 10 + bodyBytes + ((head[5] & 0x10) ? 10 : 0);
        // By convention a tagged file is an MP3 unless what follows the tag says otherwise.
        sniff.format = AudioFormat::Mpeg;
        return sniff;
    }
    if (Starts(head, size, 0, "fLaC"))
        sniff.format = AudioFormat::Flac;
    else if (Starts(head, size, 0, "OggS"))
        sniff.format = SniffOgg(head, size);
    else if (Starts(head, size, 4, "ftyp"))
        sniff.format = SniffMp4(head, size);
    else if ((Starts(head, size, 0, "RIFF") || Starts(head, size, 0, "RF64") || Starts(head, size, 0, "BW64"))
        && Starts(head, size, 8, "WAVE"))
        sniff.format = AudioFormat::Wav;
    else if (Starts(head, size, 0, "FORM") && (Starts(head, size, 8, "AIFF") || Starts(head, size, 8, "AIFC")))
        sniff.format = AudioFormat::Aiff;
    else if (size >= sizeof c_AsfGuid && std::memcmp(head, c_AsfGuid, sizeof c_AsfGuid) == 0)
        sniff.format = AudioFormat::Wma;
    else if (Starts(head, size, 0, "wvpk"))
        sniff.format = AudioFormat::WavPack;
    else if (Starts(head, size, 0, "MAC "))
        sniff.format = AudioFormat::Ape;
    else if (Starts(head, size, 0, "MPCK") || Starts(head, size, 0, "MP+"))
        sniff.format = AudioFormat::Musepack;
    else if (IsAdtsHeader(head, size))
        sniff.format = AudioFormat::Aac;
    else if (const uint32_t frameBytes = MpegFrameLength(head)) {
        sniff.format = AudioFormat::Mpeg;
        sniff.nextFrameAt = frameBytes;
    }
    return sniff;
}

std::optional<AudioFormat> SniffFile(int fd)
{
    uint8_t head[c_HeadBytes];
    uint64_t offset = 0;
    std::optional<AudioFormat> tagged;
    for (int tags = 0; tags <= c_MaxStackedTags; ++tags) {
        const ssize_t count = ReadAt(fd, head, sizeof head, offset);
        if (count <= 0)
            return tagged;
        const HeadSniff sniff = SniffHead(head, size_t(count));
        if (sniff.id3Bytes) {
            tagged = AudioFormat::Mpeg;
            offset += sniff.id3Bytes;
            continue;
        }
        if (!sniff.format)
            return tagged;
        if (sniff.nextFrameAt && !tagged) {
            // Without a tag in front, one frame header could be chance: a second must follow.
            uint8_t next[4];
            if (ReadAt(fd, next, sizeof next, offset + sniff.nextFrameAt) != ssize_t(sizeof next)
                || MpegFrameLength(next) == 0 || ((next[1] ^ head[1]) & 0xFE) != 0 || ((next[2] ^ head[2]) & 0x0C) != 0)
                return std::nullopt;
        }
        return sniff.format;
    }
    return tagged;
}

std::optional<AudioFormat> SniffPath(const std::string& path)
{
    // Non-blocking, so a FIFO given a song's name cannot hang the caller before fstat refuses it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info { };
    std::optional<AudioFormat> format;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        format = SniffFile(fd);
    close(fd);
    return format;
}

} // namespace LumoMusic
