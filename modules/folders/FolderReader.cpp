#include "FolderReader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LumoFolders {

namespace {

int64_t Nanoseconds(const struct timespec& time)
{
    return int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

unsigned char TypeOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return DT_DIR;
    if (S_ISREG(mode))
        return DT_REG;
    if (S_ISLNK(mode))
        return DT_LNK;
    return DT_UNKNOWN;
}

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
    const int fd = dirfd(m_dir);
    const char* name = entry.name.c_str();
    unsigned char type = entry.type;
    struct stat target { };
    bool haveTarget = false;

    if (type == DT_UNKNOWN) {
        if (fstatat(fd, name, &target, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        type = TypeOfMode(target.st_mode);
        haveTarget = type != DT_LNK;
    }
    if (type == DT_LNK) {
        // Fails for a dangling link and for a chain of links that loops.
        if (fstatat(fd, name, &target, 0) != 0)
            return false;
        haveTarget = true;
        type = TypeOfMode(target.st_mode);
        if (type == DT_DIR && IsAncestor(target.st_dev, target.st_ino))
            return false;
    }
    if (type != DT_DIR && type != DT_REG)
        return false;
    if (state && !haveTarget) {
        if (fstatat(fd, name, &target, 0) != 0)
            return false;
        type = TypeOfMode(target.st_mode);
        if (type != DT_DIR && type != DT_REG)
            return false;
    }
    if (faccessat(fd, name, type == DT_DIR ? R_OK | X_OK : R_OK, 0) != 0)
        return false;
    if (state) {
        state->isFolder = type == DT_DIR;
        state->mtimeNs = Nanoseconds(target.st_mtim);
        state->ctimeNs = Nanoseconds(target.st_ctim);
        state->inode = target.st_ino;
        state->sizeBytes = target.st_size;
    }
    return true;
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
