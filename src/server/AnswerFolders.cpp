#include "server/AnswerFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A page rarely spans more than a few folders; past that, paths are looked up whole.
constexpr size_t c_MaxOpen = 16;

bool IsFileAt(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

AnswerFolders::~AnswerFolders()
{
    for (const auto& [path, fd] : m_open) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool AnswerFolders::IsFile(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size())
        return IsFileAt(path);
    const std::string folder = path.substr(0, slash);
    auto found = m_open.find(folder);
    if (found == m_open.end()) {
        if (m_open.size() >= c_MaxOpen)
            return IsFileAt(path);
        found = m_open.emplace(folder, ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)).first;
    }
    // A folder that cannot be opened (gone, or no descriptor left) is judged path by path.
    if (found->second < 0)
        return IsFileAt(path);
    struct stat info { };
    return ::fstatat(found->second, path.c_str() + slash + 1, &info, 0) == 0 && S_ISREG(info.st_mode);
}
