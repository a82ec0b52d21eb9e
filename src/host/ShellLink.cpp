#include "host/ShellLink.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Raised inside the reader for anything that is not a whole, well-formed shortcut; never
// leaves this file.
struct Malformed { };

constexpr uint32_t c_HeaderSize = 0x4C;
// 00021401-0000-0000-C000-000000000046 as stored: the first three groups little-endian.
constexpr uint8_t c_LinkClsid[16]
    = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr size_t c_LinkFlagsAt = 20;
constexpr size_t c_ShowCommandAt = 60;

// LinkFlags.
constexpr uint32_t c_HasLinkTargetIdList = 1u << 0;
constexpr uint32_t c_HasLinkInfo = 1u << 1;
constexpr uint32_t c_HasName = 1u << 2;
constexpr uint32_t c_HasRelativePath = 1u << 3;
constexpr uint32_t c_HasWorkingDir = 1u << 4;
constexpr uint32_t c_HasArguments = 1u << 5;
constexpr uint32_t c_HasIconLocation = 1u << 6;
constexpr uint32_t c_IsUnicode = 1u << 7;
constexpr uint32_t c_ForceNoLinkInfo = 1u << 8;

// LinkInfo: fields, flags, and the header size from which the Unicode offsets are present.
constexpr uint32_t c_LinkInfoMinHeaderSize = 0x1C;
constexpr uint32_t c_LinkInfoUnicodeHeaderSize = 0x24;
constexpr size_t c_LinkInfoHeaderSizeAt = 4;
constexpr size_t c_LinkInfoFlagsAt = 8;
constexpr size_t c_LocalBasePathAt = 0x10;
constexpr size_t c_NetworkLinkAt = 0x14;
constexpr size_t c_CommonPathSuffixAt = 0x18;
constexpr size_t c_LocalBasePathUnicodeAt = 0x1C;
constexpr size_t c_CommonPathSuffixUnicodeAt = 0x20;
constexpr uint32_t c_VolumeIdAndLocalBasePath = 1;
constexpr uint32_t c_CommonNetworkRelativeLinkAndPathSuffix = 2;

// CommonNetworkRelativeLink: NetNameOffsetUnicode exists only when NetNameOffset lies past it.
constexpr uint32_t c_NetworkLinkMinSize = 0x14;
constexpr size_t c_NetNameAt = 8;
constexpr size_t c_NetNameUnicodeAt = 0x14;

// An ExtraData block size below 4 ends the list.
constexpr uint32_t c_TerminalBlockBelow = 4;

// Bytes 0x80-0x9F of code page 1252; the five it leaves unassigned keep their own value, as
// Windows converts them.
constexpr char16_t c_Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
    0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A bounded view of the file; every access outside it raises Malformed.
class ByteView {
public:
    ByteView(const uint8_t* data, size_t size) noexcept : m_data(data), m_size(size) { }

    size_t Size() const noexcept { return m_size; }
    const uint8_t* At(size_t at, size_t count) const
    {
        Need(at, count);
        return m_data + at;
    }
    uint16_t U16(size_t at) const
    {
        const uint8_t* p = At(at, 2);
        return static_cast<uint16_t>(p[0] | p[1] << 8);
    }
    uint32_t U32(size_t at) const
    {
        const uint8_t* p = At(at, 4);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    ByteView Sub(size_t at, size_t count) const { return ByteView(At(at, count), count); }

private:
    void Need(size_t at, size_t count) const
    {
        if (at > m_size || count > m_size - at)
            throw Malformed{};
    }

    const uint8_t* m_data;
    size_t m_size;
};

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The texts end at their first NUL: that is where the C strings Windows hands out end.
std::string FromCp1252(const uint8_t* bytes, size_t count)
{
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count && bytes[i] != 0; ++i) {
        const uint8_t b = bytes[i];
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? c_Cp1252High[b - 0x80] : char32_t(b));
    }
    return out;
}

std::string FromUtf16(const uint8_t* bytes, size_t units)
{
    auto unit = [bytes](size_t i) { return char32_t(bytes[2 * i] | bytes[2 * i + 1] << 8); };
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units && unit(i) != 0; ++i) {
        const char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) < 0xE000) {
            AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

// Cuts text (valid UTF-8) to at most maxChars code points.
std::string CutToChars(std::string text, size_t maxChars)
{
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80 && ++chars > maxChars) {
            text.resize(i);
            break;
        }
    }
    return text;
}

// NUL-terminated strings inside a LinkInfo structure; the terminator must lie inside it too.
std::string AnsiZ(const ByteView& within, size_t at)
{
    const size_t count = within.Size() - std::min(at, within.Size());
    const uint8_t* start = within.At(at, count);
    if (!std::memchr(start, 0, count))
        throw Malformed{};
    return FromCp1252(start, count);
}

std::string Utf16Z(const ByteView& within, size_t at)
{
    const size_t units = (within.Size() - std::min(at, within.Size())) / 2;
    const uint8_t* start = within.At(at, units * 2);
    for (size_t i = 0; i < units; ++i) {
        if (start[2 * i] == 0 && start[2 * i + 1] == 0)
            return FromUtf16(start, units);
    }
    throw Malformed{};
}

// The preferred form of a LinkInfo string: the Unicode one when there is one and it is not
// empty, else the ANSI one; an offset of 0 means the string is absent.
std::string LinkInfoString(const ByteView& within, uint32_t ansiAt, uint32_t unicodeAt)
{
    if (unicodeAt != 0) {
        std::string text = Utf16Z(within, unicodeAt);
        if (!text.empty())
            return text;
    }
    return ansiAt != 0 ? AnsiZ(within, ansiAt) : std::string();
}

// "\\server\share" of a CommonNetworkRelativeLink; "" when the name does not look like one,
// so that nothing else is ever taken for a share.
std::string NetName(const ByteView& info, size_t at)
{
    const ByteView link = info.Sub(at, info.U32(at));
    if (link.Size() < c_NetworkLinkMinSize)
        throw Malformed{};
    const uint32_t ansiAt = link.U32(c_NetNameAt);
    const uint32_t unicodeAt = ansiAt > c_NetNameUnicodeAt ? link.U32(c_NetNameUnicodeAt) : 0;
    std::string name = LinkInfoString(link, ansiAt, unicodeAt);
    if (name.size() < 3 || name[0] != '\\' || name[1] != '\\' || name[2] == '\\')
        return std::string();
    return name;
}

// The target a LinkInfo structure names: local base path and suffix, else share and suffix.
std::string LinkInfoTarget(const ByteView& info)
{
    const uint32_t headerSize = info.U32(c_LinkInfoHeaderSizeAt);
    if (headerSize < c_LinkInfoMinHeaderSize || headerSize > info.Size())
        throw Malformed{};
    const bool hasUnicode = headerSize >= c_LinkInfoUnicodeHeaderSize;
    const uint32_t flags = info.U32(c_LinkInfoFlagsAt);

    const std::string suffix
        = LinkInfoString(info, info.U32(c_CommonPathSuffixAt), hasUnicode ? info.U32(c_CommonPathSuffixUnicodeAt) : 0);
    if (flags & c_VolumeIdAndLocalBasePath) {
        const std::string base
            = LinkInfoString(info, info.U32(c_LocalBasePathAt), hasUnicode ? info.U32(c_LocalBasePathUnicodeAt) : 0);
        if (!base.empty())
            return base + suffix;
    }
    if (flags & c_CommonNetworkRelativeLinkAndPathSuffix) {
        std::string share = NetName(info, info.U32(c_NetworkLinkAt));
        if (!share.empty() && !suffix.empty()) {
            if (share.back() != '\\')
                share += '\\';
            share += suffix;
        }
        return share;
    }
    return std::string();
}

struct LinkFields {
    std::string description;
    std::string targetPath;
    std::string relativePath;
    std::string arguments;
    std::string workingDirectory;
    int32_t showCommand = ShellLink::c_ShowNormal;
};

LinkFields Parse(const ByteView& file)
{
    if (file.Size() > ShellLink::c_MaxFileBytes || file.U32(0) != c_HeaderSize
        || std::memcmp(file.At(4, sizeof c_LinkClsid), c_LinkClsid, sizeof c_LinkClsid) != 0)
        throw Malformed{};
    const uint32_t flags = file.U32(c_LinkFlagsAt);
    LinkFields fields;
    const uint32_t show = file.U32(c_ShowCommandAt);
    if (show == ShellLink::c_ShowMaximized || show == ShellLink::c_ShowMinNoActive)
        fields.showCommand = static_cast<int32_t>(show);

    // Offsets below stay under c_MaxFileBytes plus 2^32, so none of the sums can wrap.
    size_t at = c_HeaderSize;
    if (flags & c_HasLinkTargetIdList) {
        const uint16_t idListSize = file.U16(at);
        file.Sub(at + 2, idListSize);
        at += 2 + size_t(idListSize);
    }
    if (flags & c_HasLinkInfo) {
        const ByteView info = file.Sub(at, file.U32(at));
        if (info.Size() < c_LinkInfoMinHeaderSize)
            throw Malformed{};
        if (!(flags & c_ForceNoLinkInfo))
            fields.targetPath = LinkInfoTarget(info);
        at += info.Size();
    }

    const bool unicode = flags & c_IsUnicode;
    auto countedString = [&](uint32_t flag, size_t maxChars) {
        if (!(flags & flag))
            return std::string();
        const uint16_t count = file.U16(at);
        const size_t sizeBytes = unicode ? 2 * size_t(count) : count;
        const uint8_t* text = file.At(at + 2, sizeBytes);
        at += 2 + sizeBytes;
        return CutToChars(unicode ? FromUtf16(text, count) : FromCp1252(text, count), maxChars);
    };
    fields.description = countedString(c_HasName, ShellLink::c_DescriptionChars);
    fields.relativePath = countedString(c_HasRelativePath, ShellLink::c_PathChars);
    fields.workingDirectory = countedString(c_HasWorkingDir, ShellLink::c_PathChars);
    fields.arguments = countedString(c_HasArguments, ShellLink::c_PathChars);
    countedString(c_HasIconLocation, 0); // not kept, only stepped over

    // ExtraData is not used, but walked so that a shortcut cut off inside it counts as
    // truncated. A file that simply ends after a whole block is accepted.
    while (at < file.Size()) {
        const uint32_t blockSize = file.U32(at);
        if (blockSize < c_TerminalBlockBelow)
            break;
        file.Sub(at, blockSize);
        at += blockSize;
    }

    if (fields.targetPath.empty())
        fields.targetPath = fields.relativePath;
    fields.targetPath = CutToChars(std::move(fields.targetPath), ShellLink::c_PathChars);
    return fields;
}

// The whole of a regular file of at most maxBytes; false for anything else. Opened without
// blocking so that a FIFO named like a shortcut cannot hang the caller.
bool ReadSmallFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes) noexcept
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool ok = false;
    struct stat info { };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0
        && static_cast<uint64_t>(info.st_size) <= maxBytes) {
        try {
            // One byte more than fstat reported, to notice a file that grew in between: it is
            // being written, and what it holds now is no whole shortcut.
            const size_t sizeBytes = static_cast<size_t>(info.st_size);
            bytes.resize(sizeBytes + 1);
            size_t total = 0;
            ok = true;
            while (total < bytes.size()) {
                const ssize_t got = ::read(fd, bytes.data() + total, bytes.size() - total);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0)
                    ok = false;
                if (got <= 0)
                    break;
                total += static_cast<size_t>(got);
            }
            ok = ok && total <= sizeBytes;
            bytes.resize(ok ? total : 0);
        } catch (...) {
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

std::string WithSlashes(std::string path)
{
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    return path;
}

// A drive path ("C:/...", "C:") or a share ("//server/share"): a place on another system.
bool IsWindowsOnly(const std::string& path)
{
    const bool drive = path.size() >= 2 && path[1] == ':'
        && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive || path.starts_with("//");
}

} // namespace

ShellLink::ShellLink(const std::string& path) : m_linkPath(path)
{
    std::vector<uint8_t> bytes;
    if (ReadSmallFile(path, c_MaxFileBytes, bytes))
        Read(bytes.data(), bytes.size());
}

ShellLink ShellLink::FromBytes(const uint8_t* data, size_t sizeBytes, std::string linkPath)
{
    ShellLink link(InMemory{}, std::move(linkPath));
    link.Read(data, data ? sizeBytes : 0);
    return link;
}

void ShellLink::Read(const uint8_t* data, size_t sizeBytes) noexcept
{
    try {
        LinkFields fields = Parse(ByteView(data, sizeBytes));
        m_description = std::move(fields.description);
        m_targetPath = std::move(fields.targetPath);
        m_relativePath = std::move(fields.relativePath);
        m_arguments = std::move(fields.arguments);
        m_workingDirectory = std::move(fields.workingDirectory);
        m_showCommand = fields.showCommand;
        m_loaded = true;
    } catch (...) {
        // Malformed input and exhausted memory alike leave the shortcut unread.
    }
}

std::string ShellLink::TargetAsLocalPath() const
{
    std::string target = WithSlashes(m_targetPath);
    if (IsWindowsOnly(target) && !m_relativePath.empty())
        target = WithSlashes(m_relativePath);
    if (target.empty() || IsWindowsOnly(target))
        return target;

    std::filesystem::path path(target);
    if (path.is_relative()) {
        std::filesystem::path folder = std::filesystem::path(m_linkPath).parent_path();
        std::error_code noWorkingFolder;
        if (folder.is_relative()) {
            if (std::filesystem::path absolute = std::filesystem::absolute(folder, noWorkingFolder); !noWorkingFolder)
                folder = std::move(absolute);
        }
        path = folder / path;
    }
    std::string local = path.lexically_normal().string();
    // A folder target written with a trailing separator names the same folder without it.
    if (local.size() > 1 && local.back() == '/')
        local.pop_back();
    return local;
}
