// Mount points and what kind of drive each stands on, for a folder's "DriveType".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/MountInfo.h"

namespace LumoFolders {

using LumoModules::MountEntry;
using LumoModules::ParseMountInfo;

// "Remote" for network and remote FUSE file systems, "Removable" for optical discs, for
// devices the kernel calls removable or that hang off USB or a card reader (removableDevice),
// and, where that cannot be told, for FAT-like file systems mounted under /media, /run/media or
// /mnt; "Fixed" otherwise.
std::string ClassifyDrive(const MountEntry& mount, std::optional<bool> removableDevice);

// The "DriveType" of the folder at path when it is a mount point, "" when it is not (or the
// mount table cannot be read). isMountRoot: what statx said, when it could tell.
std::string DriveTypeOf(const std::string& path, std::optional<bool> isMountRoot);

} // namespace LumoFolders
