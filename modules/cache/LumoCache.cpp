// Entry point of lumo-cache.so, a library of one module ("LumoCache"). The host asks this
// entry point directly for the module and, through its wrapper group, for the module's APIs.
#include <cstring>

#include <lumo/DllSupport.h>
#include <lumo/Lumo.h>

#include "CacheModule.h"
#include "DiskCache.h"
#include "FileView.h"
#include "Guard.h"

using namespace LumoApi;

namespace {

DefaultDllApi g_dllApi;

} // namespace

extern "C" LUMO_EXPORT Api* LUMO_CALL Lumo_GetApi(const char* type_id)
{
    return LumoCache::Guard<Api*>(nullptr, [&]() -> Api* {
        if (!type_id)
            throw LumoCache::CacheError(ERROR_INVALID_PARAMETER);
        if (std::strcmp(type_id, DllApi::TypeId) == 0)
            return &g_dllApi;
        if (std::strcmp(type_id, ModuleApi::TypeId) == 0)
            return new LumoCache::CacheModule();
        if (std::strcmp(type_id, DiskCacheApi::TypeId) == 0 || std::strcmp(type_id, DiskCacheInfoApi::TypeId) == 0)
            return LumoCache::DiskCache::Create();
        if (std::strcmp(type_id, FileViewApi::TypeId) == 0)
            return new LumoCache::FileView();
        LumoSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    });
}
