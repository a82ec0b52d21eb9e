#include "DetailsCache.h"

#include "common/ApiBoundary.h"

using namespace LumoApi;

CachedDetails::CachedDetails(ApiRef<DetailsApi> moduleDetails, DetailsCache& cache)
    : m_moduleDetails(std::move(moduleDetails)), m_cache(cache)
{
}

void LUMO_CALL CachedDetails::AddRef()
{
    std::lock_guard<std::recursive_mutex> lock(m_cache.m_lock);
    ++m_count;
}

void LUMO_CALL CachedDetails::Release()
{
    bool last = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_cache.m_lock);
        last = --m_count < 1;
    }
    if (last)
        delete this;
}

const char* LUMO_CALL CachedDetails::GetFirstName()
{
    return ApiBoundary(nullptr, [&] { return m_moduleDetails->GetFirstName(); });
}

const char* LUMO_CALL CachedDetails::GetNextName()
{
    return ApiBoundary(nullptr, [&] { return m_moduleDetails->GetNextName(); });
}

const char* LUMO_CALL CachedDetails::GetValue(const char* name)
{
    return ApiBoundary(nullptr, [&] { return m_moduleDetails->GetValue(name); });
}

DetailsCache::DetailsCache()
{
    m_entries.SetEvictionCallback([](void*, CachedDetails*& details) { details->Release(); }, nullptr);
}

DetailsCache::~DetailsCache()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_entries.ForEach([](const std::string&, CachedDetails*& details) { details->Release(); });
}

ApiRef<DetailsApi> DetailsCache::Free(CachedDetails* details)
{
    if (details->m_count >= 2)
        return ApiRef<DetailsApi>();
    ++details->m_count;
    return ApiRef<DetailsApi>::Adopt(details);
}
