#include "MediaModuleGroup.h"

#include <algorithm>
#include <cstring>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"
#include "host/ContentType.h"
#include "host/DetailsCache.h"
#include "host/FormatModuleGroup.h"
#include "host/ItemData.h"
#include "host/ModuleGroup.h"

using namespace LumoApi;

namespace {

std::vector<std::string> SortedTypes(const char* text)
{
    std::vector<std::string> types;
    for (const std::string& type : SplitCommaList(text ? text : ""))
        types.push_back(ToLower(type));
    std::sort(types.begin(), types.end());
    return types;
}

std::string JoinComma(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty())
            text += ',';
        text += item;
    }
    return text;
}

} // namespace

MediaModuleGroup::MediaModuleGroup(FormatModuleGroup& formats, DetailsCache& details, FileViewCache& views)
    : m_formats(formats), m_details(details), m_views(views)
{
}

void MediaModuleGroup::Initialize(const ModuleGroup& modules)
{
    std::vector<std::string> allTypes;
    std::vector<std::string> allSecondary;
    for (size_t index = 0; index < modules.Count(); ++index) {
        const Module& module = modules[index];
        ApiRef<MediaApi> api = module.GetApi<MediaApi>();
        if (!api)
            continue;
        MediaModule media{&module, SortedTypes(api->GetContentTypes()), SortedTypes(api->GetSecondaryTypes()), api};
        if (media.contentTypes.empty())
            ThrowWinError(ERROR_INVALID_DATA);
        media.secondaryTypes.erase(
            std::unique(media.secondaryTypes.begin(), media.secondaryTypes.end()), media.secondaryTypes.end());
        for (const std::string& type : media.contentTypes) {
            auto [entry, added] = m_moduleByType.try_emplace(type, m_modules.size());
            if (!added) {
                const std::string& other
                    = entry->second < m_modules.size() ? m_modules[entry->second].module->Id() : module.Id();
                throw ListIndexError("Content type '" + type + "' is claimed by both " + other + " and " + module.Id());
            }
            allTypes.push_back(type);
        }
        allSecondary.insert(allSecondary.end(), media.secondaryTypes.begin(), media.secondaryTypes.end());
        m_modules.push_back(std::move(media));
    }
    std::sort(allTypes.begin(), allTypes.end());
    std::sort(allSecondary.begin(), allSecondary.end());
    allSecondary.erase(std::unique(allSecondary.begin(), allSecondary.end()), allSecondary.end());
    m_contentTypesText = JoinComma(allTypes);
    m_secondaryTypesText = JoinComma(allSecondary);
}

const MediaModule& MediaModuleGroup::ModuleForType(const std::string& contentType) const
{
    // Decided types are lower case already; others are made so.
    const bool lower
        = std::none_of(contentType.begin(), contentType.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    auto found = m_moduleByType.find(lower ? contentType : ToLower(contentType));
    if (found == m_moduleByType.end())
        ThrowWinError(ERROR_UNSUPPORTED_TYPE);
    return m_modules[found->second];
}

const MediaModule& MediaModuleGroup::ModuleForItem(UrlApi* url, bool remember) const
{
    ApiRef<DataApi> data = OpenItemData(m_views, url);
    return ModuleForType(m_formats.DecideContentType(url, data.Get(), remember));
}

ApiRef<Api> MediaModuleGroup::ItemApi(const MediaModule& module, const char* typeId, UrlApi* url, bool cached) const
{
    if (cached && typeId && std::strcmp(typeId, DetailsApi::TypeId) == 0) {
        const char* text = url ? url->GetText() : nullptr;
        ApiRef<DetailsApi> cached = m_details.Lookup(text ? text : "", [&] {
            ApiRef<Api> details = ApiRef<Api>::Adopt(module.api->GetApi(DetailsApi::TypeId, url));
            if (!details)
                ThrowLastError();
            return ApiRef<DetailsApi>::Adopt(static_cast<DetailsApi*>(details.Detach()));
        });
        if (cached)
            return ApiRef<Api>(cached);
    }
    return ApiRef<Api>::Adopt(module.api->GetApi(typeId, url));
}

const char* LUMO_CALL MediaModuleGroup::GetContentTypes()
{
    return m_contentTypesText.c_str();
}

const char* LUMO_CALL MediaModuleGroup::GetSecondaryTypes()
{
    return m_secondaryTypesText.empty() ? nullptr : m_secondaryTypesText.c_str();
}

Api* LUMO_CALL MediaModuleGroup::GetApi(const char* type_id, UrlApi* url)
{
    return ApiBoundary(nullptr, [&] {
        if (!type_id || !url)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        return ItemApi(ModuleForItem(url), type_id, url).Detach();
    });
}
