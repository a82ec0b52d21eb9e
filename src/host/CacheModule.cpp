#include "CacheModule.h"

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"
#include "host/ModuleGroup.h"

using namespace LumoApi;

namespace {

int32_t StoreIn(DiskCacheApi& cache, const std::string& key, DataApi* data, uint32_t value)
{
    if (!cache.Store(key.c_str(), data, value))
        ThrowLastError();
    return 1;
}

DataApi* LookupIn(DiskCacheApi& cache, const std::string& key, uint32_t value)
{
    DataApi* data = cache.Lookup(key.c_str(), value);
    if (!data && LumoGetLastError() != ERROR_NOT_FOUND)
        ThrowLastError();
    return data;
}

} // namespace

void CacheModule::Initialize(const ModuleGroup& modules)
{
    m_module = &modules.ModuleById(c_ModuleId);
    m_diskCache = m_module->GetRequiredApi<DiskCacheApi>();
}

DiskCacheApi& CacheModule::DiskCache() const
{
    if (!m_diskCache)
        ThrowWinError(ERROR_INVALID_FUNCTION);
    return *m_diskCache;
}

ApiRef<DiskCacheInfoApi> CacheModule::Info() const
{
    if (!m_module)
        ThrowWinError(ERROR_INVALID_FUNCTION);
    return m_module->GetApi<DiskCacheInfoApi>();
}

ApiRef<FileViewApi> CacheModule::NewFileView() const
{
    if (!m_module)
        ThrowWinError(ERROR_INVALID_FUNCTION);
    return m_module->GetRequiredApi<FileViewApi>();
}

int32_t LUMO_CALL CacheModule::Store(const char* key, DataApi* data, uint32_t value)
{
    return ApiBoundary(0, [&] { return StoreIn(DiskCache(), key ? key : "", data, value); });
}

void LUMO_CALL CacheModule::Remove(const char* key)
{
    ApiBoundaryVoid([&] { DiskCache().Remove(key ? key : ""); });
}

DataApi* LUMO_CALL CacheModule::Lookup(const char* key, uint32_t value)
{
    return ApiBoundary(nullptr, [&] { return LookupIn(DiskCache(), key ? key : "", value); });
}

ModuleCache::ModuleCache(const std::string& moduleId, ApiRef<DiskCacheApi> diskCache)
    : m_prefix(moduleId + "."), m_diskCache(std::move(diskCache))
{
}

std::string ModuleCache::Key(const char* key) const
{
    if (!m_diskCache)
        ThrowWinError(ERROR_INVALID_FUNCTION);
    return m_prefix + (key ? key : "");
}

int32_t LUMO_CALL ModuleCache::Store(const char* key, DataApi* data, uint32_t value)
{
    return ApiBoundary(0, [&] {
        const std::string fullKey = Key(key);
        return StoreIn(*m_diskCache, fullKey, data, value);
    });
}

void LUMO_CALL ModuleCache::Remove(const char* key)
{
    ApiBoundaryVoid([&] {
        const std::string fullKey = Key(key);
        m_diskCache->Remove(fullKey.c_str());
    });
}

DataApi* LUMO_CALL ModuleCache::Lookup(const char* key, uint32_t value)
{
    return ApiBoundary(nullptr, [&] {
        const std::string fullKey = Key(key);
        return LookupIn(*m_diskCache, fullKey, value);
    });
}
