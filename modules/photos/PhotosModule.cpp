#include "PhotosModule.h"

#include <lumo/Data.h>
#include <lumo/Errors.h>
#include <lumo/Log.h>

#include "PhotoError.h"
#include "PhotoServices.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

// The host takes over the module reference it is given, so each request passes one of ours.
template <class T>
ApiRef<T> HostApi(HostProgramApi& host, ModuleApi* module)
{
    return ApiRef<T>::Adopt(static_cast<T*>(host.GetApi(T::TypeId, ApiRef<ModuleApi>::Share(module).Detach())));
}

} // namespace

PhotosModule::~PhotosModule()
{
    DropHostServices(this);
    if (m_classInitialized)
        ClassSupport().Detach();
}

const char* LUMO_CALL PhotosModule::GetId()
{
    return c_ModuleId;
}

int32_t LUMO_CALL PhotosModule::Initialize(HostProgramApi* host)
{
    return Guard(0, [&] {
        if (!host)
            throw PhotoError(ERROR_INVALID_PARAMETER);
        if (!ClassSupport().Initialize(host, this))
            return 0;
        m_classInitialized = true;
        SetHostServices(this, host, HostApi<LogApi>(*host, this));
        return 1;
    });
}

} // namespace LumoPhotos
