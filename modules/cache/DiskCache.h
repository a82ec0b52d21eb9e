// The "DiskCacheApi" handed to the host: a new object per request, all of them working through
// the one BlockStore of the process.
#pragma once

#include <memory>
#include <string>

#include <lumo/Data.h>
#include <lumo/DllSupport.h>

namespace LumoCache {

class BlockStore;

// Any thread; several at once. Also answers "DiskCacheInfoApi", whose table begins with
// DiskCacheApi's.
class DiskCache : public LumoApi::DllRefCounted<LumoApi::DiskCacheInfoApi> {
public:
    // Shares the open store, or opens it under $XDG_CACHE_HOME/Lumo Desktop when no handle is
    // alive. Throws CacheError.
    static DiskCache* Create();

    explicit DiskCache(std::shared_ptr<BlockStore> store);

    // Fails with 87 for a null key or data, 112 for a block larger than the whole cache.
    int32_t LUMO_CALL Store(const char* key, LumoApi::DataApi* data, uint32_t value) override;
    void LUMO_CALL Remove(const char* key) override;
    // A new DataApi holding a copy, or null with 1168 when absent.
    LumoApi::DataApi* LUMO_CALL Lookup(const char* key, uint32_t value) override;

    uint32_t LUMO_CALL GetEntryCount() override;
    uint64_t LUMO_CALL GetTotalBytes() override;
    uint64_t LUMO_CALL GetLimitBytes() override;
    // "(memory)" when the store could not use its file.
    const char* LUMO_CALL GetLocation() override;

private:
    std::shared_ptr<BlockStore> m_store;
    std::string m_location;
};

} // namespace LumoCache
