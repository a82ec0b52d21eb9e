#include "server/WaveFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The fmt and data chunks sit near the start; anything further is not worth a wave file.
constexpr size_t c_HeadBytes = 64 * 1024;
constexpr uint16_t c_FormatPcm = 1;
constexpr uint16_t c_FormatExtensible = 0xFFFE;

uint32_t Le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Le16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

} // namespace

bool WaveLayout::IsLpcm() const
{
    const bool rate = sampleRate == 44100 || sampleRate == 48000;
    return formatTag == c_FormatPcm && bitsPerSample == 16 && (channels == 1 || channels == 2) && rate && dataBytes > 0
        && dataBytes % (2 * channels) == 0;
}

std::string WaveLayout::LpcmMime() const
{
    return "audio/L16;rate=" + std::to_string(sampleRate) + ";channels=" + std::to_string(channels);
}

std::optional<WaveLayout> ParseWaveLayout(const unsigned char* head, size_t headBytes, int64_t fileBytes)
{
    if (headBytes < 12 || std::string(reinterpret_cast<const char*>(head), 4) != "RIFF"
        || std::string(reinterpret_cast<const char*>(head + 8), 4) != "WAVE")
        return std::nullopt;
    WaveLayout layout;
    bool haveFormat = false;
    size_t position = 12;
    while (position + 8 <= headBytes) {
        const std::string id(reinterpret_cast<const char*>(head + position), 4);
        const uint64_t size = Le32(head + position + 4);
        const size_t body = position + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > headBytes)
                return std::nullopt;
            layout.formatTag = Le16(head + body);
            layout.channels = Le16(head + body + 2);
            layout.sampleRate = Le32(head + body + 4);
            layout.bitsPerSample = Le16(head + body + 14);
            // An extensible header names plain PCM by its sub-format's first two bytes.
            if (layout.formatTag == c_FormatExtensible && size >= 40 && body + 26 <= headBytes)
                layout.formatTag = Le16(head + body + 24);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return std::nullopt;
            layout.dataOffset = int64_t(body);
            // Streams written while recording leave the size at 0 or all ones: the file tells.
            const int64_t available = fileBytes - layout.dataOffset;
            layout.dataBytes
                = size == 0 || size == 0xFFFFFFFFu || int64_t(size) > available ? available : int64_t(size);
            if (layout.dataBytes <= 0)
                return std::nullopt;
            return layout;
        }
        position = body + size + (size & 1);
    }
    return std::nullopt;
}

std::optional<WaveLayout> ReadWaveLayout(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info { };
    std::vector<unsigned char> head(c_HeadBytes);
    ssize_t count = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        do
            count = ::pread(fd, head.data(), head.size(), 0);
        while (count < 0 && errno == EINTR);
    }
    ::close(fd);
    if (count <= 0)
        return std::nullopt;
    return ParseWaveLayout(head.data(), size_t(count), int64_t(info.st_size));
}
