// Entry point of lumo-music.so, a library of one module ("LumoMusic"). The host asks this
// entry point directly for the module and, through its wrapper group, for the module's APIs.
#include <cstring>

#include <lumo/DllSupport.h>
#include <lumo/Lumo.h>

#include "Guard.h"
#include "MusicFormat.h"
#include "MusicMedia.h"
#include "MusicModule.h"
#include "MusicState.h"

using namespace LumoApi;

namespace {

DefaultDllApi g_dllApi;

} // namespace

extern "C" LUMO_EXPORT Api* LUMO_CALL Lumo_GetApi(const char* type_id)
{
    return LumoMusic::Guard<Api*>(nullptr, [&]() -> Api* {
        if (!type_id)
            throw LumoMusic::MusicError(ERROR_INVALID_PARAMETER);
        if (std::strcmp(type_id, DllApi::TypeId) == 0)
            return &g_dllApi;
        if (std::strcmp(type_id, ModuleApi::TypeId) == 0)
            return new LumoMusic::MusicModule();
        if (std::strcmp(type_id, FormatApi::TypeId) == 0)
            return new LumoMusic::MusicFormat();
        if (std::strcmp(type_id, MediaApi::TypeId) == 0)
            return new LumoMusic::MusicMedia();
        if (std::strcmp(type_id, MediaClassApi::TypeId) == 0) {
            MediaClassApi* api = LumoMusic::MusicState::Instance().Class().CreateMediaClassApi();
            if (!api && LumoGetLastError() == ERROR_SUCCESS)
                LumoSetLastError(ERROR_INTERNAL_ERROR);
            return api;
        }
        LumoSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    });
}
