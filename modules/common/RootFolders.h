// The folders a media class offers at its first root: the user's folder of the class, the home
// folder and the mounted removable and network volumes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace LumoModules {

// The value of key ("XDG_MUSIC_DIR") in the text of a user-dirs.dirs file, with "$HOME"
// expanded and a trailing "/" removed; empty when absent, relative or unreadable.
std::string UserDirFromText(std::string_view text, std::string_view key, const std::string& home);

// The mount points worth browsing for media in the text of a mountinfo file, in its order:
// below /media, /run/media or /mnt, or of a network or user file system type (nfs, cifs,
// smb3, sshfs, fuse.*), leaving out the system's own mounts of those types.
std::vector<std::string> VolumesFromMountInfo(std::string_view text);

// "XDG_<SPECIAL>_DIR" for a special folder type: "music" gives "XDG_MUSIC_DIR".
std::string UserDirKey(std::string_view specialFolder);

// The user's home folder ($HOME, else the password database); empty when unknown.
std::string HomeFolder();

struct RootFoldersSource {
    // The special folder type of the class's user folder ("music").
    std::string specialFolder;
    // Where user-dirs.dirs and the mount table are read; empty: the usual places.
    std::string userDirsPath;
    std::string mountInfoPath;
};

// The class's user folder when it exists, the home folder, the volumes that exist as folders:
// in that order, each path once.
std::vector<std::string> ListRootFolders(const RootFoldersSource& source);

} // namespace LumoModules
