// The user's special folders ("music", "pictures", ...) from $XDG_CONFIG_HOME/user-dirs.dirs.
// Only folders the file names count: without the file no folder is special, since the usual
// names ("Music") are a guess that is wrong on many systems.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace LumoFolders {

struct UserDir {
    // "music", "pictures", "videos", "documents", "desktop" or "download".
    std::string type;
    std::string path;
};

// The special folders the text of a user-dirs.dirs file names, in the order of precedence when
// two types name one folder (music first: it decides the music page). home replaces a leading
// "$HOME"; a value that is the home folder itself means "not set" and is left out, as are
// relative values, unknown keys and malformed lines.
std::vector<UserDir> ParseUserDirs(std::string_view text, const std::string& home);

// The special folder type of the folder at path (device and inode from its stat), or "".
// Reads the file again whenever it changes. Any thread.
std::string SpecialFolderTypeOf(const std::string& path, dev_t device, ino_t inode);

} // namespace LumoFolders
