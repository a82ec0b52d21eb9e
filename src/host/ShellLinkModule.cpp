#include "ShellLinkModule.h"

#include <cstring>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"

using namespace LumoApi;

ShellLinkModule& ShellLinkModule::Instance()
{
    static ShellLinkModule instance;
    return instance;
}

Api* ShellLinkModule::GetRecord(const char* type_id)
{
    if (type_id && std::strcmp(type_id, ModuleGroupApi::TypeId) == 0)
        return &m_group;
    if (type_id && std::strcmp(type_id, ModuleApi::TypeId) == 0)
        return &m_module;
    LumoSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

int32_t LUMO_CALL ShellLinkModule::GroupRecord::GetCount()
{
    return 1;
}

Api* LUMO_CALL ShellLinkModule::GroupRecord::GetApi(const char* type_id, int32_t)
{
    return ApiBoundary(nullptr, [&] { return Instance().GetRecord(type_id); });
}

int32_t LUMO_CALL ShellLinkModule::ModuleApiRecord::Initialize(HostProgramApi*)
{
    return 1;
}

const char* LUMO_CALL ShellLinkModule::ModuleApiRecord::GetDisplayName()
{
    return c_DisplayName;
}

const char* LUMO_CALL ShellLinkModule::ModuleApiRecord::GetId()
{
    return c_Id;
}
