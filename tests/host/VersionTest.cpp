#include <cstring>
#include <elf.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "host/Version.h"
#include "host/VersionBlock.h"
#include "platform/System.h"

namespace fs = std::filesystem;
using namespace VersionBlock;

namespace {

const char c_productVersionName[] = "\\StringFileInfo\\040904B0\\ProductVersion";

std::vector<uint8_t> SampleBlock()
{
    const Entry entries[] = {
        FixedInfo(1, 5, 3, 9),
        Translation(0x0409, 1200),
        Text("\\StringFileInfo\\040904B0\\CompanyName", "Lumo"),
        Text(c_productVersionName, "1.5.3"),
    };
    return Build(entries);
}

TEST(QueryVersion, WithoutKeyAnswersMajorDotMinorAndTheHighWord)
{
    std::string text;
    EXPECT_EQ(QueryVersion(SampleBlock(), "", &text), 0x00010005u);
    EXPECT_EQ(text, "1.5");

    const Entry wide[] = {FixedInfo(2, 300, 0, 0)};
    EXPECT_EQ(QueryVersion(Build(wide), "", &text), 0x0002012Cu);
    EXPECT_EQ(text, "2.300");

    // A key without an output is the same question.
    EXPECT_EQ(QueryVersion(SampleBlock(), "ProductVersion", nullptr), 0x00010005u);
}

TEST(QueryVersion, KeyReadsTheStringOfTheFirstTranslation)
{
    std::string text;
    EXPECT_EQ(QueryVersion(SampleBlock(), "ProductVersion", &text), 0x00010005u);
    EXPECT_EQ(text, "1.5.3");
    EXPECT_EQ(QueryVersion(SampleBlock(), "CompanyName", &text), 0x00010005u);
    EXPECT_EQ(text, "Lumo");

    text = "untouched";
    EXPECT_EQ(QueryVersion(SampleBlock(), "LegalCopyright", &text), 0u);
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(QueryVersion(SampleBlock(), "productversion", &text), 0u);

    // German, Western European code page: the name puts the language first.
    const Entry german[] = {
        FixedInfo(3, 1, 0, 0),
        Translation(0x0407, 1252),
        Text(c_productVersionName, "wrong translation"),
        Text("\\StringFileInfo\\040704E4\\ProductVersion", "3.1 (de)"),
    };
    EXPECT_EQ(QueryVersion(Build(german), "ProductVersion", &text), 0x00030001u);
    EXPECT_EQ(text, "3.1 (de)");
}

TEST(QueryVersion, MissingPartsAnswerZero)
{
    std::string text = "untouched";
    const Entry noFixed[] = {Translation(0x0409, 1200), Text(c_productVersionName, "1.0")};
    EXPECT_EQ(QueryVersion(Build(noFixed), "", &text), 0u);
    EXPECT_EQ(QueryVersion(Build(noFixed), "ProductVersion", &text), 0u);

    const Entry noTranslation[] = {FixedInfo(1, 2, 0, 0), Text(c_productVersionName, "1.2")};
    EXPECT_EQ(QueryVersion(Build(noTranslation), "ProductVersion", &text), 0u);
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(QueryVersion(Build(noTranslation), "", &text), 0x00010002u);

    // Fixed information too short to hold the four words.
    const Entry shortFixed[] = {Text("\\", "ab")};
    EXPECT_EQ(QueryVersion(Build(shortFixed), "", &text), 0u);

    EXPECT_EQ(QueryVersion({}, "", &text), 0u);
}

TEST(QueryVersion, DamagedBlocksAnswerZeroWithoutReadingOutside)
{
    const std::vector<uint8_t> block = SampleBlock();
    std::string text;
    // Every truncation: the block's own size no longer fits. Copies, so that a read past the
    // end lands outside the allocation where a sanitizer sees it.
    for (size_t size = 0; size < block.size(); ++size) {
        const std::vector<uint8_t> cut(block.begin(), block.begin() + static_cast<ptrdiff_t>(size));
        EXPECT_EQ(QueryVersion(cut, "ProductVersion", &text), 0u) << size;
    }

    auto patched = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> copy = block;
        std::memcpy(copy.data() + at, &value, 4);
        return copy;
    };
    const size_t firstEntry = c_headerSizeBytes;
    EXPECT_EQ(QueryVersion(patched(0, 0x4F4D554D), "", &text), 0u) << "wrong magic";
    EXPECT_EQ(QueryVersion(patched(8, 0xFFFFFFF0), "", &text), 0u) << "size beyond the buffer";
    EXPECT_EQ(QueryVersion(patched(12, 1000), "LegalCopyright", &text), 0u) << "more entries than stored";
    EXPECT_EQ(QueryVersion(patched(firstEntry, 0xFFFFFFFF), "", &text), 0u) << "name size beyond the block";
    EXPECT_EQ(QueryVersion(patched(firstEntry, 0), "", &text), 0u) << "empty name";
    EXPECT_EQ(QueryVersion(patched(firstEntry + 4, 0xFFFFFFF8), "", &text), 0u) << "value beyond the block";
    // The "\" name of the first entry without its NUL.
    std::vector<uint8_t> unterminated = block;
    unterminated[firstEntry + c_entryHeaderSizeBytes + 1] = 'x';
    EXPECT_EQ(QueryVersion(unterminated, "", &text), 0u);
}

TEST(ProgramVersion, TheRunningExecutableCarriesTheProjectsVersion)
{
    const std::span<const uint8_t> block = CurrentVersionResource();
    ASSERT_FALSE(block.empty());
    const uint32_t expected = LUMO_PROJECT_VERSION_MAJOR << 16 | LUMO_PROJECT_VERSION_MINOR;

    std::string text;
    EXPECT_EQ(QueryVersion(block, "", &text), expected);
    EXPECT_EQ(text, std::to_string(LUMO_PROJECT_VERSION_MAJOR) + "." + std::to_string(LUMO_PROJECT_VERSION_MINOR));
    EXPECT_EQ(QueryVersion(block, "ProductVersion", &text), expected);
    EXPECT_EQ(text, LUMO_PROJECT_VERSION);
    EXPECT_EQ(QueryVersion(block, "LegalCopyright", &text), expected);
    EXPECT_EQ(text, LUMO_PROJECT_COPYRIGHT);
    for (const char* key : {"FileVersion", "ProductName", "CompanyName", "FileDescription"}) {
        text.clear();
        EXPECT_EQ(QueryVersion(block, key, &text), expected) << key;
        EXPECT_FALSE(text.empty()) << key;
    }

    text.clear();
    EXPECT_EQ(GetFileVersion(Platform::ExecutablePath(), "ProductVersion", &text), expected);
    EXPECT_EQ(text, LUMO_PROJECT_VERSION);
}

class FileVersionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "lumo-version-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        std::ifstream in(Platform::ExecutablePath(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        m_program = bytes.str();
        ASSERT_GT(m_program.size(), sizeof(Elf64_Ehdr));
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    std::string Save(const std::string& name, const std::string& bytes)
    {
        const fs::path path = m_folder / name;
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    // The program with a header field changed.
    template <class T>
    std::string Patched(size_t at, T value)
    {
        std::string copy = m_program;
        std::memcpy(copy.data() + at, &value, sizeof value);
        return copy;
    }

    uint32_t Version(const std::string& path)
    {
        std::string text;
        return GetFileVersion(path, "ProductVersion", &text);
    }

    fs::path m_folder;
    std::string m_program;
};

TEST_F(FileVersionTest, ACopyOfTheProgramHasTheBlock)
{
    std::string text;
    EXPECT_NE(GetFileVersion(Save("copy", m_program), "", &text), 0u);
    EXPECT_EQ(text, std::to_string(LUMO_PROJECT_VERSION_MAJOR) + "." + std::to_string(LUMO_PROJECT_VERSION_MINOR));
}

TEST_F(FileVersionTest, FilesWithoutABlockAnswerZero)
{
    EXPECT_EQ(Version(Save("text", "just some text, long enough to fill an ELF header and then some more")), 0u);
    EXPECT_EQ(Version(Save("empty", "")), 0u);
    EXPECT_EQ(Version((m_folder / "missing").string()), 0u);
    EXPECT_EQ(Version(m_folder.string()), 0u);
    // Must answer at once instead of waiting for a writer.
    ASSERT_EQ(mkfifo((m_folder / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(Version((m_folder / "fifo").string()), 0u);

    // A sound ELF file whose sections have other names.
    std::string renamed = m_program;
    for (size_t at = renamed.find(c_versionSectionName); at != std::string::npos;
         at = renamed.find(c_versionSectionName, at))
        renamed[at + 1] = 'X';
    EXPECT_EQ(Version(Save("renamed", renamed)), 0u);
}

TEST_F(FileVersionTest, TruncatedOrDamagedProgramsAnswerZero)
{
    const size_t size = m_program.size();
    for (size_t length : {size_t(4), sizeof(Elf64_Ehdr) - 1, sizeof(Elf64_Ehdr), size / 2, size - 1}) {
        const std::string path = Save("cut-" + std::to_string(length), m_program.substr(0, length));
        EXPECT_EQ(Version(path), 0u) << length;
    }

    Elf64_Ehdr header;
    std::memcpy(&header, m_program.data(), sizeof header);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"32-bit class", Patched<uint8_t>(EI_CLASS, ELFCLASS32)},
        {"other byte order", Patched<uint8_t>(EI_DATA, ELFDATA2MSB)},
        {"bad magic", Patched<uint8_t>(EI_MAG1, 'Z')},
        {"section table past the end", Patched(offsetof(Elf64_Ehdr, e_shoff), uint64_t(size - 8))},
        {"section table offset overflows", Patched(offsetof(Elf64_Ehdr, e_shoff), ~uint64_t(0) - 8)},
        {"odd section header size", Patched(offsetof(Elf64_Ehdr, e_shentsize), uint16_t(32))},
        {"name table index out of range", Patched(offsetof(Elf64_Ehdr, e_shstrndx), header.e_shnum)},
        {"too many sections", Patched(offsetof(Elf64_Ehdr, e_shnum), uint16_t(0xFEFF))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Version(Save("damaged", c.bytes)), 0u) << c.what;
}

} // namespace
