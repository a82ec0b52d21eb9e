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

std::string UnescapeOctal(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4) {
            const auto digit = [&](size_t at) { return field[at] >= '0' && field[at] <= '7'; };
            if (digit(i + 1) && digit(i + 2) && digit(i + 3)) {
                text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return text;
}

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && line[at] == ' ')
            ++at;
        const size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

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

std::vector<MountEntry> ParseMountInfo(std::string_view text)
{
    std::vector<MountEntry> mounts;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::vector<std::string_view> fields = Fields(line);
        // id, parent, major:minor, root, mount point, options, optional fields..., "-", type, source
        const auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 6 || separator == fields.end() || separator - fields.begin() < 6
            || fields.end() - separator < 3)
            continue;
        MountEntry mount;
        const std::string numbers(fields[2]);
        if (std::sscanf(numbers.c_str(), "%u:%u", &mount.major, &mount.minor) != 2)
            continue;
        mount.root = UnescapeOctal(fields[3]);
        mount.mountPoint = UnescapeOctal(fields[4]);
        mount.fileSystem = UnescapeOctal(separator[1]);
        mount.source = UnescapeOctal(separator[2]);
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

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
