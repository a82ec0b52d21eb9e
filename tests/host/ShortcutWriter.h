// Writes shortcut files (".lnk") in memory from the structures of the Shell Link binary
// format, so the reader's tests and the fuzzer's seeds need no stored shortcuts. Test code
// only: the program never writes shortcuts.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ShortcutWriter {

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

// Where fields sit, for tests that corrupt them.
constexpr size_t c_LinkFlagsAt = 20;
constexpr size_t c_LinkInfoSizeAt = 0;
constexpr size_t c_LinkInfoHeaderSizeAt = 4;
constexpr size_t c_LocalBasePathOffsetAt = 0x10;
constexpr size_t c_NetworkLinkOffsetAt = 0x14;
constexpr size_t c_CommonPathSuffixOffsetAt = 0x18;

struct LinkInfoSpec {
    // ANSI strings are bytes of code page 1252. A string left unset is not written and its
    // offset is 0.
    std::optional<std::string> localBasePath;
    std::optional<std::u16string> localBasePathUnicode;
    std::string commonPathSuffix;
    std::optional<std::u16string> commonPathSuffixUnicode;
    // A CommonNetworkRelativeLink with this NetName.
    std::optional<std::string> netName;
    std::optional<std::u16string> netNameUnicode;
    // 0x1C, or 0x24 and more with the Unicode offsets; chosen from the strings when 0.
    uint32_t headerSize = 0;

    LinkInfoSpec& Local(std::string path) { return Set(localBasePath, std::move(path)); }
    LinkInfoSpec& LocalUnicode(std::u16string path) { return Set(localBasePathUnicode, std::move(path)); }
    LinkInfoSpec& Suffix(std::string path) { return Set(commonPathSuffix, std::move(path)); }
    LinkInfoSpec& SuffixUnicode(std::u16string path) { return Set(commonPathSuffixUnicode, std::move(path)); }
    LinkInfoSpec& Share(std::string name) { return Set(netName, std::move(name)); }
    LinkInfoSpec& ShareUnicode(std::u16string name) { return Set(netNameUnicode, std::move(name)); }
    LinkInfoSpec& HeaderSize(uint32_t size) { return Set(headerSize, size); }

private:
    template <class Field, class Value>
    LinkInfoSpec& Set(Field& field, Value value)
    {
        field = std::move(value);
        return *this;
    }
};

struct LinkSpec {
    bool unicode = true;
    uint32_t extraFlags = 0;
    uint32_t showCommand = 1;
    std::optional<std::vector<uint8_t>> idList; // the IDList bytes after IDListSize
    std::optional<LinkInfoSpec> linkInfo;
    // StringData; in an ANSI shortcut each unit is written as one byte.
    std::optional<std::u16string> description;
    std::optional<std::u16string> relativePath;
    std::optional<std::u16string> workingDirectory;
    std::optional<std::u16string> arguments;
    std::optional<std::u16string> iconLocation;
    std::vector<std::vector<uint8_t>> extraBlocks; // each written whole, size field included
    bool terminalBlock = true;
};

// The bytes and where each part begins (SIZE_MAX for a part not written).
struct Shortcut {
    std::vector<uint8_t> bytes;
    size_t linkInfoAt = SIZE_MAX;
    size_t stringDataAt = 0;
    size_t extraDataAt = 0;
};

inline void PutU16(std::vector<uint8_t>& out, size_t at, uint16_t value)
{
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint32_t GetU32(const std::vector<uint8_t>& in, size_t at)
{
    return uint32_t(in[at]) | uint32_t(in[at + 1]) << 8 | uint32_t(in[at + 2]) << 16 | uint32_t(in[at + 3]) << 24;
}

inline void AppendU16(std::vector<uint8_t>& out, uint16_t value)
{
    out.resize(out.size() + 2);
    PutU16(out, out.size() - 2, value);
}

inline void AppendU32(std::vector<uint8_t>& out, uint32_t value)
{
    out.resize(out.size() + 4);
    PutU32(out, out.size() - 4, value);
}

inline void AppendAnsiZ(std::vector<uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

inline void AppendUnicodeZ(std::vector<uint8_t>& out, const std::u16string& text)
{
    for (const char16_t unit : text)
        AppendU16(out, unit);
    AppendU16(out, 0);
}

// An ExtraData block of the given signature with payloadBytes zero bytes.
inline std::vector<uint8_t> ExtraBlock(uint32_t signature, size_t payloadBytes)
{
    std::vector<uint8_t> block;
    AppendU32(block, static_cast<uint32_t>(8 + payloadBytes));
    AppendU32(block, signature);
    block.resize(block.size() + payloadBytes);
    return block;
}

inline std::vector<uint8_t> WriteLinkInfo(const LinkInfoSpec& plan)
{
    const bool unicode = plan.localBasePathUnicode || plan.commonPathSuffixUnicode;
    const uint32_t headerSize = plan.headerSize ? plan.headerSize : unicode ? 0x24 : 0x1C;
    std::vector<uint8_t> info(headerSize, 0);
    uint32_t flags = 0;
    if (plan.localBasePath || plan.localBasePathUnicode) {
        flags |= 1;
        // VolumeID: size, drive type (fixed), serial number, label offset, empty label.
        PutU32(info, 0x0C, static_cast<uint32_t>(info.size()));
        AppendU32(info, 0x11);
        AppendU32(info, 3);
        AppendU32(info, 0x12345678);
        AppendU32(info, 0x10);
        info.push_back(0);
        if (plan.localBasePath) {
            PutU32(info, c_LocalBasePathOffsetAt, static_cast<uint32_t>(info.size()));
            AppendAnsiZ(info, *plan.localBasePath);
        }
    }
    if (plan.netName || plan.netNameUnicode) {
        flags |= 2;
        const size_t linkAt = info.size();
        PutU32(info, c_NetworkLinkOffsetAt, static_cast<uint32_t>(linkAt));
        const uint32_t linkHeader = plan.netNameUnicode ? 0x1C : 0x14;
        std::vector<uint8_t> link(linkHeader, 0);
        PutU32(link, 8, linkHeader);
        AppendAnsiZ(link, plan.netName.value_or(""));
        if (plan.netNameUnicode) {
            PutU32(link, 0x14, static_cast<uint32_t>(link.size()));
            AppendUnicodeZ(link, *plan.netNameUnicode);
        }
        PutU32(link, 0, static_cast<uint32_t>(link.size()));
        info.insert(info.end(), link.begin(), link.end());
    }
    PutU32(info, c_CommonPathSuffixOffsetAt, static_cast<uint32_t>(info.size()));
    AppendAnsiZ(info, plan.commonPathSuffix);
    if (headerSize >= 0x24) {
        if (plan.localBasePathUnicode) {
            PutU32(info, 0x1C, static_cast<uint32_t>(info.size()));
            AppendUnicodeZ(info, *plan.localBasePathUnicode);
        }
        if (plan.commonPathSuffixUnicode) {
            PutU32(info, 0x20, static_cast<uint32_t>(info.size()));
            AppendUnicodeZ(info, *plan.commonPathSuffixUnicode);
        }
    }
    PutU32(info, c_LinkInfoSizeAt, static_cast<uint32_t>(info.size()));
    PutU32(info, c_LinkInfoHeaderSizeAt, headerSize);
    PutU32(info, 8, flags);
    return info;
}

inline Shortcut Write(const LinkSpec& plan)
{
    Shortcut out;
    std::vector<uint8_t>& bytes = out.bytes;
    uint32_t flags = plan.extraFlags;
    if (plan.unicode)
        flags |= c_IsUnicode;
    if (plan.idList)
        flags |= c_HasLinkTargetIdList;
    if (plan.linkInfo)
        flags |= c_HasLinkInfo;
    const std::pair<const std::optional<std::u16string>*, uint32_t> strings[] = {
        {&plan.description, c_HasName},
        {&plan.relativePath, c_HasRelativePath},
        {&plan.workingDirectory, c_HasWorkingDir},
        {&plan.arguments, c_HasArguments},
        {&plan.iconLocation, c_HasIconLocation},
    };
    for (const auto& [text, flag] : strings) {
        if (*text)
            flags |= flag;
    }

    // ShellLinkHeader: size, CLSID 00021401-0000-0000-C000-000000000046, flags, attributes,
    // three file times, file size, icon index, show command, hot key, reserved.
    bytes.resize(0x4C, 0);
    PutU32(bytes, 0, 0x4C);
    const uint8_t clsid[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    std::copy(std::begin(clsid), std::end(clsid), bytes.begin() + 4);
    PutU32(bytes, c_LinkFlagsAt, flags);
    PutU32(bytes, 24, 0x20);
    PutU32(bytes, 60, plan.showCommand);

    if (plan.idList) {
        AppendU16(bytes, static_cast<uint16_t>(plan.idList->size()));
        bytes.insert(bytes.end(), plan.idList->begin(), plan.idList->end());
    }
    if (plan.linkInfo) {
        out.linkInfoAt = bytes.size();
        const std::vector<uint8_t> info = WriteLinkInfo(*plan.linkInfo);
        bytes.insert(bytes.end(), info.begin(), info.end());
    }
    out.stringDataAt = bytes.size();
    for (const auto& [text, flag] : strings) {
        if (!*text)
            continue;
        AppendU16(bytes, static_cast<uint16_t>((*text)->size()));
        for (const char16_t unit : **text) {
            if (plan.unicode)
                AppendU16(bytes, unit);
            else
                bytes.push_back(static_cast<uint8_t>(unit));
        }
    }
    out.extraDataAt = bytes.size();
    for (const std::vector<uint8_t>& block : plan.extraBlocks)
        bytes.insert(bytes.end(), block.begin(), block.end());
    if (plan.terminalBlock)
        AppendU32(bytes, 0);
    return out;
}

} // namespace ShortcutWriter
