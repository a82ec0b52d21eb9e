#include "MountTable.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "FolderPaths.h"

namespace LumoFolders {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool IsRemoteFileSystem(std::string_view type, std::string_view source)
{
    static constexpr std::string_view remote[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "9p", "afs", "ceph",
        "glusterfs", "lustre", "coda", "davfs", "sshfs", "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.gcsfuse",
        "fuse.glusterfs", "fuse.smbnetfs", "fuse.curlftpfs", "fuse.davfs2", "fuse.gvfsd-fuse"};
    if (std::find(std::begin(remote), std::end(remote), type) != std::end(remote))
        return true;
    // Other FUSE file systems on a "host:path" or "user@host" source reach another machine.
    return StartsWith(type, "fuse.")
        && (source.find(':') != std::string_view::npos || source.find('@') != std::string_view::npos);
}

// What sysfs tells of the block device major:minor; nullopt for no block device.
std::optional<bool> RemovableDevice(unsigned major, unsigned minor)
{
    const std::string link = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    char real[PATH_MAX];
    if (!realpath(link.c_str(), real))
        return std::nullopt;
    const std::string device = real;
    if (device.find("/usb") != std::string::npos || device.find("/mmc_host/") != std::string::npos)
        return true;
    // A partition has no "removable" of its own; its disk above it has.
    for (const std::string& file : {device + "/removable", device + "/../removable"}) {
        std::ifstream stream(file);
        int value = 0;
        if (stream >> value)
            return value == 1;
    }
    return false;
}

} // namespace

std::string ClassifyDrive(const MountEntry& mount, std::optional<bool> removableDevice)
{
    const std::string_view type = mount.fileSystem;
    if (IsRemoteFileSystem(type, mount.source))
        return "Remote";
    if (type == "iso9660" || type == "udf")
        return "Removable";
    if (removableDevice)
        return *removableDevice ? "Removable" : "Fixed";
    static constexpr std::string_view portable[] = {"vfat", "exfat", "msdos", "ntfs", "ntfs3", "fuseblk", "hfsplus"};
    const bool portableType = std::find(std::begin(portable), std::end(portable), type) != std::end(portable);
    const std::string_view point = mount.mountPoint;
    if (portableType
        && (StartsWith(point, "/media/") || StartsWith(point, "/run/media/") || StartsWith(point, "/mnt/")))
        return "Removable";
    return "Fixed";
}

std::string DriveTypeOf(const std::string& path, std::optional<bool> isMountRoot)
{
    if (isMountRoot && !*isMountRoot)
        return std::string();
    char real[PATH_MAX];
    const std::string canonical = realpath(path.c_str(), real) ? std::string(real) : path;
    if (!isMountRoot && canonical != "/") {
        // No word from statx: a mount root sits on another device than the folder above it.
        struct stat self {
        }, parent{};
        if (stat(canonical.c_str(), &self) != 0 || stat(ParentOf(canonical).c_str(), &parent) != 0
            || (self.st_dev == parent.st_dev && self.st_ino != parent.st_ino))
            return std::string();
    }
    std::ifstream stream("/proc/self/mountinfo");
    std::ostringstream text;
    text << stream.rdbuf();
    const std::vector<MountEntry> mounts = ParseMountInfo(text.str());
    // The last mount on a point is the one on top.
    for (auto mount = mounts.rbegin(); mount != mounts.rend(); ++mount) {
        if (mount->mountPoint == canonical)
            return ClassifyDrive(
                *mount, mount->major == 0 ? std::nullopt : RemovableDevice(mount->major, mount->minor));
    }
    return std::string();
}

} // namespace LumoFolders
