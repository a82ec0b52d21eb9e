// Folders as media items through a real host: their content type, their details, and the
// parsers behind "SpecialFolderType" and "DriveType".
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "../../../modules/folders/MountTable.h"
#include "../../../modules/folders/UserDirs.h"
#include "FoldersTestSupport.h"

using namespace LumoApi;
using LumoFolders::ClassifyDrive;
using LumoFolders::MountEntry;
using LumoFolders::ParseUserDirs;
using LumoFolders::UserDir;

namespace {

constexpr char c_Folder[] = "x-container/folder";

class FolderItemsTest : public FoldersHostTest {
protected:
    // Every property of the folder at path, as the host's details read them.
    std::map<std::string, std::string> Properties(const std::string& path)
    {
        MediaItem item(FileUrl(path));
        std::map<std::string, std::string> properties;
        for (size_t index = 0; index < item.GetDetails().Count(); ++index) {
            const std::string name = item.GetDetails().NameAt(index);
            properties[name] = item.Property(name);
        }
        return properties;
    }
};

} // namespace

TEST_F(FolderItemsTest, OnlyFoldersOfTheFileSystemAreFolders)
{
    const std::string album = m_sandbox.Folder("Music/Album.2003");
    const std::string song = m_sandbox.File("Music/Album.2003/01 Intro.mp3");
    const std::string linked = m_sandbox.Link("Music/Linked", album);

    EXPECT_EQ(ContentTypeOf(album), c_Folder);
    EXPECT_EQ(ContentTypeOf(linked), c_Folder);
    EXPECT_EQ(ContentTypeOf("/"), c_Folder);
    EXPECT_NE(ContentTypeOf(song), c_Folder);
    EXPECT_NE(ContentTypeOf(m_sandbox.Path("Music/Missing")), c_Folder);
    // Another scheme over the same path is not ours.
    ApiRef<UrlApi> other = MakeUrl("mem://fixture" + album);
    EXPECT_NE(m_host.FormatGroup().DecideContentType(other.Get(), nullptr), c_Folder);
    ApiRef<UrlApi> remote = MakeUrl("file://server" + album);
    EXPECT_NE(m_host.FormatGroup().DecideContentType(remote.Get(), nullptr), c_Folder);
}

TEST_F(FolderItemsTest, DetailsNameTheFolderAndDateIt)
{
    const std::string album = m_sandbox.Folder("Music/Live.2003");
    struct stat info { };
    ASSERT_EQ(stat(album.c_str(), &info), 0);

    std::map<std::string, std::string> properties = Properties(album);
    EXPECT_EQ(properties["FileName"], "Live.2003");
    EXPECT_EQ(properties["SourceFormat"], c_Folder);
    EXPECT_EQ(properties["ContentType"], c_Folder);
    EXPECT_EQ(properties["SourceLocation"], album);
    EXPECT_EQ(properties["LastChangeDate"], std::to_string(info.st_mtim.tv_sec));
    // Birth or change time: made just now, in either case.
    const long long created = std::stoll(properties["CreationDate"]);
    EXPECT_NEAR(double(created), double(info.st_ctim.tv_sec), 2.0);
    EXPECT_EQ(properties.count("DriveType"), 0u) << "not a mount point";
    EXPECT_EQ(properties.count("SpecialFolderType"), 0u);

    // A folder keeps its dot suffix in its title.
    MediaItem item(FileUrl(album));
    EXPECT_EQ(item.Property("Title"), "Live.2003");
    EXPECT_TRUE(item.IsContainer());
}

TEST_F(FolderItemsTest, UnreadableNameBytesShowAsReplacementMarks)
{
    const std::string folder = m_sandbox.Folder("Bj\xF6rk \xE2\x80\x94 Live");
    std::map<std::string, std::string> properties = Properties(folder);
    EXPECT_EQ(properties["FileName"], "Bj\xEF\xBF\xBDrk \xE2\x80\x94 Live");
    EXPECT_EQ(properties["SourceLocation"], m_sandbox.Path("Bj\xEF\xBF\xBDrk \xE2\x80\x94 Live"));
}

TEST_F(FolderItemsTest, RootFolderIsNamedSlashAndIsAMountPoint)
{
    std::map<std::string, std::string> properties = Properties("/");
    EXPECT_EQ(properties["FileName"], "/");
    EXPECT_EQ(properties["SourceLocation"], "/");
    ASSERT_EQ(properties.count("DriveType"), 1u);
    EXPECT_TRUE(properties["DriveType"] == "Fixed" || properties["DriveType"] == "Remote"
        || properties["DriveType"] == "Removable")
        << properties["DriveType"];
}

TEST_F(FolderItemsTest, VanishedFolderFailsWithFileNotFound)
{
    const std::string folder = m_sandbox.Folder("Gone");
    ApiRef<DetailsApi> details = DetailsOf(folder);
    ASSERT_TRUE(details);
    ASSERT_NE(details->GetValue("FileName"), nullptr);
    std::filesystem::remove(folder);

    LumoSetLastError(0);
    EXPECT_EQ(details->GetValue("FileName"), nullptr);
    EXPECT_EQ(LumoGetLastError(), 2u);
    EXPECT_EQ(details->GetFirstName(), nullptr);
    EXPECT_EQ(LumoGetLastError(), 2u);
}

TEST_F(FolderItemsTest, AListedFolderIsNamedAndDatedFromItsRecordButItsDriveIsLookedAt)
{
    const std::string folder = m_sandbox.Folder("Listed/Child");
    ApiRef<ContainerApi> parent = ContainerOf(m_sandbox.Path("Listed"));
    ASSERT_TRUE(parent);
    ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(parent->GetFirst());
    ASSERT_TRUE(child);
    ApiRef<DetailsApi> details
        = ApiRef<DetailsApi>::Adopt(static_cast<DetailsApi*>(FoldersMedia()->GetApi(DetailsApi::TypeId, child.Get())));
    ASSERT_TRUE(details);
    struct stat info { };
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    std::filesystem::remove(folder);

    // What the listing saw a moment ago stands for the look a listing's own questions need.
    const char* type = details->GetValue("ContentType");
    ASSERT_NE(type, nullptr) << LumoGetLastError();
    EXPECT_STREQ(type, c_Folder);
    const char* changed = details->GetValue("LastChangeDate");
    ASSERT_NE(changed, nullptr);
    EXPECT_EQ(std::string(changed), std::to_string(info.st_mtime));
    // The drive type and the list of names look at the folder itself.
    LumoSetLastError(0);
    EXPECT_EQ(details->GetValue("DriveType"), nullptr);
    EXPECT_EQ(LumoGetLastError(), 2u);
    EXPECT_EQ(details->GetFirstName(), nullptr);
    EXPECT_EQ(LumoGetLastError(), 2u);
}

TEST_F(FolderItemsTest, DetailsEnumerationEndsWith259AndUnknownNamesWith1168)
{
    ApiRef<DetailsApi> details = DetailsOf(m_sandbox.Folder("Plain"));
    ASSERT_TRUE(details);
    size_t count = 0;
    for (const char* name = details->GetFirstName(); name; name = details->GetNextName())
        ++count;
    EXPECT_EQ(LumoGetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(details->GetValue("SongTitle"), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
    EXPECT_EQ(details->GetValue("DriveType"), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
}

TEST_F(FolderItemsTest, SpecialFoldersComeFromTheUserDirsFileOnly)
{
    const std::string home = m_sandbox.Folder("home");
    const std::string music = m_sandbox.Folder("home/Music");
    const std::string pictures = m_sandbox.Folder("elsewhere/Photos");
    const std::string documents = m_sandbox.Folder("home/Documents");
    const std::string musicLink = m_sandbox.Link("home/Songs", music);
    const std::string config = m_sandbox.Folder("config");
    ScopedEnvironment homeVariable("HOME", home);
    ScopedEnvironment configVariable("XDG_CONFIG_HOME", config);

    // Without the file, not even the usual names count.
    EXPECT_EQ(Properties(music).count("SpecialFolderType"), 0u);

    m_sandbox.File("config/user-dirs.dirs",
        "# written by a test\n"
        "XDG_MUSIC_DIR=\"$HOME/Music\"\n"
        "XDG_PICTURES_DIR=\""
            + pictures
            + "\"\n"
              "XDG_DESKTOP_DIR=\"$HOME/\"\n");
    EXPECT_EQ(Properties(music)["SpecialFolderType"], "music");
    EXPECT_EQ(Properties(musicLink)["SpecialFolderType"], "music");
    EXPECT_EQ(Properties(pictures)["SpecialFolderType"], "pictures");
    EXPECT_EQ(Properties(documents).count("SpecialFolderType"), 0u);
    EXPECT_EQ(Properties(home).count("SpecialFolderType"), 0u) << "\"$HOME/\" means unset";

    // A changed file is read again.
    m_sandbox.File("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
    EXPECT_EQ(Properties(music).count("SpecialFolderType"), 0u);
    EXPECT_EQ(Properties(documents)["SpecialFolderType"], "documents");
}

TEST(UserDirsFile, ParsesQuotedValuesAndIgnoresWhatItCannotUse)
{
    const std::vector<UserDir> dirs = ParseUserDirs("XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                                                    "  XDG_VIDEOS_DIR = \"/data/My \\\"Films\\\"\"  \r\n"
                                                    "XDG_MUSIC_DIR=\"$HOME//Music/\"\n"
                                                    "XDG_TEMPLATES_DIR=\"$HOME/Templates\"\n"
                                                    "XDG_PICTURES_DIR=Pictures\n"
                                                    "XDG_DOCUMENTS_DIR=\"relative/Documents\"\n"
                                                    "XDG_DESKTOP_DIR=\"$HOMEDesktop\"\n"
                                                    "XDG_MUSIC_DIR=\"$HOME/Songs\"\n"
                                                    "garbage\n",
        "/home/ann");
    ASSERT_EQ(dirs.size(), 3u);
    // In precedence order, music first; a repeated key keeps its last value.
    EXPECT_EQ(dirs[0].type, "music");
    EXPECT_EQ(dirs[0].path, "/home/ann/Songs");
    EXPECT_EQ(dirs[1].type, "videos");
    EXPECT_EQ(dirs[1].path, "/data/My \"Films\"");
    EXPECT_EQ(dirs[2].type, "download");
    EXPECT_EQ(dirs[2].path, "/home/ann/Downloads");
    EXPECT_TRUE(ParseUserDirs("XDG_MUSIC_DIR=\"$HOME/Music\"\n", "").empty()) << "no home, no $HOME";
}

TEST(MountTable, ClassifiesDrives)
{
    struct Case {
        const char* fileSystem;
        const char* source;
        const char* mountPoint;
        std::optional<bool> removable;
        const char* expected;
    };
    const Case cases[] = {
        {"nfs4", "server:/export", "/mnt/nas", std::nullopt, "Remote"},
        {"cifs", "//server/share", "/home/ann/share", std::nullopt, "Remote"},
        {"fuse.sshfs", "ann@host:/music", "/home/ann/remote", std::nullopt, "Remote"},
        {"fuse.anything", "box:/data", "/home/ann/box", std::nullopt, "Remote"},
        {"9p", "hostshare", "/mnt/host", std::nullopt, "Remote"},
        {"vfat", "/dev/sdb1", "/media/ann/STICK", true, "Removable"},
        {"ext4", "/dev/sdc1", "/run/media/ann/disk", true, "Removable"},
        {"exfat", "/dev/sdb1", "/media/ann/CARD", std::nullopt, "Removable"},
        {"iso9660", "/dev/sr0", "/media/ann/CD", false, "Removable"},
        {"ext4", "/dev/sda2", "/home", false, "Fixed"},
        {"vfat", "/dev/sda1", "/boot/efi", false, "Fixed"},
        {"vfat", "/dev/sda1", "/boot/efi", std::nullopt, "Fixed"},
        {"tmpfs", "tmpfs", "/tmp", std::nullopt, "Fixed"},
    };
    for (const Case& c : cases) {
        MountEntry mount;
        mount.fileSystem = c.fileSystem;
        mount.source = c.source;
        mount.mountPoint = c.mountPoint;
        EXPECT_EQ(ClassifyDrive(mount, c.removable), c.expected) << c.fileSystem << " on " << c.mountPoint;
    }
}
