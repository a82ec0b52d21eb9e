// The "FileViewApi": a read-only view of the file behind a "file" URL, a new object per request.
//
// The host shares one opened view among several holders on several threads, so every operation
// may be called from any thread at once. The bytes are read (not mapped) into a buffer of the
// view's own: a mapped file that is truncated while viewed raises SIGBUS.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include <lumo/Data.h>
#include <lumo/DllSupport.h>

namespace LumoCache {

class FileView : public LumoApi::DllRefCounted<LumoApi::FileViewApi> {
public:
    // Views larger than this are not read into memory: GetBytes fails with 8.
    static constexpr uint32_t c_MaxBytes = 1u << 30;

    FileView() = default;
    ~FileView() override;

    // The whole file, read on the first call; the pointer stays valid while the view lives.
    // A file that got shorter since Open reads as zeros past its new end. Null with 1 before
    // Open, 8 when too large or out of memory, the file system's code when reading fails.
    const uint8_t* LUMO_CALL GetBytes() override;
    // The size at Open (at most 0xFFFFFFFF); 0 with last error 1 before Open.
    uint32_t LUMO_CALL GetSize() override;
    // Fails with 1247 when open, 87 for a scheme other than "file" or a remote host, 1168 for
    // a missing file, 5 for a folder, a device or an unreadable file.
    int32_t LUMO_CALL Open(LumoApi::UrlApi* url) override;
    // Asks the system to read ahead; nonzero when open, 0 with 1 otherwise.
    int32_t LUMO_CALL Prefetch(uint32_t offset, uint32_t length, uint32_t flags) override;

private:
    // Guards everything below.
    std::mutex m_lock;
    // Open until the bytes are read.
    int m_fd = -1;
    bool m_open = false;
    uint32_t m_sizeBytes = 0;
    std::unique_ptr<uint8_t[]> m_bytes;
};

} // namespace LumoCache
