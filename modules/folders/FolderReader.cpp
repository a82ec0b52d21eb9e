#include "FolderReader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace LumoFolders {

namespace {

int64_t Nanoseconds(const struct statx_timestamp& time)
{
    return int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Local file systems whose kernel permission check, without an access-control list, is the
// mode bits against the caller's ids. Network and FUSE file systems may decide otherwise.
bool BitsDecideOn(int descriptor)
{
    struct statfs info { };
    if (fstatfs(descriptor, &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case EXT4_SUPER_MAGIC: // ext2, ext3 and ext4 alike
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

constexpr unsigned c_ReadBit = 4;
constexpr unsigned c_SearchBit = 1;
constexpr unsigned int c_StatMask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID;

} // namespace

FolderReader::~FolderReader()
{
    Close();
}

int FolderReader::Open(const std::string& path)
{
    Close();
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    m_dir = fdopendir(fd);
    if (!m_dir) {
        const int error = errno;
        close(fd);
        return error;
    }
    m_path = path;
    m_ancestorsFound = false;
    m_ancestors.clear();
    struct stat own { };
    m_bitsDecide = fstat(fd, &own) == 0 && BitsDecideOn(fd);
    m_device = own.st_dev;
    return 0;
}

void FolderReader::Close()
{
    if (m_dir)
        closedir(m_dir);
    m_dir = nullptr;
}

int FolderReader::ReadNames(std::vector<FolderEntry>& entries, const std::atomic<bool>* cancel)
{
    entries.clear();
    if (!m_dir)
        return EBADF;
    rewinddir(m_dir);
    for (;;) {
        // readdir tells its end from a failure (an I/O error, a stale network handle) by errno.
        errno = 0;
        const dirent* entry = readdir(m_dir);
        if (!entry) {
            if (errno != 0)
                return errno;
            break;
        }
        if (cancel && cancel->load(std::memory_order_relaxed))
            return ECANCELED;
        if (entry->d_name[0] == '.')
            continue;
        entries.push_back(FolderEntry{entry->d_name, entry->d_type});
    }
    std::sort(
        entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return 0;
}

bool FolderReader::Lists(const FolderEntry& entry, EntryState* state)
{
    if (!m_dir)
        return false;
    if (entry.type != DT_UNKNOWN && entry.type != DT_LNK && entry.type != DT_DIR && entry.type != DT_REG)
        return false;
    const int fd = dirfd(m_dir);
    const char* name = entry.name.c_str();
    // Follows links: fails for a dangling link and for a chain of links that loops.
    struct statx target { };
    if (statx(fd, name, AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &target) != 0)
        return false;
    const bool folder = S_ISDIR(target.stx_mode);
    if (!folder && !S_ISREG(target.stx_mode))
        return false;
    const dev_t device = makedev(target.stx_dev_major, target.stx_dev_minor);
    // A folder seen through a link (or where d_type does not tell) may be this one or above it.
    if (folder && entry.type != DT_DIR && IsAncestor(device, target.stx_ino))
        return false;
    const bool allowed = m_bitsDecide && device == m_device && (target.stx_mask & c_StatMask) == c_StatMask
        && BitsAllow(target.stx_mode, target.stx_uid, target.stx_gid, folder);
    if (!allowed && faccessat(fd, name, folder ? R_OK | X_OK : R_OK, 0) != 0)
        return false;
    if (state) {
        state->isFolder = folder;
        state->mtimeNs = Nanoseconds(target.stx_mtime);
        state->ctimeNs = Nanoseconds(target.stx_ctime);
        state->inode = target.stx_ino;
        state->sizeBytes = int64_t(target.stx_size);
        state->device = uint64_t(device);
        state->hasBirthTime = (target.stx_mask & STATX_BTIME) != 0;
        state->btimeNs = state->hasBirthTime ? Nanoseconds(target.stx_btime) : 0;
    }
    return true;
}

bool FolderReader::BitsAllow(uint32_t mode, uint32_t owner, uint32_t group, bool folder)
{
    // Read once per process: nothing here changes its ids, and a listing opens a reader per
    // folder.
    struct RealIds {
        uid_t uid = getuid();
        std::vector<gid_t> groups;
        RealIds()
        {
            groups.assign(1, getgid());
            const int count = getgroups(0, nullptr);
            if (count > 0) {
                std::vector<gid_t> more(static_cast<size_t>(count));
                const int got = getgroups(count, more.data());
                if (got > 0)
                    groups.insert(groups.end(), more.begin(), more.begin() + got);
            }
        }
    };
    static const RealIds ids;
    // The owner's bits alone count for the owner, the group's for its members, else the others'.
    unsigned bits = mode & 7;
    if (owner == ids.uid)
        bits = (mode >> 6) & 7;
    else if (std::find(ids.groups.begin(), ids.groups.end(), gid_t(group)) != ids.groups.end())
        bits = (mode >> 3) & 7;
    const unsigned wanted = folder ? c_ReadBit | c_SearchBit : c_ReadBit;
    return (bits & wanted) == wanted;
}

void FolderReader::FindAncestors()
{
    m_ancestorsFound = true;
    const auto addPrefixes = [this](const std::string& path) {
        for (size_t end = 0; end != std::string::npos;) {
            end = path.find('/', end + 1);
            const std::string prefix = end == std::string::npos ? path : path.substr(0, end);
            struct stat info { };
            if (stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
                m_ancestors.push_back(FileId{info.st_dev, info.st_ino});
        }
    };
    addPrefixes("/");
    addPrefixes(m_path);
    char real[PATH_MAX];
    if (realpath(m_path.c_str(), real))
        addPrefixes(real);
}

bool FolderReader::IsAncestor(dev_t device, ino_t inode)
{
    if (!m_ancestorsFound)
        FindAncestors();
    return std::any_of(m_ancestors.begin(), m_ancestors.end(),
        [&](const FileId& id) { return id.device == device && id.inode == inode; });
}

} // namespace LumoFolders
