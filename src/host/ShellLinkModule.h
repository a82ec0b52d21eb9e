// The module the host carries itself: shortcut files (".lnk") as media items. It presents its
// API records at once from one static instance that is never counted.
#pragma once

#include <string>

#include <lumo/Api.h>
#include <lumo/Media.h>
#include <lumo/Module.h>
#include <lumo/Url.h>

class ShellLinkModule {
public:
    static constexpr const char c_Id[] = "LumoShellLink";
    static constexpr const char c_DisplayName[] = "Shell Link Support";

    static ShellLinkModule& Instance();

    LumoApi::ModuleGroupApi* Group() noexcept { return &m_group; }
    LumoApi::ModuleApi* ModuleRecord() noexcept { return &m_module; }

    // The record of type type_id (exact); null with 87 for a type it does not have.
    LumoApi::Api* GetRecord(const char* type_id);

    // The API typeId of the shortcut at url: its own details (the target's with the shortcut's
    // name, or broken details when the target is gone), any other API the target's. Raises 1630
    // for a URL that is not a "file" URL.
    LumoApi::ApiRef<LumoApi::Api> ShortcutApi(const char* typeId, LumoApi::UrlApi* url);

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

    class FormatRecord : public LumoApi::RefNeutral<LumoApi::FormatApi> {
    public:
        int32_t LUMO_CALL GetFormatCount() override;
        int32_t LUMO_CALL GetFormat(int32_t index, LumoApi::FormatInfo* info) override;
        int32_t LUMO_CALL Identify(LumoApi::UrlApi* url, LumoApi::DataApi* data) override;
    };

    class MediaRecord : public LumoApi::RefNeutral<LumoApi::MediaApi> {
    public:
        const char* LUMO_CALL GetContentTypes() override;
        const char* LUMO_CALL GetSecondaryTypes() override;
        LumoApi::Api* LUMO_CALL GetApi(const char* type_id, LumoApi::UrlApi* url) override;
    };

    GroupRecord m_group;
    ModuleApiRecord m_module;
    FormatRecord m_format;
    MediaRecord m_media;
};
