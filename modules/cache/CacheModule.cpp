#include "CacheModule.h"

#include <lumo/Registry.h>

#include "Guard.h"
#include "ModuleServices.h"

using namespace LumoApi;

namespace LumoCache {

namespace {

// The host takes over the module reference it is given, so each request passes one of ours.
template <class T>
ApiRef<T> HostApi(HostProgramApi& host, ModuleApi* module)
{
    return ApiRef<T>::Adopt(static_cast<T*>(host.GetApi(T::TypeId, ApiRef<ModuleApi>::Share(module).Detach())));
}

} // namespace

CacheModule::~CacheModule()
{
    DropLog(this);
}

int32_t LUMO_CALL CacheModule::Initialize(HostProgramApi* host)
{
    return Guard(0, [&] {
        int32_t maxSizeMB = c_DefaultMaxSizeMB;
        if (host) {
            // A host without settings for modules (null) leaves the default.
            if (ApiRef<RegistryApi> registry = HostApi<RegistryApi>(*host, this))
                maxSizeMB = registry->ReadInteger("MaxSizeMB", c_DefaultMaxSizeMB);
            SetLog(this, HostApi<LogApi>(*host, this));
        }
        SetMaxSizeMB(maxSizeMB);
        return 1;
    });
}

} // namespace LumoCache
