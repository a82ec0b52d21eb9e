#include "ModuleServices.h"

#include <atomic>
#include <mutex>

namespace LumoCache {

namespace {

std::atomic<int32_t> g_maxSizeMB{c_DefaultMaxSizeMB};

// Guards g_log and g_logOwner. Held while writing, so DropLog cannot release the log under a
// writer on another thread.
std::mutex g_logLock;
LumoApi::ApiRef<LumoApi::LogApi> g_log;
const void* g_logOwner = nullptr;

} // namespace

void SetMaxSizeMB(int32_t sizeMB)
{
    g_maxSizeMB.store(sizeMB > 0 ? sizeMB : c_DefaultMaxSizeMB, std::memory_order_relaxed);
}

uint64_t MaxSizeBytes()
{
    return uint64_t(g_maxSizeMB.load(std::memory_order_relaxed)) << 20;
}

void SetLog(const void* owner, LumoApi::ApiRef<LumoApi::LogApi> log)
{
    LumoApi::ApiRef<LumoApi::LogApi> old;
    {
        std::lock_guard<std::mutex> lock(g_logLock);
        old = std::move(g_log);
        g_log = std::move(log);
        g_logOwner = owner;
    }
}

void DropLog(const void* owner)
{
    LumoApi::ApiRef<LumoApi::LogApi> old;
    {
        std::lock_guard<std::mutex> lock(g_logLock);
        if (g_logOwner != owner)
            return;
        old = std::move(g_log);
        g_logOwner = nullptr;
    }
}

void LogLine(int32_t severity, const char* text)
{
    std::lock_guard<std::mutex> lock(g_logLock);
    if (g_log)
        g_log->Write(severity, "DiskCache", "%s", text);
}

} // namespace LumoCache
