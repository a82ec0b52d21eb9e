// The host's CacheApi over the disk cache of the "LumoCache" module, and the per-module
// CacheApi that keeps each module's keys apart.
#pragma once

#include <string>

#include <lumo/Api.h>
#include <lumo/Data.h>

class Module;
class ModuleGroup;

class CacheModule : public LumoApi::RefNeutral<LumoApi::CacheApi> {
public:
    static constexpr const char c_ModuleId[] = "LumoCache";

    // Finds the "LumoCache" module (absent: 1168) and its "DiskCacheApi" (absent: the
    // module's last error).
    void Initialize(const ModuleGroup& modules);
    // Lets go of the disk cache before the modules are unloaded.
    void Release() noexcept { m_diskCache.Reset(); }

    // Raises 1 before Initialize.
    LumoApi::DiskCacheApi& DiskCache() const;
    // The cache's statistics, when the module offers them; else null.
    LumoApi::ApiRef<LumoApi::DiskCacheInfoApi> Info() const;
    // A new, unopened file view of the cache module.
    LumoApi::ApiRef<LumoApi::FileViewApi> NewFileView() const;

    int32_t LUMO_CALL Store(const char* key, LumoApi::DataApi* data, uint32_t value) override;
    void LUMO_CALL Remove(const char* key) override;
    LumoApi::DataApi* LUMO_CALL Lookup(const char* key, uint32_t value) override;

private:
    const Module* m_module = nullptr;
    LumoApi::ApiRef<LumoApi::DiskCacheApi> m_diskCache;
};

// One module's view of the cache: every key gets the module id and "." in front.
class ModuleCache : public LumoApi::RefCounted<LumoApi::CacheApi> {
public:
    ModuleCache(const std::string& moduleId, LumoApi::ApiRef<LumoApi::DiskCacheApi> diskCache);

    int32_t LUMO_CALL Store(const char* key, LumoApi::DataApi* data, uint32_t value) override;
    void LUMO_CALL Remove(const char* key) override;
    LumoApi::DataApi* LUMO_CALL Lookup(const char* key, uint32_t value) override;

private:
    std::string Key(const char* key) const;

    std::string m_prefix;
    LumoApi::ApiRef<LumoApi::DiskCacheApi> m_diskCache;
};
