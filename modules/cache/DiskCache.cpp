#include "DiskCache.h"

#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <unistd.h>
#include <vector>

#include <lumo/Errors.h>
#include <lumo/Log.h>
#include <lumo/Platform.h>

#include "BlockStore.h"
#include "Guard.h"
#include "ModuleServices.h"

using namespace LumoApi;

namespace LumoCache {

namespace {

// A cached block handed to a caller: its own copy, so it stays valid whatever the cache does.
class BlockData : public DllRefCounted<DataApi> {
public:
    explicit BlockData(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) { }
    const uint8_t* LUMO_CALL GetBytes() override { return m_bytes.data(); }
    uint32_t LUMO_CALL GetSize() override { return uint32_t(m_bytes.size()); }

private:
    const std::vector<uint8_t> m_bytes;
};

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return std::string();
}

// Empty when there is no home either: the store then lives in memory.
std::string CacheFolder()
{
    std::string base;
    // Relative values are ignored, as the base directory rules say.
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else if (std::string home = HomeFolder(); !home.empty())
        base = home + "/.cache";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base.empty() ? base : base + "/Lumo Desktop";
}

// Guards g_store, the store of the process while any handle holds it.
std::mutex g_storeLock;
std::weak_ptr<BlockStore> g_store;

} // namespace

DiskCache* DiskCache::Create()
{
    std::lock_guard<std::mutex> lock(g_storeLock);
    std::shared_ptr<BlockStore> store = g_store.lock();
    if (!store) {
        store = std::make_shared<BlockStore>(
            CacheFolder(), [](const std::string& text) { LogLine(c_LogWarning, text.c_str()); });
        g_store = store;
    }
    return new DiskCache(std::move(store));
}

DiskCache::DiskCache(std::shared_ptr<BlockStore> store) : m_store(std::move(store))
{
}

int32_t LUMO_CALL DiskCache::Store(const char* key, DataApi* data, uint32_t value)
{
    return Guard(0, [&] {
        if (!key || !data)
            throw CacheError(ERROR_INVALID_PARAMETER);
        const uint32_t sizeBytes = data->GetSize();
        const uint8_t* bytes = data->GetBytes();
        if (!bytes && sizeBytes)
            throw CacheError(ERROR_INVALID_PARAMETER);
        m_store->Store(key, bytes, sizeBytes, value, MaxSizeBytes());
        return 1;
    });
}

void LUMO_CALL DiskCache::Remove(const char* key)
{
    Guard(0, [&] {
        if (key)
            m_store->Remove(key);
        return 0;
    });
}

DataApi* LUMO_CALL DiskCache::Lookup(const char* key, uint32_t value)
{
    return Guard<DataApi*>(nullptr, [&]() -> DataApi* {
        if (!key)
            throw CacheError(ERROR_INVALID_PARAMETER);
        std::vector<uint8_t> bytes;
        if (!m_store->Lookup(key, value, bytes)) {
            LumoSetLastError(ERROR_NOT_FOUND);
            return nullptr;
        }
        return new BlockData(std::move(bytes));
    });
}

uint32_t LUMO_CALL DiskCache::GetEntryCount()
{
    return Guard(uint32_t(0), [&] { return m_store->Statistics().entries; });
}

uint64_t LUMO_CALL DiskCache::GetTotalBytes()
{
    return Guard(uint64_t(0), [&] { return m_store->Statistics().bytes; });
}

uint64_t LUMO_CALL DiskCache::GetLimitBytes()
{
    return MaxSizeBytes();
}

const char* LUMO_CALL DiskCache::GetLocation()
{
    return Guard<const char*>(nullptr, [&] {
        m_location = m_store->Location();
        if (m_location.empty())
            m_location = "(memory)";
        return m_location.c_str();
    });
}

} // namespace LumoCache
