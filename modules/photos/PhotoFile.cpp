#include "PhotoFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <lumo/Errors.h>

#include "PhotoError.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

constexpr size_t c_FirstHeadBytes = 16 * 1024;

bool IsLocalHost(const char* host)
{
    return !host || !*host || std::strcmp(host, "localhost") == 0;
}

FileStamp StampFrom(const struct statx& info)
{
    FileStamp stamp;
    stamp.sizeBytes = info.stx_size;
    stamp.modifiedNs = int64_t(info.stx_mtime.tv_sec) * 1000000000 + info.stx_mtime.tv_nsec;
    stamp.createdSec = (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_ctime.tv_sec;
    return stamp;
}

// Length of the well-formed UTF-8 sequence at text, or 0.
size_t SequenceLength(std::string_view text)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        // No overlong forms, no surrogates.
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else
        return 0;
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

} // namespace

bool PathOfPhotoUrl(UrlApi* url, std::string& path)
{
    if (!url)
        return false;
    const char* scheme = url->GetScheme();
    if (!scheme)
        return false;
    const std::string_view prefixed(scheme);
    const std::string_view classPrefix = std::string_view(c_ClassScheme);
    const bool isFile = prefixed == "file"
        || (prefixed.size() == classPrefix.size() + 5 && prefixed.substr(0, classPrefix.size()) == classPrefix
            && prefixed.substr(classPrefix.size()) == "-file");
    if (!isFile || !IsLocalHost(url->GetHost()))
        return false;
    const char* local = url->GetPath();
    path.assign(1, '/');
    if (local)
        path.append(local);
    return true;
}

std::string ReadableText(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        const size_t length = SequenceLength(bytes);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            bytes.remove_prefix(1);
        } else {
            text.append(bytes.substr(0, length));
            bytes.remove_prefix(length);
        }
    }
    return text;
}

std::string_view LeafOf(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const size_t slash = path.rfind('/');
    return slash == path.npos || path.size() == 1 ? path : path.substr(slash + 1);
}

int64_t FileStamp::ModifiedSec() const
{
    // Rounds toward minus infinity, so times before 1970 keep their second.
    return modifiedNs >= 0 ? modifiedNs / 1000000000 : -((-modifiedNs + 999999999) / 1000000000);
}

FileStamp StampOf(const std::string& path)
{
    struct statx info { };
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
        throw PhotoError(FileErrorCode(errno));
    if (!S_ISREG(info.stx_mode))
        throw PhotoError(LumoApi::ERROR_ACCESS_DENIED);
    return StampFrom(info);
}

PhotoFile::PhotoFile(const std::string& path)
{
    // Non-blocking, so that a FIFO cannot hang the caller before it is refused below.
    m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        throw PhotoError(FileErrorCode(errno));
    struct statx info { };
    if (statx(m_fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        const int error = errno;
        close(m_fd);
        throw PhotoError(FileErrorCode(error));
    }
    if (!S_ISREG(info.stx_mode)) {
        close(m_fd);
        throw PhotoError(LumoApi::ERROR_ACCESS_DENIED);
    }
    m_stamp = StampFrom(info);
}

PhotoFile::~PhotoFile()
{
    close(m_fd);
}

size_t PhotoFile::ReadAt(uint64_t offset, uint8_t* bytes, size_t sizeBytes) const
{
    size_t done = 0;
    while (done < sizeBytes) {
        const ssize_t got = pread(m_fd, bytes + done, sizeBytes - done, off_t(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw PhotoError(FileErrorCode(errno));
        }
        if (got == 0)
            break;
        done += size_t(got);
    }
    return done;
}

std::vector<uint8_t> PhotoFile::ReadAll(uint64_t maxBytes) const
{
    if (m_stamp.sizeBytes > maxBytes)
        throw PhotoError(ERROR_NOT_ENOUGH_MEMORY);
    std::vector<uint8_t> bytes(m_stamp.sizeBytes);
    if (ReadAt(0, bytes.data(), bytes.size()) != bytes.size())
        throw PhotoError(ERROR_INVALID_DATA);
    return bytes;
}

const uint8_t* MemorySource::At(uint64_t offset, size_t sizeBytes)
{
    if (offset > m_size || sizeBytes > m_size - offset)
        return nullptr;
    return m_bytes + offset;
}

const uint8_t* FileHead::At(uint64_t offset, size_t sizeBytes)
{
    const uint64_t end = offset + sizeBytes;
    if (end < offset)
        return nullptr;
    if (end > m_bytes.size()) {
        if (m_atEnd || end > m_file.Stamp().sizeBytes)
            return nullptr;
        // Doubling keeps the number of reads small when a parser walks far into the file.
        const uint64_t wanted = std::min<uint64_t>(
            std::max<uint64_t>({end, m_bytes.size() * 2, c_FirstHeadBytes}), m_file.Stamp().sizeBytes);
        const size_t had = m_bytes.size();
        m_bytes.resize(size_t(wanted));
        const size_t got = m_file.ReadAt(had, m_bytes.data() + had, m_bytes.size() - had);
        if (had + got < m_bytes.size()) {
            m_bytes.resize(had + got);
            m_atEnd = true;
        }
        if (end > m_bytes.size())
            return nullptr;
    }
    return m_bytes.data() + offset;
}

} // namespace LumoPhotos
