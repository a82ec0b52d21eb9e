// Shortcuts as media items through a real host: the target's details under the shortcut's name,
// broken shortcuts, forwarding of other APIs, and the date helper modules use.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Filter.h>
#include <lumo/Platform.h>

#include "ShortcutWriter.h"
#include "common/Exceptions.h"
#include "host/ContentType.h"
#include "host/DetailsHelp.h"
#include "host/HostInternals.h"
#include "host/MediaItem.h"
#include "host/ShellLinkModule.h"
#include "host/Url.h"
#include "support/HostFolder.h"

using namespace LumoApi;

TEST(DetailsHelp, FormatsFileTimesAsHexSeconds)
{
    DetailsHelp& help = DetailsHelp::Instance();
    LumoSetLastError(0);
    EXPECT_EQ(help.FormatFileTime(nullptr), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);

    // 2004-03-05 14:07:09 UTC.
    const FileTime time{634643584u, 29622971u};
    char* text = help.FormatFileTime(&time);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "0x4048898D");
    LumoFreeBuffer(text);

    // Before 1970 the text cannot hold the time.
    const FileTime early{0, 1};
    EXPECT_EQ(help.FormatFileTime(&early), nullptr);
    EXPECT_EQ(UnixSecondsOfFileTime(FileTime{0xD53E8000u, 0x019DB1DEu}), 0u);
}

namespace {

class ShortcutTest : public ::testing::Test {
protected:
    // Writes name.lnk pointing at target (a local path); answers the shortcut's URL.
    Url WriteShortcut(const std::string& name, const std::string& target)
    {
        ShortcutWriter::LinkSpec plan;
        plan.linkInfo = ShortcutWriter::LinkInfoSpec().Local(target);
        plan.description = u"A test shortcut";
        const ShortcutWriter::Shortcut shortcut = ShortcutWriter::Write(plan);
        const std::string path = m_folder.File(name + ".lnk");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(shortcut.bytes.data()), std::streamsize(shortcut.bytes.size()));
        return FileUrlFromPath(path);
    }

    std::string Target(const std::string& name)
    {
        const std::string path = m_folder.File(name);
        std::ofstream(path) << "song";
        return path;
    }

    static std::vector<std::string> Names(DetailsApi& details)
    {
        std::vector<std::string> names;
        for (const char* name = details.GetFirstName(); name; name = details.GetNextName())
            names.push_back(name);
        EXPECT_EQ(LumoGetLastError(), ERROR_NO_MORE_ITEMS);
        return names;
    }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
};

} // namespace

TEST_F(ShortcutTest, DetailsAreTheTargetsUnderTheShortcutsName)
{
    const std::string target = Target("track.fxa");
    const Url link = WriteShortcut("My Song", target);
    EXPECT_EQ(m_host.FormatGroup().DecideContentType(link.Api(), nullptr), c_ShellLinkType);

    ApiRef<DetailsApi> details
        = ApiRef<DetailsApi>::Adopt(static_cast<DetailsApi*>(m_host.MediaGroup().GetApi("DetailsApi", link.Api())));
    ASSERT_TRUE(details);
    EXPECT_STREQ(details->GetValue("Title"), "My Song");
    EXPECT_STREQ(details->GetValue("FileName"), "My Song");
    EXPECT_STREQ(details->GetValue("ShellLink"), LocalPathOf(link).c_str());
    EXPECT_EQ(std::string(details->GetValue("ShellLinkTarget")), FileUrlFromPath(target).Text());
    // The target's own properties come through.
    EXPECT_EQ(std::string(details->GetValue("SourceLocation")), FileUrlFromPath(target).Text());

    // "Title" is listed first; the shortcut's own names and "FileName" are not listed.
    const std::vector<std::string> names = Names(*details);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "Title");
    for (const char* hidden : {"ShellLink", "ShellLinkTarget", "FileName"})
        EXPECT_EQ(std::count(names.begin(), names.end(), hidden), 0) << hidden;
    EXPECT_EQ(std::count(names.begin(), names.end(), "SourceLocation"), 1);

    MediaItem item(ApiRef<UrlApi>::Share(link.Api()));
    EXPECT_EQ(item.Property("Title"), "My Song");
}

TEST_F(ShortcutTest, AShortcutWhoseTargetIsGoneIsBroken)
{
    const std::string target = Target("gone.fxa");
    const Url link = WriteShortcut("Gone", target);
    std::filesystem::remove(target);

    ApiRef<DetailsApi> details
        = ApiRef<DetailsApi>::Adopt(static_cast<DetailsApi*>(m_host.MediaGroup().GetApi("DetailsApi", link.Api())));
    ASSERT_TRUE(details);
    EXPECT_STREQ(details->GetValue("ContentType"), c_BrokenType);
    EXPECT_STREQ(details->GetValue("SourceFormat"), c_BrokenType);
    EXPECT_STREQ(details->GetValue("Title"), "Gone");
    MediaItem item(ApiRef<UrlApi>::Share(link.Api()));
    EXPECT_FALSE(item.IsAudio());
    EXPECT_EQ(ContentTypeMinor(item.Property("ContentType")), "lumo-broken");

    // Any other API is asked of the missing target, which fails there.
    EXPECT_EQ(m_host.MediaGroup().GetApi("ContainerApi", link.Api()), nullptr);
    EXPECT_NE(LumoGetLastError(), ERROR_SUCCESS);
}

TEST_F(ShortcutTest, OtherApisComeFromTheTarget)
{
    const std::string target = Target("track.fxa");
    const Url link = WriteShortcut("Track", target);
    ApiRef<Api> container = ApiRef<Api>::Adopt(m_host.MediaGroup().GetApi("ContainerApi", link.Api()));
    // The fixture gives no container for a song: the target's own answer comes back.
    EXPECT_FALSE(container);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ShortcutTest, OnlyFileShortcutsAreRead)
{
    ApiRef<UrlApi> url = ApiRef<UrlApi>::Adopt(Url::FromText("mem://fixture/x.lnk").NewRef());
    MediaApi& shellLink = *static_cast<MediaApi*>(ShellLinkModule::Instance().GetRecord("MediaApi"));
    EXPECT_EQ(shellLink.GetApi("DetailsApi", url.Get()), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_UNSUPPORTED_TYPE);
    EXPECT_STREQ(shellLink.GetContentTypes(), "application/x-lumolink");
    EXPECT_EQ(shellLink.GetSecondaryTypes(), nullptr);
}

TEST_F(ShortcutTest, AChainOfShortcutsThatComesBackEnds)
{
    // a.lnk → b.lnk → a.lnk: asking for a container must fail, not recurse without end.
    const Url a = WriteShortcut("a", m_folder.File("b.lnk"));
    WriteShortcut("b", m_folder.File("a.lnk"));
    EXPECT_EQ(m_host.MediaGroup().GetApi("ContainerApi", a.Api()), nullptr);
    EXPECT_EQ(LumoGetLastError(), 1921u);
}

// Asking for the details of such a chain overflowed the stack.
TEST_F(ShortcutTest, AShortcutToItselfOrToOneThatPointsBackIsBroken)
{
    const Url self = WriteShortcut("self", m_folder.File("self.lnk"));
    const Url there = WriteShortcut("there", m_folder.File("back.lnk"));
    const Url back = WriteShortcut("back", m_folder.File("there.lnk"));
    for (const auto& [link, name] : {std::pair{&self, "self"}, std::pair{&there, "there"}, std::pair{&back, "back"}}) {
        ApiRef<DetailsApi> details = ApiRef<DetailsApi>::Adopt(
            static_cast<DetailsApi*>(m_host.MediaGroup().GetApi("DetailsApi", link->Api())));
        ASSERT_TRUE(details) << name << ": " << LumoGetLastError();
        EXPECT_STREQ(details->GetValue("ContentType"), c_BrokenType) << name;
        EXPECT_STREQ(details->GetValue("Title"), name);
        EXPECT_EQ(m_host.MediaGroup().GetApi("ContainerApi", link->Api()), nullptr);
        EXPECT_EQ(LumoGetLastError(), 1921u) << name;
    }
}

TEST_F(ShortcutTest, AWindowsDriveTargetIsMissingHereWhateverTheWorkingFolderHolds)
{
    // "C:/x.fxa" relative to the working folder must not be taken for the target.
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(m_folder.Path());
    std::filesystem::create_directories(m_folder.File("C:"));
    Target("C:/x.fxa");
    const Url link = WriteShortcut("Windows", "C:\\x.fxa");
    ApiRef<DetailsApi> details
        = ApiRef<DetailsApi>::Adopt(static_cast<DetailsApi*>(m_host.MediaGroup().GetApi("DetailsApi", link.Api())));
    std::filesystem::current_path(saved);
    ASSERT_TRUE(details);
    EXPECT_STREQ(details->GetValue("ContentType"), c_BrokenType);
    EXPECT_STREQ(details->GetValue("ShellLinkTarget"), "file:///C:/x.fxa");
}
