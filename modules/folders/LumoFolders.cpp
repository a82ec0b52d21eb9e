// Entry point of lumo-folders.so, a library of one module ("LumoFolders"): file-system folders
// as media items.
#include <cstring>

#include <lumo/DllSupport.h>
#include <lumo/Lumo.h>

#include "FolderFormat.h"
#include "FoldersModule.h"
#include "Guard.h"

using namespace LumoApi;

namespace {

DefaultDllApi g_dllApi;

} // namespace

extern "C" LUMO_EXPORT Api* LUMO_CALL Lumo_GetApi(const char* type_id)
{
    return LumoFolders::Guard<Api*>(nullptr, [&]() -> Api* {
        if (!type_id)
            throw LumoFolders::FolderError(ERROR_INVALID_PARAMETER);
        if (std::strcmp(type_id, DllApi::TypeId) == 0)
            return &g_dllApi;
        if (std::strcmp(type_id, ModuleApi::TypeId) == 0)
            return new LumoFolders::FoldersModule();
        if (std::strcmp(type_id, FormatApi::TypeId) == 0)
            return new LumoFolders::FolderFormat();
        if (std::strcmp(type_id, MediaApi::TypeId) == 0)
            return new LumoFolders::FolderMedia();
        throw LumoFolders::FolderError(ERROR_INVALID_PARAMETER);
    });
}
