#include "Version.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/VersionBlock.h"
#include "platform/System.h"

namespace {

// Far above anything we build; a larger size means a damaged or hostile file.
constexpr uint64_t c_maxSectionNamesBytes = 1 << 20;
constexpr uint64_t c_maxBlockBytes = 1 << 16;

constexpr char c_fixedInfo[] = "\\";
constexpr char c_translation[] = "\\VarFileInfo\\Translation";
constexpr size_t c_fixedInfoSizeBytes = 16;

uint32_t ReadWord(std::span<const uint8_t> bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16
        | uint32_t(bytes[at + 3]) << 24;
}

// The value of the sub-block called name, or nothing when the block lacks it or is damaged.
std::optional<std::span<const uint8_t>> FindSubBlock(std::span<const uint8_t> block, std::string_view name)
{
    using namespace VersionBlock;
    if (block.size() < c_headerSizeBytes || std::memcmp(block.data(), c_magic.data(), c_magic.size()) != 0)
        return std::nullopt;
    const size_t size = ReadWord(block, 8);
    const uint32_t count = ReadWord(block, 12);
    if (size < c_headerSizeBytes || size > block.size())
        return std::nullopt;

    size_t at = c_headerSizeBytes;
    for (uint32_t index = 0; index < count; ++index) {
        if (at > size || size - at < c_entryHeaderSizeBytes)
            return std::nullopt;
        const size_t nameSize = ReadWord(block, at);
        const size_t valueSize = ReadWord(block, at + 4);
        at += c_entryHeaderSizeBytes;
        if (nameSize == 0 || nameSize > size - at || block[at + nameSize - 1] != 0)
            return std::nullopt;
        const std::string_view entryName(reinterpret_cast<const char*>(block.data() + at), nameSize - 1);
        at += nameSize;
        if (valueSize > size - at)
            return std::nullopt;
        if (entryName == name)
            return block.subspan(at, valueSize);
        at = Padded(at + valueSize);
    }
    return std::nullopt;
}

// Reads exactly sizeBytes at offset of a file of fileSizeBytes; false rather than read
// beyond its end.
bool ReadAt(int fd, uint64_t fileSizeBytes, uint64_t offset, void* out, uint64_t sizeBytes)
{
    if (offset > fileSizeBytes || sizeBytes > fileSizeBytes - offset)
        return false;
    auto* bytes = static_cast<uint8_t*>(out);
    uint64_t done = 0;
    while (done < sizeBytes) {
        const ssize_t got = pread(fd, bytes + done, sizeBytes - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<uint64_t>(got);
    }
    return true;
}

std::optional<std::vector<uint8_t>> ReadSection(int fd, const char* sectionName)
{
    struct stat status { };
    // Only regular files: a device or a pipe has no size to check offsets against.
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    const uint64_t fileSize = static_cast<uint64_t>(status.st_size);

    Elf64_Ehdr header{};
    if (!ReadAt(fd, fileSize, 0, &header, sizeof header))
        return std::nullopt;
    constexpr unsigned char c_byteOrder = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64
        || header.e_ident[EI_DATA] != c_byteOrder || header.e_shoff == 0 || header.e_shentsize != sizeof(Elf64_Shdr))
        return std::nullopt;

    // With many sections the real count and name-table index live in the first header.
    uint64_t count = header.e_shnum;
    uint64_t namesIndex = header.e_shstrndx;
    if (count == 0 || namesIndex == SHN_XINDEX) {
        Elf64_Shdr first{};
        if (!ReadAt(fd, fileSize, header.e_shoff, &first, sizeof first))
            return std::nullopt;
        if (count == 0)
            count = first.sh_size;
        if (namesIndex == SHN_XINDEX)
            namesIndex = first.sh_link;
    }
    if (count == 0 || namesIndex >= count || count > fileSize / sizeof(Elf64_Shdr))
        return std::nullopt;
    std::vector<Elf64_Shdr> sections(count);
    if (!ReadAt(fd, fileSize, header.e_shoff, sections.data(), count * sizeof(Elf64_Shdr)))
        return std::nullopt;

    const Elf64_Shdr& namesSection = sections[namesIndex];
    if (namesSection.sh_type != SHT_STRTAB || namesSection.sh_size > c_maxSectionNamesBytes)
        return std::nullopt;
    std::vector<char> names(namesSection.sh_size);
    if (!ReadAt(fd, fileSize, namesSection.sh_offset, names.data(), names.size()))
        return std::nullopt;

    for (const Elf64_Shdr& section : sections) {
        if (section.sh_name >= names.size())
            continue;
        const char* name = names.data() + section.sh_name;
        const size_t room = names.size() - section.sh_name;
        if (strnlen(name, room) == room || std::strcmp(name, sectionName) != 0)
            continue;
        if (section.sh_type == SHT_NOBITS || section.sh_size > c_maxBlockBytes)
            return std::nullopt;
        std::vector<uint8_t> block(section.sh_size);
        if (!ReadAt(fd, fileSize, section.sh_offset, block.data(), block.size()))
            return std::nullopt;
        return block;
    }
    return std::nullopt;
}

} // namespace

uint32_t QueryVersion(std::span<const uint8_t> resource, std::string_view key, std::string* output)
{
    const std::optional<std::span<const uint8_t>> fixed = FindSubBlock(resource, c_fixedInfo);
    if (!fixed || fixed->size() < c_fixedInfoSizeBytes)
        return 0;
    const uint32_t fileVersionMs = ReadWord(*fixed, 0);

    if (!key.empty() && output) {
        const std::optional<std::span<const uint8_t>> translation = FindSubBlock(resource, c_translation);
        if (!translation || translation->size() < 4)
            return 0;
        // Stored language low, code page high; the name wants the language first.
        const uint32_t entry = ReadWord(*translation, 0);
        char prefix[40];
        std::snprintf(
            prefix, sizeof prefix, "\\StringFileInfo\\%08lX\\", static_cast<unsigned long>(entry << 16 | entry >> 16));
        const std::optional<std::span<const uint8_t>> text = FindSubBlock(resource, prefix + std::string(key));
        if (!text)
            return 0;
        const auto* begin = reinterpret_cast<const char*>(text->data());
        output->assign(begin, strnlen(begin, text->size()));
        return fileVersionMs;
    }

    if (output) {
        char text[24];
        std::snprintf(text, sizeof text, "%u.%u", fileVersionMs >> 16, fileVersionMs & 0xFFFF);
        *output = text;
    }
    return fileVersionMs;
}

uint32_t GetFileVersion(const std::string& path, std::string_view key, std::string* output)
{
    const std::optional<std::vector<uint8_t>> resource = ReadVersionResource(path);
    return resource ? QueryVersion(*resource, key, output) : 0;
}

std::optional<std::vector<uint8_t>> ReadVersionResource(const std::string& path)
{
    // Non-blocking, so that naming a FIFO cannot hang the reader; nothing else is affected.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    const struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    return ReadSection(fd, c_versionSectionName);
}

std::span<const uint8_t> CurrentVersionResource()
{
    static const std::vector<uint8_t> block
        = ReadVersionResource(Platform::ExecutablePath()).value_or(std::vector<uint8_t>());
    return block;
}
