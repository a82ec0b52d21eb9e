// The version reader: answers questions about a version block (host/VersionBlock.h), the
// program's own or the one in another executable file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Name of the ELF section that holds an executable's version block.
constexpr char c_versionSectionName[] = ".lumo_version";

// With a key and an output: copies the text of "\StringFileInfo\<translation>\<key>" to
// output and answers the file version's most significant 32 bits (major << 16 | minor), or
// 0 when the block lacks the fixed information, the translation or the key. Otherwise:
// writes "<major>.<minor>" to output (when given) and answers the same 32 bits. output is
// left alone when the answer is 0. A damaged block answers 0; nothing is read outside it.
uint32_t QueryVersion(std::span<const uint8_t> resource, std::string_view key, std::string* output);

// QueryVersion on the version block of the executable at path; 0 for a file without one,
// a file that is not a 64-bit ELF file of this machine's byte order, or a damaged one.
uint32_t GetFileVersion(const std::string& path, std::string_view key, std::string* output);

// The bytes of the version section of the ELF file at path; nothing when it cannot be read,
// has no such section or is damaged. Reads only the headers and that section.
std::optional<std::vector<uint8_t>> ReadVersionResource(const std::string& path);

// The running executable's version block, read once; empty when it has none. Any thread.
std::span<const uint8_t> CurrentVersionResource();
