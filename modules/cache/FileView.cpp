#include "FileView.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>
#include <lumo/Url.h>

#include "Guard.h"
#include "support/SystemCodes.h"

using namespace LumoApi;

namespace LumoCache {

using LumoModules::FileErrorCode;

namespace {

bool IsLocalHost(const char* host)
{
    return !host || !*host || std::strcmp(host, "localhost") == 0;
}

} // namespace

FileView::~FileView()
{
    if (m_fd >= 0)
        close(m_fd);
}

int32_t LUMO_CALL FileView::Open(UrlApi* url)
{
    return Guard(0, [&] {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_open)
            throw CacheError(ERROR_ALREADY_INITIALIZED);
        if (!url)
            throw CacheError(ERROR_INVALID_PARAMETER);
        const char* scheme = url->GetScheme();
        if (!scheme || std::strcmp(scheme, "file") != 0 || !IsLocalHost(url->GetHost()))
            throw CacheError(ERROR_INVALID_PARAMETER);
        const char* path = url->GetPath();
        const std::string fullPath = std::string("/") + (path ? path : "");

        // Non-blocking, so that a FIFO cannot hang the caller before it is refused below.
        const int fd = open(fullPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            throw CacheError(FileErrorCode(errno));
        struct stat info { };
        if (fstat(fd, &info) != 0) {
            const int error = errno;
            close(fd);
            throw CacheError(FileErrorCode(error));
        }
        // Folders, devices and pipes are refused as the system refuses to open a folder.
        if (!S_ISREG(info.st_mode)) {
            close(fd);
            throw CacheError(LumoApi::ERROR_ACCESS_DENIED);
        }
        m_fd = fd;
        m_sizeBytes = info.st_size > off_t(UINT32_MAX) ? UINT32_MAX : uint32_t(info.st_size);
        m_open = true;
        return 1;
    });
}

const uint8_t* LUMO_CALL FileView::GetBytes()
{
    return Guard<const uint8_t*>(nullptr, [&]() -> const uint8_t* {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_open)
            throw CacheError(ERROR_INVALID_FUNCTION);
        if (m_bytes)
            return m_bytes.get();
        if (m_sizeBytes > c_MaxBytes)
            throw CacheError(ERROR_NOT_ENOUGH_MEMORY);
        // One byte at least, so that an empty file still answers a valid pointer.
        std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[m_sizeBytes ? m_sizeBytes : 1]);
        if (!bytes)
            throw CacheError(ERROR_NOT_ENOUGH_MEMORY);
        uint32_t done = 0;
        while (done < m_sizeBytes) {
            const ssize_t count = pread(m_fd, bytes.get() + done, m_sizeBytes - done, off_t(done));
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0)
                throw CacheError(FileErrorCode(errno));
            if (count == 0)
                break;
            done += uint32_t(count);
        }
        std::memset(bytes.get() + done, 0, (m_sizeBytes ? m_sizeBytes : 1) - done);
        m_bytes = std::move(bytes);
        close(m_fd);
        m_fd = -1;
        return m_bytes.get();
    });
}

uint32_t LUMO_CALL FileView::GetSize()
{
    return Guard<uint32_t>(0, [&] {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_open)
            throw CacheError(ERROR_INVALID_FUNCTION);
        return m_sizeBytes;
    });
}

int32_t LUMO_CALL FileView::Prefetch(uint32_t offset, uint32_t length, uint32_t /*flags*/)
{
    return Guard(0, [&] {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_open)
            throw CacheError(ERROR_INVALID_FUNCTION);
        // Once the bytes are in memory there is nothing left to read ahead.
        if (m_fd >= 0)
            posix_fadvise(m_fd, off_t(offset), off_t(length), POSIX_FADV_WILLNEED);
        return 1;
    });
}

} // namespace LumoCache
