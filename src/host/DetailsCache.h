// The most recently used details objects, by URL, so repeated questions about one item's
// properties do not go back to its module. One details object is never used by two holders at
// once: a hit that someone else still holds answers none, and the caller asks the module.
#pragma once

#include <mutex>
#include <string>

#include <lumo/Api.h>
#include <lumo/Media.h>
#include <lumo/Url.h>

#include "common/MruCache.h"

class DetailsCache;

// One URL's details: forwards to the module's details. Its count is changed under the cache's
// lock, because the cache decides by the count whether the object is free.
class CachedDetails : public LumoApi::DetailsApi {
public:
    CachedDetails(LumoApi::ApiRef<LumoApi::DetailsApi> moduleDetails, DetailsCache& cache);

    void LUMO_CALL AddRef() override;
    void LUMO_CALL Release() override;
    const char* LUMO_CALL GetFirstName() override;
    const char* LUMO_CALL GetNextName() override;
    const char* LUMO_CALL GetValue(const char* name) override;

private:
    friend class DetailsCache;
    virtual ~CachedDetails() = default;

    LumoApi::ApiRef<LumoApi::DetailsApi> m_moduleDetails;
    DetailsCache& m_cache;
    // Guarded by the cache's lock; starts at 1, the cache's own reference.
    int32_t m_count = 1;
};

class DetailsCache {
public:
    static constexpr int c_Capacity = 50;

    DetailsCache();
    ~DetailsCache();
    DetailsCache(const DetailsCache&) = delete;
    DetailsCache& operator=(const DetailsCache&) = delete;

    // The cached details of url (with a reference for the caller), created from moduleDetails
    // on a miss; null when the cached object is held by someone else. createDetails is called
    // only on a miss and must answer the module's details or raise.
    template <class Create>
    LumoApi::ApiRef<LumoApi::DetailsApi> Lookup(const std::string& url, Create&& createDetails)
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        CachedDetails* details = nullptr;
        if (m_entries.Lookup(url, details))
            return Free(details);
        details = new CachedDetails(createDetails(), *this);
        // Creating may have asked for the same URL again (a shortcut to itself) and stored that:
        // it gives way, with the cache's reference to it.
        if (CachedDetails* stored = nullptr; m_entries.Lookup(url, stored))
            stored->Release();
        m_entries.Store(url, details);
        details->m_count++;
        return LumoApi::ApiRef<LumoApi::DetailsApi>::Adopt(details);
    }

private:
    friend class CachedDetails;

    LumoApi::ApiRef<LumoApi::DetailsApi> Free(CachedDetails* details);

    // Guards m_entries and every CachedDetails count; recursive because an eviction releases
    // an entry under it.
    std::recursive_mutex m_lock;
    MruCache<CachedDetails*> m_entries{c_Capacity};
};
