#include "platform/System.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pthread.h>
#include <pwd.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace Platform {

std::string ExecutablePath()
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string ProgramFolder()
{
    std::string path = ExecutablePath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

namespace {

// $variable when absolute (relative values are ignored, as the base directory rules say), else
// the home folder followed by below; created when missing.
std::string UserFolder(const char* variable, const char* below)
{
    std::string base;
    if (const char* xdg = std::getenv(variable); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0]) {
        base = std::string(home) + below;
    } else if (passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
        base = std::string(entry->pw_dir) + below;
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (!base.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(base, ignored);
    }
    return base;
}

} // namespace

std::string UserDataFolder()
{
    return UserFolder("XDG_DATA_HOME", "/.local/share");
}

std::string UserCacheFolder()
{
    return UserFolder("XDG_CACHE_HOME", "/.cache");
}

std::string ComputerName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return std::string(name).substr(0, 15);
}

std::string UserName()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result)
        return std::string();
    return result->pw_name ? result->pw_name : "";
}

uint32_t CodeFromErrno(int error)
{
    switch (error) {
    case 0:
        return 0;
    case ENOENT:
        return 2;
    case ENOTDIR:
        return 3;
    case EACCES:
    case EPERM:
    case EROFS:
        return 5;
    case ENOMEM:
        return 8;
    case EINVAL:
        return 87;
    case EBUSY:
    case ETXTBSY:
        return 32;
    case ENOSPC:
    case EDQUOT:
        return 112;
    case ENAMETOOLONG:
        return 123;
    case EISDIR:
        return 267;
    case EFAULT:
        return 487;
    case ELOOP:
        return 1921;
    default:
        return 1359;
    }
}

namespace {

// Reads [address, address + size) into buffer through the kernel, which reports a bad address
// as EFAULT instead of faulting. Answers the number of bytes read, or -1 when unreadable.
long ProbeRead(const void* address, void* buffer, size_t size)
{
    iovec local{buffer, size};
    iovec remote{const_cast<void*>(address), size};
    ssize_t done = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (done >= 0)
        return static_cast<long>(done);
    if (errno == EFAULT)
        return -1;
    // The call is not allowed here (a sandbox): trust the pointer as the caller does.
    std::memcpy(buffer, address, size);
    return static_cast<long>(size);
}

constexpr size_t c_pageSize = 4096;

} // namespace

bool IsBadStringPtr(const char* text, size_t maxChars)
{
    if (!text)
        return true;
    char chunk[c_pageSize];
    size_t checked = 0;
    while (checked < maxChars) {
        const auto address = reinterpret_cast<uintptr_t>(text + checked);
        size_t size = c_pageSize - (address % c_pageSize);
        if (size > maxChars - checked)
            size = maxChars - checked;
        if (ProbeRead(text + checked, chunk, size) != static_cast<long>(size))
            return true;
        if (std::memchr(chunk, 0, size))
            return false;
        checked += size;
    }
    return false;
}

bool IsBadReadPtr(const void* memory, size_t sizeBytes)
{
    if (!memory)
        return true;
    const char* bytes = static_cast<const char*>(memory);
    char chunk[c_pageSize];
    for (size_t done = 0; done < sizeBytes;) {
        const size_t size = sizeBytes - done < c_pageSize ? sizeBytes - done : c_pageSize;
        if (ProbeRead(bytes + done, chunk, size) != static_cast<long>(size))
            return true;
        done += size;
    }
    return false;
}

void LowerThisThreadsPriority()
{
    setpriority(PRIO_PROCESS, id_t(gettid()), 19);
}

void IdleThisThread()
{
    sched_param param{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) != 0)
        LowerThisThreadsPriority();
}

} // namespace Platform
