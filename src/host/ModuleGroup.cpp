#include "ModuleGroup.h"

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/Assert.h"
#include "common/Exceptions.h"
#include "host/ShellLinkModule.h"
#include "host/SimpleModuleGroup.h"

using namespace LumoApi;

Module::Module(ApiRef<ModuleGroupApi> group, int32_t index, HostProgramApi* host, std::string file)
    : m_group(std::move(group)), m_index(index), m_file(std::move(file))
{
    m_module = ApiRef<ModuleApi>::Adopt(static_cast<ModuleApi*>(m_group->GetApi(ModuleApi::TypeId, index)));
    if (!m_module)
        ThrowLastError();
    if (!m_module->Initialize(host))
        ThrowLastError();
    const char* id = m_module->GetId();
    const char* displayName = m_module->GetDisplayName();
    if (!id || !id[0])
        ThrowWinError(ERROR_INVALID_DATA);
    m_id = id;
    m_displayName = displayName ? displayName : id;
}

ApiRef<Api> Module::GetApi(const char* type_id) const
{
    return ApiRef<Api>::Adopt(m_group->GetApi(type_id, m_index));
}

ApiRef<Api> Module::GetRequiredApi(const char* type_id) const
{
    ApiRef<Api> api = GetApi(type_id);
    if (!api)
        ThrowLastError();
    return api;
}

ModuleGroup::ModuleGroup(std::string programFolder, HostProgramApi* host)
    : m_programFolder(std::move(programFolder)), m_host(host)
{
}

ModuleGroup::~ModuleGroup()
{
    m_modules.clear();
    m_manager.UnloadUnusedModules();
}

std::vector<ModuleGroup::Group> ModuleGroup::FindGroups()
{
    const std::string pattern = m_programFolder + "*.so";
    std::vector<Group> groups;
    for (ApiRef<Api>& api : m_manager.GetApis(ModuleGroupApi::TypeId, pattern.c_str())) {
        std::string file = m_manager.GetApiPath(api);
        groups.push_back({ApiRef<ModuleGroupApi>::Adopt(static_cast<ModuleGroupApi*>(api.Detach())), file});
    }
    for (ApiRef<Api>& api : m_manager.GetApis(ModuleApi::TypeId, pattern.c_str())) {
        // The library is wrapped once more by path; the module found by the search is let go.
        std::string file = m_manager.GetApiPath(api);
        api.Reset();
        groups.push_back({ApiRef<ModuleGroupApi>::Adopt(new SimpleModuleGroup(file)), file});
    }
    groups.push_back({ApiRef<ModuleGroupApi>::Share(ShellLinkModule::Instance().Group()), std::string()});
    return groups;
}

void ModuleGroup::Initialize()
{
    LUMO_ASSERT(m_modules.empty());
    if (!m_modules.empty())
        return;

    for (Group& group : FindGroups()) {
        const int32_t count = group.api->GetCount();
        for (int32_t index = 0; index < count; ++index) {
            try {
                m_modules.push_back(std::make_unique<Module>(group.api, index, m_host, group.file));
            } catch (...) {
                // One failing module never keeps the others out.
            }
        }
    }
    m_lookup.Forget();
}

const Module& ModuleGroup::ModuleById(const std::string& id) const
{
    const std::unique_ptr<Module>* found = m_lookup.Find(id);
    if (!found)
        ThrowWinError(ERROR_NOT_FOUND);
    return **found;
}
