// The class's URL texts, content-type lists and the roots' sources, without a host.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "common/ClassUrls.h"
#include "common/MediaClassSupport.h"
#include "common/RootFolders.h"

#include "ClassesTestSupport.h"

using namespace LumoModules;

TEST(ClassPrefix, StripsOnlyTheClassSchemePrefix)
{
    struct Case {
        const char* text;
        const char* stripped;
        bool prefixed;
    };
    const Case cases[] = {
        {"lumomusic-file:///home/me/a.mp3", "file:///home/me/a.mp3", true},
        {"lumomusic-file:///", "file:///", true},
        {"file:///home/me/a.mp3", "file:///home/me/a.mp3", false},
        {"lumomusic://roots", "lumomusic://roots", false},
        // Another class's prefix, or the scheme's name elsewhere in the text.
        {"lumophotos-file:///a.jpg", "lumophotos-file:///a.jpg", false},
        {"file:///lumomusic-file/a", "file:///lumomusic-file/a", false},
        {"lumomusicx-file:///a", "lumomusicx-file:///a", false},
        // A text without a scheme, or with the prefix only in the query.
        {"lumomusic-", "lumomusic-", false},
        {"lumomusic-notes", "lumomusic-notes", false},
        {"x?lumomusic-file://a", "x?lumomusic-file://a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HasClassPrefix(c.text, "lumomusic"), c.prefixed) << c.text;
        EXPECT_EQ(StripClassPrefix(c.text, "lumomusic"), c.stripped) << c.text;
    }
}

TEST(ClassPrefix, LocalPathsOfFileUrls)
{
    struct Case {
        const char* text;
        const char* path;
    };
    const Case cases[] = {
        {"file:///home/me/a.mp3", "/home/me/a.mp3"},
        {"file://localhost/home/me", "/home/me"},
        {"FILE:///x", "/x"},
        {"file:///a%20b/%C3%A9.mp3", "/a b/\xC3\xA9.mp3"},
        // Names that are not UTF-8 come back byte for byte.
        {"file:///bad%FFname", "/bad\xFFname"},
        {"file:///a?LumoExternalUrl=x", "/a"},
        {"file://", "/"},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> path = LocalPathOfFileUrl(c.text);
        ASSERT_TRUE(path.has_value()) << c.text;
        EXPECT_EQ(*path, c.path) << c.text;
    }
    for (const char* text : {"http://host/a", "file://server/share/a", "file:///bad%2", "file:///bad%zz", "/home/me",
             "lumomusic-file:///a"})
        EXPECT_FALSE(LocalPathOfFileUrl(text).has_value()) << text;
}

TEST(ClassPrefix, LeafNames)
{
    EXPECT_EQ(LeafName("/a/b.mp3"), "b.mp3");
    EXPECT_EQ(LeafName("/a/Live.2003/"), "Live.2003");
    EXPECT_EQ(LeafName("/"), "/");
}

TEST(ContentTypeLists, MatchAsTheHostDoes)
{
    struct Case {
        const char* list;
        const char* type;
        bool matches;
    };
    const Case cases[] = {
        {"audio/*,x-container/lumomusic-playlist", "audio/mpeg", true},
        {"audio/*,x-container/lumomusic-playlist", "AUDIO/FLAC", true},
        {"audio/*,x-container/lumomusic-playlist", "x-container/lumomusic-playlist", true},
        {"audio/*,x-container/lumomusic-playlist", "x-container/folder", false},
        {"audio/*,x-container/lumomusic-playlist", "image/jpeg", false},
        // A negated entry decides when it does not match.
        {"!image/*", "audio/mpeg", true},
        {"!image/*", "image/png", false},
        {"!image/*,image/png", "image/png", true},
        {"*/*", "text/plain", true},
        {"", "audio/mpeg", false},
        // An incomplete type never matches.
        {"*/*", "x-container", false},
        {"audio/*", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TypeListMatches(ParseTypeList(c.list), c.type), c.matches) << c.list << " / " << c.type;
    EXPECT_TRUE(IsContainerType("x-container"));
    EXPECT_TRUE(IsContainerType("X-Container/Folder"));
    EXPECT_FALSE(IsContainerType("x-containers/a"));
}

TEST(UserDirs, ReadsTheClassFolderFromTheUserDirsFile)
{
    const std::string text = "# written by a tool\n"
                             "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                             "XDG_MUSIC_DIR=\"$HOME/My \\\"Music\\\"/\"\n"
                             "XDG_PICTURES_DIR=\"/srv/pictures\"\n"
                             "XDG_VIDEOS_DIR=relative/not/quoted\n"
                             "XDG_DOCUMENTS_DIR=\"Documents\"\n";
    EXPECT_EQ(UserDirFromText(text, "XDG_MUSIC_DIR", "/home/me"), "/home/me/My \"Music\"");
    EXPECT_EQ(UserDirFromText(text, "XDG_PICTURES_DIR", "/home/me"), "/srv/pictures");
    EXPECT_EQ(UserDirFromText(text, "XDG_VIDEOS_DIR", "/home/me"), "");
    EXPECT_EQ(UserDirFromText(text, "XDG_DOCUMENTS_DIR", "/home/me"), "");
    EXPECT_EQ(UserDirFromText(text, "XDG_DOWNLOAD_DIR", "/home/me"), "");
    // "$HOMEX" is not the home folder; a relative result is no folder at all.
    EXPECT_EQ(UserDirFromText("XDG_MUSIC_DIR=\"$HOMEX/Music\"\n", "XDG_MUSIC_DIR", "/h"), "");
    EXPECT_EQ(UserDirFromText("XDG_MUSIC_DIR=\"$HOME\"\n", "XDG_MUSIC_DIR", "/h"), "/h");
    // The last line that sets a key wins.
    EXPECT_EQ(UserDirFromText("XDG_MUSIC_DIR=\"/a\"\nXDG_MUSIC_DIR=\"/b\"\n", "XDG_MUSIC_DIR", "/h"), "/b");
    EXPECT_EQ(UserDirKey("music"), "XDG_MUSIC_DIR");
    EXPECT_EQ(UserDirKey("pictures"), "XDG_PICTURES_DIR");
}

TEST(MountTable, ListsRemovableAndNetworkVolumesOnly)
{
    const std::string text = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                             "23 22 0:5 / /proc rw - proc proc rw\n"
                             "30 22 8:17 / /media/me/USB\\040STICK rw,nosuid shared:7 - vfat /dev/sdb1 rw\n"
                             "31 22 8:33 / /run/media/me/Disc rw - iso9660 /dev/sr0 ro\n"
                             "32 22 0:40 / /srv/nas rw - nfs4 nas:/export rw\n"
                             "33 22 0:41 / /home/me/remote rw - fuse.sshfs me@host: rw\n"
                             "34 22 0:42 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
                             "35 22 0:43 / /run/user/1000/doc rw - fuse.portal portal rw\n"
                             "36 22 0:44 / /data/share rw master:3 - cifs //server/share rw\n"
                             "37 22 8:49 / /mnt rw - ext4 /dev/sdd1 rw\n"
                             "38 22 8:50 / /srv/local rw - ext4 /dev/sde1 rw\n"
                             "39 22 0:40 / /srv/nas rw - nfs4 nas:/export rw\n"
                             "garbage line\n"
                             "40 22 8:51 / /media/bad rw\n";
    const std::vector<std::string> expected
        = {"/media/me/USB STICK", "/run/media/me/Disc", "/srv/nas", "/home/me/remote", "/data/share", "/mnt"};
    EXPECT_EQ(VolumesFromMountInfo(text), expected);
}

TEST(RootFolders, ClassFolderThenHomeThenVolumesEachOnce)
{
    Sandbox sandbox;
    sandbox.Folder("usb");
    sandbox.Folder("net");
    sandbox.Write("mounts",
        "30 22 8:17 / " + sandbox.Path("usb").string()
            + " rw - fuse.exfat /dev/sdb1 rw\n"
              "31 22 0:40 / "
            + sandbox.Path("net").string()
            + " rw - nfs nas:/x rw\n"
              "32 22 0:41 / "
            + sandbox.Path("gone").string()
            + " rw - nfs nas:/y rw\n"
              "33 22 0:40 / "
            + sandbox.Path("home").string() + " rw - nfs nas:/home rw\n");
    RootFoldersSource source;
    source.specialFolder = "music";
    source.mountInfoPath = sandbox.Path("mounts").string();
    const std::vector<std::string> expected = {sandbox.Music().string(), sandbox.Path("home").string(),
        sandbox.Path("usb").string(), sandbox.Path("net").string()};
    EXPECT_EQ(ListRootFolders(source), expected);

    // A class folder that does not exist is left out; home stays.
    std::filesystem::remove(sandbox.Music());
    const std::vector<std::string> withoutMusic
        = {sandbox.Path("home").string(), sandbox.Path("usb").string(), sandbox.Path("net").string()};
    EXPECT_EQ(ListRootFolders(source), withoutMusic);
}
