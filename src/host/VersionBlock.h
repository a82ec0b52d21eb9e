// The version block every executable carries in its own ELF section (".lumo_version"): a
// small table of named sub-blocks, read back by the version reader (host/Version.h).
//
// Layout, every integer little-endian:
//   header  char[8] "LUMOVER1"; uint32 size of the whole block in bytes; uint32 entry count
//   entry   uint32 name size (its NUL included); uint32 value size; the name; the value;
//           zero bytes up to the next multiple of 4
// Sub-blocks:
//   "\"                                 four uint32: file version MS, LS, product version
//                                       MS, LS (major in the high half of MS, minor in the
//                                       low half; patch and build likewise in LS)
//   "\VarFileInfo\Translation"          one uint32: language low, code page high
//   "\StringFileInfo\040904B0\<Key>"    NUL-terminated UTF-8 text
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace VersionBlock {

constexpr std::string_view c_magic{"LUMOVER1", 8};
constexpr size_t c_headerSizeBytes = 16;
constexpr size_t c_entryHeaderSizeBytes = 8;

// One sub-block: text (written with a NUL) when wordCount is 0, else wordCount words.
struct Entry {
    std::string_view name;
    std::string_view text;
    std::array<uint32_t, 4> words{};
    uint32_t wordCount = 0;
};

constexpr Entry FixedInfo(uint32_t major, uint32_t minor, uint32_t patch, uint32_t build)
{
    const uint32_t ms = (major & 0xFFFF) << 16 | (minor & 0xFFFF);
    const uint32_t ls = (patch & 0xFFFF) << 16 | (build & 0xFFFF);
    return Entry{"\\", {}, {ms, ls, ms, ls}, 4};
}

constexpr Entry Translation(uint16_t language, uint16_t codePage)
{
    return Entry{"\\VarFileInfo\\Translation", {}, {uint32_t(codePage) << 16 | language}, 1};
}

constexpr Entry Text(std::string_view name, std::string_view text)
{
    return Entry{name, text};
}

constexpr size_t Padded(size_t sizeBytes)
{
    return (sizeBytes + 3) & ~size_t(3);
}

// Lays the entries out into out, which holds the answer's number of bytes; with out null it
// only measures. constexpr, so the program's block is built by the compiler.
constexpr size_t Write(std::span<const Entry> entries, uint8_t* out)
{
    auto putByte = [out](size_t at, uint8_t value) {
        if (out)
            out[at] = value;
    };
    auto putWord = [&](size_t at, uint32_t value) {
        for (size_t i = 0; i < 4; ++i)
            putByte(at + i, static_cast<uint8_t>(value >> (8 * i)));
    };
    auto putText = [&](size_t at, std::string_view text) {
        for (size_t i = 0; i < text.size(); ++i)
            putByte(at + i, static_cast<uint8_t>(text[i]));
        putByte(at + text.size(), 0);
    };

    size_t at = c_headerSizeBytes;
    for (const Entry& entry : entries) {
        const size_t nameSize = entry.name.size() + 1;
        const size_t valueSize = entry.wordCount ? entry.wordCount * 4 : entry.text.size() + 1;
        putWord(at, static_cast<uint32_t>(nameSize));
        putWord(at + 4, static_cast<uint32_t>(valueSize));
        at += c_entryHeaderSizeBytes;
        putText(at, entry.name);
        at += nameSize;
        if (entry.wordCount) {
            for (size_t i = 0; i < entry.wordCount; ++i)
                putWord(at + 4 * i, entry.words[i]);
        } else {
            putText(at, entry.text);
        }
        at += valueSize;
        for (; at % 4; ++at)
            putByte(at, 0);
    }
    for (size_t i = 0; i < c_magic.size(); ++i)
        putByte(i, static_cast<uint8_t>(c_magic[i]));
    putWord(8, static_cast<uint32_t>(at));
    putWord(12, static_cast<uint32_t>(entries.size()));
    return at;
}

// The same at run time.
inline std::vector<uint8_t> Build(std::span<const Entry> entries)
{
    std::vector<uint8_t> block(Write(entries, nullptr));
    Write(entries, block.data());
    return block;
}

} // namespace VersionBlock
