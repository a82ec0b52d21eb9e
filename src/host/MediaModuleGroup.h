// The host's MediaApi: finds the module that handles an item's content type and asks it for
// the item's APIs.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Media.h>
#include <lumo/Url.h>

class DetailsCache;
class FileViewCache;
class FormatModuleGroup;
class Module;
class ModuleGroup;

// One module with a "MediaApi".
struct MediaModule {
    const Module* module;
    // Lower case, sorted, at least one.
    std::vector<std::string> contentTypes;
    // Lower case, sorted, may be empty.
    std::vector<std::string> secondaryTypes;
    LumoApi::ApiRef<LumoApi::MediaApi> api;
};

class MediaModuleGroup : public LumoApi::RefNeutral<LumoApi::MediaApi> {
public:
    MediaModuleGroup(FormatModuleGroup& formats, DetailsCache& details, FileViewCache& views);

    // Reads every module's types. A module without content types raises 13; a content type
    // that two modules (or one module twice) claim raises a list error. Once, at start-up.
    void Initialize(const ModuleGroup& modules);

    // The module that handles contentType (any letter case); raises 1630 when none does.
    // Any thread.
    const MediaModule& ModuleForType(const std::string& contentType) const;

    // Decides the item's content type from its URL and data and finds its module. remember:
    // as for FormatModuleGroup::DecideContentType.
    const MediaModule& ModuleForItem(LumoApi::UrlApi* url, bool remember = true) const;

    // The item's API of type typeId from module; "DetailsApi" comes from the details cache
    // when it has a free object for the URL (and goes into it), unless cached is false. Null
    // with the module's last error when it has none.
    LumoApi::ApiRef<LumoApi::Api> ItemApi(
        const MediaModule& module, const char* typeId, LumoApi::UrlApi* url, bool cached = true) const;

    const std::vector<MediaModule>& Modules() const noexcept { return m_modules; }

    const char* LUMO_CALL GetContentTypes() override;
    const char* LUMO_CALL GetSecondaryTypes() override;
    LumoApi::Api* LUMO_CALL GetApi(const char* type_id, LumoApi::UrlApi* url) override;

private:
    FormatModuleGroup& m_formats;
    DetailsCache& m_details;
    FileViewCache& m_views;
    std::vector<MediaModule> m_modules;
    // Lower-case content type → index in m_modules. Fixed after Initialize, so lookups from
    // any thread need no lock.
    std::unordered_map<std::string, size_t> m_moduleByType;
    std::string m_contentTypesText;
    std::string m_secondaryTypesText;
};
