#include "SimpleModuleGroup.h"

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"

using namespace LumoApi;

namespace {
constexpr uint32_t ERROR_MOD_NOT_FOUND = 126;
constexpr uint32_t ERROR_PROC_NOT_FOUND = 127;
} // namespace

SimpleModuleGroup::SimpleModuleGroup(const std::string& path)
{
    m_library = Platform::LoadLibrary(path);
    if (!m_library)
        ThrowWinError(ERROR_MOD_NOT_FOUND);
    m_getApi = reinterpret_cast<GetApiFunction>(Platform::GetProcAddress(m_library, c_GetApiSymbol));
    if (!m_getApi) {
        Platform::FreeLibrary(m_library);
        ThrowWinError(ERROR_PROC_NOT_FOUND);
    }
}

SimpleModuleGroup::~SimpleModuleGroup()
{
    Platform::FreeLibrary(m_library);
}

int32_t LUMO_CALL SimpleModuleGroup::GetCount()
{
    return 1;
}

Api* LUMO_CALL SimpleModuleGroup::GetApi(const char* type_id, int32_t)
{
    return ApiBoundary(nullptr, [&] { return m_getApi(type_id); });
}
