// The module the host carries itself: shortcut files (".lnk") as media items. It presents its
// API records at once from one static instance that is never counted.
#pragma once

#include <lumo/Api.h>
#include <lumo/Module.h>

class ShellLinkModule {
public:
    static constexpr const char c_Id[] = "LumoShellLink";
    static constexpr const char c_DisplayName[] = "Shell Link Support";

    static ShellLinkModule& Instance();

    LumoApi::ModuleGroupApi* Group() noexcept { return &m_group; }
    LumoApi::ModuleApi* ModuleRecord() noexcept { return &m_module; }

    // The record of type type_id (exact); null with 87 for a type it does not have.
    LumoApi::Api* GetRecord(const char* type_id);

private:
    ShellLinkModule() = default;

    class GroupRecord : public LumoApi::RefNeutral<LumoApi::ModuleGroupApi> {
    public:
        int32_t LUMO_CALL GetCount() override;
        LumoApi::Api* LUMO_CALL GetApi(const char* type_id, int32_t index) override;
    };

    class ModuleApiRecord : public LumoApi::RefNeutral<LumoApi::ModuleApi> {
    public:
        int32_t LUMO_CALL Initialize(LumoApi::HostProgramApi* host) override;
        const char* LUMO_CALL GetDisplayName() override;
        const char* LUMO_CALL GetId() override;
    };

    GroupRecord m_group;
    ModuleApiRecord m_module;
};
