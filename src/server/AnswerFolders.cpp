#include "server/AnswerFolders.h"

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A page rarely spans more than a few folders; past that, paths are looked up whole.
constexpr size_t c_MaxOpen = 16;
// A folder's time is trusted only once it is this old: file systems keep it coarsely (a clock
// tick, two seconds on FAT), so a change within the same tick would leave it as it was.
constexpr int64_t c_SettledNs = 3'000'000'000;

bool IsFileAt(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int64_t Nanoseconds(const timespec& time)
{
    return int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

} // namespace

AnswerFolders::AnswerFolders()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    m_startNs = Nanoseconds(now);
}

AnswerFolders::~AnswerFolders()
{
    for (const auto& [path, folder] : m_open) {
        if (folder.fd >= 0)
            ::close(folder.fd);
    }
}

bool AnswerFolders::IsFile(const std::string& path, FolderStamp* stamp)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size())
        return IsFileAt(path);
    const std::string name = path.substr(0, slash);
    auto found = m_open.find(name);
    if (found == m_open.end()) {
        if (m_open.size() >= c_MaxOpen)
            return IsFileAt(path);
        Folder folder;
        folder.fd = ::open(name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        struct stat info { };
        if (folder.fd >= 0 && ::fstat(folder.fd, &info) == 0) {
            const int64_t modifiedNs = Nanoseconds(info.st_mtim);
            folder.now = FolderStamp{
                uint64_t(info.st_dev), uint64_t(info.st_ino), modifiedNs, modifiedNs <= m_startNs - c_SettledNs};
        }
        found = m_open.emplace(name, folder).first;
    }
    const Folder& folder = found->second;
    // A folder that cannot be opened (gone, or no descriptor left) is judged path by path.
    if (folder.fd < 0)
        return IsFileAt(path);
    const FolderStamp& now = folder.now;
    if (stamp && stamp->known && now.known && stamp->device == now.device && stamp->inode == now.inode
        && stamp->modifiedNs == now.modifiedNs)
        return true;
    struct stat info { };
    const bool file = ::fstatat(folder.fd, path.c_str() + slash + 1, &info, 0) == 0 && S_ISREG(info.st_mode);
    if (stamp)
        *stamp = file ? now : FolderStamp{};
    return file;
}
