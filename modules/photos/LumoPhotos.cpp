// Entry point of lumo-photos.so, a library of one module ("LumoPhotos"). The host asks this
// entry point directly for the module and, through its wrapper group, for the module's APIs.
#include <cstring>

#include <lumo/DllSupport.h>
#include <lumo/Lumo.h>

#include "PhotoError.h"
#include "PhotoFormats.h"
#include "PhotoMedia.h"
#include "PhotoServices.h"
#include "PhotosModule.h"

using namespace LumoApi;

namespace {

DefaultDllApi g_dllApi;

} // namespace

extern "C" LUMO_EXPORT Api* LUMO_CALL Lumo_GetApi(const char* type_id)
{
    return LumoPhotos::Guard<Api*>(nullptr, [&]() -> Api* {
        if (!type_id)
            throw LumoPhotos::PhotoError(ERROR_INVALID_PARAMETER);
        if (std::strcmp(type_id, DllApi::TypeId) == 0)
            return &g_dllApi;
        if (std::strcmp(type_id, ModuleApi::TypeId) == 0)
            return new LumoPhotos::PhotosModule();
        if (std::strcmp(type_id, FormatApi::TypeId) == 0)
            return new LumoPhotos::PhotoFormats();
        if (std::strcmp(type_id, MediaApi::TypeId) == 0)
            return new LumoPhotos::PhotoMedia();
        if (std::strcmp(type_id, MediaClassApi::TypeId) == 0)
            return LumoPhotos::ClassSupport().CreateMediaClassApi();
        throw LumoPhotos::PhotoError(ERROR_INVALID_PARAMETER);
    });
}
