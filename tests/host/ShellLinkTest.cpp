#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "host/ShellLink.h"
#include "host/ShortcutWriter.h"

using namespace ShortcutWriter;

namespace {

const std::string c_LinkPath = "/links/sub/song.lnk";

ShellLink Read(const std::vector<uint8_t>& bytes, const std::string& linkPath = c_LinkPath)
{
    // An exact-size copy, so that a read past the end shows under AddressSanitizer.
    const std::vector<uint8_t> copy(bytes);
    return ShellLink::FromBytes(copy.data(), copy.size(), linkPath);
}

ShellLink Read(const LinkSpec& plan)
{
    return Read(Write(plan).bytes);
}

void ExpectUnread(const ShellLink& link, const std::string& what)
{
    EXPECT_FALSE(link.Loaded()) << what;
    EXPECT_EQ(link.Description(), "") << what;
    EXPECT_EQ(link.TargetPath(), "") << what;
    EXPECT_EQ(link.RelativePath(), "") << what;
    EXPECT_EQ(link.Arguments(), "") << what;
    EXPECT_EQ(link.WorkingDirectory(), "") << what;
    EXPECT_EQ(link.ShowCommand(), 1) << what;
}

LinkSpec LocalLink(std::u16string target)
{
    LinkSpec plan;
    plan.linkInfo = LinkInfoSpec().Local("?").LocalUnicode(std::move(target));
    return plan;
}

// Every part of the format present, ExtraData with one block before the terminal block.
LinkSpec FullLink(bool unicode)
{
    LinkSpec plan;
    plan.unicode = unicode;
    plan.showCommand = 3;
    plan.idList = std::vector<uint8_t>{0x14, 0x00, 0x1F, 0x50, 0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10, 0xA2,
        0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D, 0x00, 0x00};
    plan.linkInfo = LinkInfoSpec().Local("C:\\Music\\").Suffix("Song.mp3");
    plan.description = u"My song";
    plan.relativePath = u"..\\..\\Music\\Song.mp3";
    plan.workingDirectory = u"C:\\Music";
    plan.arguments = u"/play \"Song.mp3\"";
    plan.iconLocation = u"%SystemRoot%\\system32\\imageres.dll";
    plan.extraBlocks = {ExtraBlock(0xA0000003, 0x58)};
    return plan;
}

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-links-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream(m_path / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return File(name);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

TEST(ShellLinkReadTest, ReadsEveryFieldInBothCharacterSets)
{
    for (const bool unicode : {true, false}) {
        const ShellLink link = Read(FullLink(unicode));
        EXPECT_TRUE(link.Loaded()) << unicode;
        EXPECT_EQ(link.LinkPath(), c_LinkPath);
        EXPECT_EQ(link.Description(), "My song");
        EXPECT_EQ(link.TargetPath(), "C:\\Music\\Song.mp3");
        EXPECT_EQ(link.RelativePath(), "..\\..\\Music\\Song.mp3");
        EXPECT_EQ(link.WorkingDirectory(), "C:\\Music");
        EXPECT_EQ(link.Arguments(), "/play \"Song.mp3\"");
        EXPECT_EQ(link.ShowCommand(), 3);
    }
}

TEST(ShellLinkReadTest, AnsiTextsAreCodePage1252)
{
    LinkSpec plan;
    plan.unicode = false;
    plan.linkInfo = LinkInfoSpec().Local("C:\\M\xFAsica\\").Suffix("\x80.mp3");
    plan.description = u"Caf\xE9 \x80\x81\x9F\xFF";
    const ShellLink link = Read(plan);
    EXPECT_EQ(link.TargetPath(), "C:\\M\u00FAsica\\\u20AC.mp3");
    EXPECT_EQ(link.Description(), "Caf\u00E9 \u20AC\u0081\u0178\u00FF");
}

TEST(ShellLinkReadTest, UnicodeTextsKeepPairsAndReplaceLoneSurrogates)
{
    LinkSpec plan;
    plan.description = u"\U0001F3B5 \xD800x \xDC00 \xD800";
    plan.arguments = u"\u266A";
    const ShellLink link = Read(plan);
    EXPECT_EQ(link.Description(), "\U0001F3B5 \uFFFDx \uFFFD \uFFFD");
    EXPECT_EQ(link.Arguments(), "\u266A");

    // A high surrogate ending a string must not pair with what follows it in the file (here
    // an ExtraData block whose size begins with a low surrogate).
    LinkSpec last;
    last.description = u"x\xD800";
    last.extraBlocks = {ExtraBlock(0xA0000001, 0xDC00 - 8)};
    EXPECT_EQ(Read(last).Description(), "x\uFFFD");
}

TEST(ShellLinkReadTest, TextsEndAtTheirFirstNulButTheCountFindsTheNext)
{
    LinkSpec plan;
    plan.description = std::u16string(u"abc\0def", 7);
    plan.arguments = u"-x";
    const ShellLink link = Read(plan);
    EXPECT_EQ(link.Description(), "abc");
    EXPECT_EQ(link.Arguments(), "-x");
}

TEST(ShellLinkReadTest, LinkInfoPrefersUnicodeAndJoinsTheSuffix)
{
    const struct {
        LinkInfoSpec info;
        std::string target;
    } cases[] = {
        {LinkInfoSpec().Local("C:\\Music\\?.mp3").LocalUnicode(u"C:\\Music\\\u266A.mp3"), "C:\\Music\\\u266A.mp3"},
        {LinkInfoSpec().Local("C:\\Music\\a.mp3").LocalUnicode(u""), "C:\\Music\\a.mp3"},
        {LinkInfoSpec().Local("C:\\Users\\").Suffix("?").SuffixUnicode(u"\u00E9.mp3"), "C:\\Users\\\u00E9.mp3"},
        // Without the larger header the Unicode offsets are not there to be read.
        {LinkInfoSpec().Local("C:\\A").LocalUnicode(u"C:\\B").HeaderSize(0x1C), "C:\\A"},
        {LinkInfoSpec().Share("\\\\server\\share").Suffix("Music\\a.mp3"), "\\\\server\\share\\Music\\a.mp3"},
        {LinkInfoSpec().Share("\\\\server\\share\\").Suffix("a.mp3"), "\\\\server\\share\\a.mp3"},
        {LinkInfoSpec().Share("\\\\server\\share"), "\\\\server\\share"},
        {LinkInfoSpec().Share("?").ShareUnicode(u"\\\\\u00E9t\u00E9\\share"), "\\\\\u00E9t\u00E9\\share"},
        {LinkInfoSpec().Local("D:\\a.mp3").Share("\\\\server\\share"), "D:\\a.mp3"},
        // Only a name of the form \\server\share is taken for a share.
        {LinkInfoSpec().Share("server\\share").Suffix("a.mp3"), ""},
        {LinkInfoSpec().Share("\\\\\\share"), ""},
    };
    for (const auto& c : cases) {
        LinkSpec plan;
        plan.linkInfo = c.info;
        const ShellLink link = Read(plan);
        EXPECT_TRUE(link.Loaded()) << c.target;
        EXPECT_EQ(link.TargetPath(), c.target);
    }
}

TEST(ShellLinkReadTest, RelativePathIsTheTargetWhenLinkInfoNamesNone)
{
    LinkSpec plan;
    plan.relativePath = u"..\\Music\\a.mp3";
    EXPECT_EQ(Read(plan).TargetPath(), "..\\Music\\a.mp3");

    plan.linkInfo = LinkInfoSpec().Local("C:\\Music\\a.mp3");
    plan.extraFlags = c_ForceNoLinkInfo;
    EXPECT_EQ(Read(plan).TargetPath(), "..\\Music\\a.mp3");

    plan.linkInfo = LinkInfoSpec().Share("not a share");
    plan.extraFlags = 0;
    EXPECT_EQ(Read(plan).TargetPath(), "..\\Music\\a.mp3");
}

TEST(ShellLinkReadTest, ShowCommandOutsideOneThreeSevenReadsAsOne)
{
    const std::pair<uint32_t, int32_t> cases[] = {{0, 1}, {1, 1}, {2, 1}, {3, 3}, {7, 7}, {0x103, 1}, {0xFFFFFFFF, 1}};
    for (const auto& [stored, read] : cases) {
        LinkSpec plan;
        plan.showCommand = stored;
        EXPECT_EQ(Read(plan).ShowCommand(), read) << stored;
    }
}

TEST(ShellLinkLimitTest, FieldsAreCutToTheirLimitInCharacters)
{
    using Field = const std::string& (ShellLink::*)() const noexcept;
    const struct {
        std::optional<std::u16string> LinkSpec::*text; // null: the LinkInfo target
        Field field;
        size_t limit;
    } fields[] = {
        {&LinkSpec::description, &ShellLink::Description, 200},
        {&LinkSpec::arguments, &ShellLink::Arguments, 260},
        {&LinkSpec::workingDirectory, &ShellLink::WorkingDirectory, 260},
        {&LinkSpec::relativePath, &ShellLink::RelativePath, 260},
        {nullptr, &ShellLink::TargetPath, 260},
    };
    // One, two, three and four UTF-8 bytes; the last is two UTF-16 units.
    const std::pair<std::u16string, std::string> characters[]
        = {{u"a", "a"}, {u"\u00E9", "\u00E9"}, {u"\u20AC", "\u20AC"}, {u"\U0001F3B5", "\U0001F3B5"}};
    for (const auto& f : fields) {
        for (const auto& [unit, utf8] : characters) {
            for (const size_t count : {f.limit, f.limit + 1, size_t(0xFFFF) / unit.size()}) {
                std::u16string text;
                for (size_t i = 0; i < count; ++i)
                    text += unit;
                LinkSpec plan = f.text ? LinkSpec() : LocalLink(text);
                if (f.text)
                    plan.*f.text = text;
                std::string expected;
                for (size_t i = 0; i < std::min(count, f.limit); ++i)
                    expected += utf8;
                EXPECT_EQ((Read(plan).*f.field)(), expected) << f.limit << " " << utf8 << " x" << count;
            }
        }
    }
}

TEST(ShellLinkLimitTest, TargetIsCutAfterJoiningBaseAndSuffix)
{
    LinkSpec plan;
    plan.linkInfo = LinkInfoSpec().Local(std::string(200, 'b')).Suffix(std::string(100, 's'));
    EXPECT_EQ(Read(plan).TargetPath(), std::string(200, 'b') + std::string(60, 's'));
}

TEST(ShellLinkRejectTest, WhatIsNotAShortcutIsNotRead)
{
    const std::vector<uint8_t> good = Write(FullLink(true)).bytes;
    ExpectUnread(Read(std::vector<uint8_t>{}), "empty");
    ExpectUnread(ShellLink::FromBytes(nullptr, 100, c_LinkPath), "null");
    ExpectUnread(Read(std::vector<uint8_t>(good.begin(), good.begin() + 0x4B)), "header only in part");
    for (const uint32_t headerSize : {0x4Bu, 0x4Du, 0u, 0x4C000000u}) {
        std::vector<uint8_t> bytes = good;
        PutU32(bytes, 0, headerSize);
        ExpectUnread(Read(bytes), "header size " + std::to_string(headerSize));
    }
    for (size_t i = 4; i < 20; ++i) {
        std::vector<uint8_t> bytes = good;
        bytes[i] ^= 0x01;
        ExpectUnread(Read(bytes), "CLSID byte " + std::to_string(i));
    }
}

TEST(ShellLinkRejectTest, TruncationAtEveryOffset)
{
    for (const bool unicode : {true, false}) {
        const Shortcut full = Write(FullLink(unicode));
        const ShellLink whole = Read(full.bytes);
        ASSERT_TRUE(whole.Loaded());
        // ExtraData may end after any whole block; a cut anywhere else is a truncation.
        const size_t blockEnd = full.extraDataAt + FullLink(unicode).extraBlocks[0].size();
        for (size_t size = 0; size < full.bytes.size(); ++size) {
            const ShellLink link = Read(std::vector<uint8_t>(full.bytes.begin(), full.bytes.begin() + size));
            if (size == full.extraDataAt || size == blockEnd) {
                EXPECT_TRUE(link.Loaded()) << size;
                EXPECT_EQ(link.TargetPath(), whole.TargetPath()) << size;
                EXPECT_EQ(link.Arguments(), whole.Arguments()) << size;
            } else {
                ExpectUnread(link, "cut to " + std::to_string(size) + (unicode ? " unicode" : " ansi"));
            }
        }
    }
}

TEST(ShellLinkRejectTest, SizesAndOffsetsPointingOutside)
{
    const Shortcut full = Write(FullLink(true));
    const size_t info = full.linkInfoAt;
    const uint32_t infoSize = static_cast<uint32_t>(full.stringDataAt - info);
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
        bool wide;
    } patches[] = {
        {"IDListSize", 0x4C, 0xFFFF, false},
        {"LinkInfoSize huge", info, 0xFFFFFFFF, true},
        {"LinkInfoSize zero", info, 0, true},
        {"LinkInfoSize below its header", info, 0x10, true},
        {"LinkInfoHeaderSize past LinkInfo", info + c_LinkInfoHeaderSizeAt, infoSize + 4, true},
        {"LinkInfoHeaderSize too small", info + c_LinkInfoHeaderSizeAt, 0x18, true},
        {"LocalBasePathOffset at the end", info + c_LocalBasePathOffsetAt, infoSize, true},
        {"LocalBasePathOffset huge", info + c_LocalBasePathOffsetAt, 0xFFFFFFF0, true},
        {"CommonPathSuffixOffset huge", info + c_CommonPathSuffixOffsetAt, 0x80000000, true},
        // The last byte of LinkInfo is the suffix's NUL: pointing at it and replacing it leaves
        // a string without end.
        {"string without NUL", full.stringDataAt - 1, 'x', false},
        {"description count 0xFFFF", full.stringDataAt, 0xFFFF, false},
        {"extra block huge", full.extraDataAt, 0xFFFFFFFF, true},
    };
    for (const auto& p : patches) {
        std::vector<uint8_t> bytes = full.bytes;
        if (p.wide)
            PutU32(bytes, p.at, p.value);
        else if (p.value > 0xFF)
            PutU16(bytes, p.at, static_cast<uint16_t>(p.value));
        else
            bytes[p.at] = static_cast<uint8_t>(p.value);
        ExpectUnread(Read(bytes), p.what);
    }
    // An ignored LinkInfo still has to be a whole one to be stepped over.
    for (const uint32_t size : {0u, 0x10u}) {
        std::vector<uint8_t> bytes = full.bytes;
        PutU32(bytes, c_LinkFlagsAt, GetU32(bytes, c_LinkFlagsAt) | c_ForceNoLinkInfo);
        PutU32(bytes, info, size);
        ExpectUnread(Read(bytes), "ignored LinkInfo of size " + std::to_string(size));
    }

    // The network link's own size, too small and past LinkInfo.
    LinkSpec share;
    share.linkInfo = LinkInfoSpec().Share("\\\\server\\share");
    const Shortcut shareLink = Write(share);
    ASSERT_EQ(Read(shareLink.bytes).TargetPath(), "\\\\server\\share");
    const size_t netLinkAt
        = shareLink.linkInfoAt + GetU32(shareLink.bytes, shareLink.linkInfoAt + c_NetworkLinkOffsetAt);
    for (const uint32_t size : {0x10u, 0x1000u}) {
        std::vector<uint8_t> bytes = shareLink.bytes;
        PutU32(bytes, netLinkAt, size);
        ExpectUnread(Read(bytes), "network link size " + std::to_string(size));
    }
}

TEST(ShellLinkRejectTest, NothingLargerThanOneMebibyteIsRead)
{
    TempFolder folder;
    for (const size_t size : {ShellLink::c_MaxFileBytes, ShellLink::c_MaxFileBytes + 1}) {
        LinkSpec plan = LocalLink(u"C:\\a.mp3");
        const size_t rest = size - Write(plan).bytes.size();
        plan.extraBlocks = {ExtraBlock(0xA0000001, rest - 8)};
        const std::vector<uint8_t> bytes = Write(plan).bytes;
        ASSERT_EQ(bytes.size(), size);
        const bool fits = size <= ShellLink::c_MaxFileBytes;
        EXPECT_EQ(Read(bytes).TargetPath(), fits ? "C:\\a.mp3" : "") << size;
        EXPECT_EQ(ShellLink(folder.Write("big.lnk", bytes)).TargetPath(), fits ? "C:\\a.mp3" : "") << size;
    }
}

TEST(ShellLinkFileTest, ReadsAFileLikeItsBytes)
{
    TempFolder folder;
    const std::vector<uint8_t> bytes = Write(FullLink(true)).bytes;
    const std::string path = folder.Write("song.lnk", bytes);
    const ShellLink fromFile(path);
    const ShellLink fromBytes = Read(bytes, path);
    EXPECT_TRUE(fromFile.Loaded());
    EXPECT_EQ(fromFile.LinkPath(), path);
    EXPECT_EQ(fromFile.Description(), fromBytes.Description());
    EXPECT_EQ(fromFile.TargetPath(), fromBytes.TargetPath());
    EXPECT_EQ(fromFile.TargetAsLocalPath(), fromBytes.TargetAsLocalPath());
    EXPECT_EQ(fromFile.ShowCommand(), 3);
}

TEST(ShellLinkFileTest, UnreadableFilesLeaveEveryFieldEmpty)
{
    TempFolder folder;
    const std::string fifo = folder.File("pipe.lnk");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder.File("folder.lnk"));
    for (const std::string& path :
        {folder.File("missing.lnk"), folder.File("folder.lnk"), fifo, folder.Write("empty.lnk", {})}) {
        const ShellLink link(path);
        ExpectUnread(link, path);
        EXPECT_EQ(link.LinkPath(), path);
    }
}

TEST(ShellLinkLocalPathTest, TargetAsLocalPath)
{
    const std::string cwd = std::filesystem::current_path().string();
    const struct {
        std::optional<std::string> localBase;
        std::optional<std::u16string> relative;
        std::string linkPath;
        std::string local;
    } cases[] = {
        {"C:\\Music\\a.mp3", {}, "/links/x.lnk", "C:/Music/a.mp3"},
        {"\\\\server\\share\\a.mp3", {}, "/links/x.lnk", "//server/share/a.mp3"},
        // A Windows-only target gives way to the relative path, which finds copied disks.
        {"C:\\Users\\me\\Music\\a.mp3", u"..\\Music\\a.mp3", "/mnt/win/Users/me/Desktop/a.lnk",
            "/mnt/win/Users/me/Music/a.mp3"},
        {{}, u".\\a.mp3", "/links/x.lnk", "/links/a.mp3"},
        {{}, u"Music\\", "/links/x.lnk", "/links/Music"},
        {{}, u"..\\..\\..\\a.mp3", "/links/x.lnk", "/a.mp3"},
        {{}, u"a.mp3", "rel/x.lnk", cwd + "/rel/a.mp3"},
        {{}, u"D:\\a.mp3", "/links/x.lnk", "D:/a.mp3"},
        {{}, {}, "/links/x.lnk", ""},
    };
    for (const auto& c : cases) {
        LinkSpec plan;
        if (c.localBase)
            plan.linkInfo = LinkInfoSpec().Local(*c.localBase);
        plan.relativePath = c.relative;
        EXPECT_EQ(Read(Write(plan).bytes, c.linkPath).TargetAsLocalPath(), c.local) << c.local;
    }
}

} // namespace
