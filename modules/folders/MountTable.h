// Mount points and what kind of drive each stands on, for a folder's "DriveType".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace LumoFolders {

// One line of /proc/self/mountinfo, with its octal escapes ("\040" for a space) undone.
struct MountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;
    std::string mountPoint;
    std::string fileSystem;
    std::string source;
};

// The lines of a mountinfo text, in order; malformed lines are left out.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// "Remote" for network and remote FUSE file systems, "Removable" for optical discs, for
// devices the kernel calls removable or that hang off USB or a card reader (removableDevice),
// and, where that cannot be told, for FAT-like file systems mounted under /media, /run/media or
// /mnt; "Fixed" otherwise.
std::string ClassifyDrive(const MountEntry& mount, std::optional<bool> removableDevice);

// The "DriveType" of the folder at path when it is a mount point, "" when it is not (or the
// mount table cannot be read). isMountRoot: what statx said, when it could tell.
std::string DriveTypeOf(const std::string& path, std::optional<bool> isMountRoot);

} // namespace LumoFolders
