// The most recently opened file views, shared by URL, so repeated questions about the bytes of
// one item open its file once.
#pragma once

#include <mutex>
#include <string>

#include <lumo/Api.h>
#include <lumo/Data.h>
#include <lumo/Url.h>

#include "common/MruCache.h"

class CacheModule;

class FileViewCache {
public:
    static constexpr int c_Capacity = 5;

    explicit FileViewCache(const CacheModule& cacheModule);

    // The cached open view of key, or null. Marks it most recently used.
    LumoApi::ApiRef<LumoApi::FileViewApi> Lookup(const std::string& key);
    void Store(const std::string& key, const LumoApi::ApiRef<LumoApi::FileViewApi>& view);

    const CacheModule& Source() const noexcept { return m_cacheModule; }

private:
    const CacheModule& m_cacheModule;
    // Guards m_views.
    std::mutex m_lock;
    MruCache<LumoApi::ApiRef<LumoApi::FileViewApi>> m_views{c_Capacity};
};

// The host's FileViewApi: opened on a URL, it works through the cached view of that URL or
// a new view of the cache module. One object per requester.
class CachingFileView : public LumoApi::RefCounted<LumoApi::FileViewApi> {
public:
    explicit CachingFileView(FileViewCache& cache);

    const uint8_t* LUMO_CALL GetBytes() override;
    uint32_t LUMO_CALL GetSize() override;
    int32_t LUMO_CALL Open(LumoApi::UrlApi* url) override;
    int32_t LUMO_CALL Prefetch(uint32_t offset, uint32_t length, uint32_t flags) override;

private:
    LumoApi::FileViewApi& View() const;

    FileViewCache& m_cache;
    LumoApi::ApiRef<LumoApi::FileViewApi> m_view;
};
