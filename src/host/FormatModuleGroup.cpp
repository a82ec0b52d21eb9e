#include "FormatModuleGroup.h"

#include <algorithm>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"
#include "host/ContentType.h"
#include "host/ModuleGroup.h"

using namespace LumoApi;

FormatModuleGroup::FormatModuleGroup() = default;
FormatModuleGroup::~FormatModuleGroup() = default;

void FormatModuleGroup::Initialize(const ModuleGroup& modules, SystemTypes systemTypes, SystemGlobs systemGlobs)
{
    for (size_t index = 0; index < modules.Count(); ++index) {
        const Module& module = modules[index];
        ApiRef<FormatApi> api = module.GetApi<FormatApi>();
        if (!api)
            continue;
        FormatModule formatModule{&module, api, api->GetFormatCount(), {}};
        if (formatModule.count < 0)
            formatModule.count = 0;
        for (int32_t format = 0; format < formatModule.count; ++format) {
            FormatInfo info{};
            if (!api->GetFormat(format, &info) || !info.contentType)
                ThrowLastError();
            formatModule.contentTypes.push_back(ToLower(info.contentType));
            m_moduleTypes.push_back(FileType{info.contentType, SplitCommaList(info.extensions ? info.extensions : ""),
                info.description ? info.description : ""});
        }
        m_formatModules.push_back(std::move(formatModule));
    }
    m_systemTypes = std::move(systemTypes);
    m_systemGlobs = std::move(systemGlobs);
}

const std::vector<std::string>& FormatModuleGroup::TypesOfExtension(const std::string& extension) const
{
    static const std::vector<std::string> c_none;
    std::call_once(m_extensionsIndexed, [this] {
        std::optional<std::vector<FileType>> globs;
        if (m_systemGlobs)
            globs = m_systemGlobs();
        if (!globs && m_systemTypes)
            RequireTypes();
        const auto add = [this](const std::string& contentType, const std::vector<std::string>& extensions) {
            const std::string type = ToLower(contentType);
            for (const std::string& extension : extensions) {
                std::vector<std::string>& types = m_typesByExtension[ToLower(extension)];
                if (std::find(types.begin(), types.end(), type) == types.end())
                    types.push_back(type);
            }
        };
        if (globs) {
            for (const FileType& type : m_moduleTypes)
                add(type.contentType, type.extensions);
            for (const FileType& type : *globs)
                add(type.contentType, type.extensions);
        } else {
            for (const TypeInfo& type : m_types)
                add(type.contentType, type.extensions);
        }
        for (auto& entry : m_typesByExtension)
            std::sort(entry.second.begin(), entry.second.end());
    });
    const auto found = m_typesByExtension.find(extension);
    return found == m_typesByExtension.end() ? c_none : found->second;
}

const char* LUMO_CALL FormatLookup::GetTypesOfExtension(const char* extension)
{
    return ApiBoundary(nullptr, [&]() -> const char* {
        if (!extension || !*extension)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        const std::string key = ToLower(extension);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (const auto found = m_answers.find(key); found != m_answers.end())
                return found->second.c_str();
        }
        std::string text;
        for (const std::string& type : m_formats.TypesOfExtension(key)) {
            if (!text.empty())
                text += ',';
            text += type;
        }
        // An answer once given keeps its address: callers may hold it while the host lives.
        std::lock_guard<std::mutex> lock(m_lock);
        return m_answers.try_emplace(key, std::move(text)).first->second.c_str();
    });
}

const char* LUMO_CALL FormatLookup::DecideContentType(UrlApi* url, DataApi* data)
{
    return ApiBoundary(nullptr, [&]() -> const char* {
        if (!url)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        std::string type = m_formats.DecideContentType(url, data);
        std::lock_guard<std::mutex> lock(m_lock);
        return m_types.insert(std::move(type)).first->c_str();
    });
}

void FormatModuleGroup::RequireTypes() const
{
    std::call_once(m_typesComplete, [this] {
        for (const FileType& type : m_moduleTypes)
            AddType(type.contentType, type.extensions, type.description);
        if (m_systemTypes) {
            for (const FileType& type : m_systemTypes())
                AddType(
                    type.contentType, type.extensions, type.description.empty() ? type.contentType : type.description);
            m_systemTypes = nullptr;
            m_wholeTableRead.store(true, std::memory_order_release);
        }
        for (TypeInfo& type : m_types) {
            type.extensionsText.clear();
            for (const std::string& extension : type.extensions) {
                if (!type.extensionsText.empty())
                    type.extensionsText += ',';
                type.extensionsText += extension;
            }
        }
    });
}

void FormatModuleGroup::AddType(
    const std::string& contentType, const std::vector<std::string>& extensions, const std::string& description) const
{
    const std::string key = ToLower(contentType);
    auto found = std::lower_bound(m_types.begin(), m_types.end(), key,
        [](const TypeInfo& type, const std::string& k) { return type.contentType < k; });
    if (found == m_types.end() || found->contentType != key)
        found = m_types.insert(found, TypeInfo{key, {}, {}, {}});
    found->description = description;
    // A content type named by several sources keeps every extension, the newest first.
    std::vector<std::string> merged;
    for (const std::string& extension : extensions)
        merged.push_back(ToLower(extension));
    for (const std::string& extension : found->extensions) {
        if (std::find(merged.begin(), merged.end(), extension) == merged.end())
            merged.push_back(extension);
    }
    found->extensions = std::move(merged);
}

int32_t FormatModuleGroup::IndexOf(const std::string& contentType) const
{
    RequireTypes();
    const std::string key = ToLower(contentType);
    auto found = std::lower_bound(m_types.begin(), m_types.end(), key,
        [](const TypeInfo& type, const std::string& k) { return type.contentType < k; });
    if (found == m_types.end() || found->contentType != key)
        return -1;
    return static_cast<int32_t>(found - m_types.begin());
}

std::vector<std::string> FormatModuleGroup::ExtensionsOf(const std::string& contentType) const
{
    const int32_t index = IndexOf(contentType);
    return index < 0 ? std::vector<std::string>() : m_types[index].extensions;
}

std::string FormatModuleGroup::ExtensionOf(UrlApi* url)
{
    const char* text = url->GetText();
    if (text && text[0] == '.')
        return ToLower(text);
    const char* path = url->GetPath();
    if (!path)
        return std::string();
    const std::string_view view(path);
    const size_t slash = view.rfind('/');
    const size_t dot = view.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::string();
    return ToLower(view.substr(dot));
}

std::string FormatModuleGroup::TypeFromExtension(const std::string& extension) const
{
    // The first of the table's types (sorted) that lists it, without waiting for the whole table.
    if (extension.empty())
        return std::string();
    const std::vector<std::string>& types = TypesOfExtension(extension);
    return types.empty() ? std::string() : types.front();
}

std::string FormatModuleGroup::DecideContentType(UrlApi* url, DataApi* data, bool remember)
{
    if (!url)
        ThrowWinError(ERROR_INVALID_PARAMETER);
    std::string text;
    if (remember) {
        const char* rawText = url->GetText();
        text = rawText ? rawText : "";
        std::lock_guard<std::mutex> lock(m_lock);
        std::string cached;
        if (m_decided.Lookup(text, cached))
            return cached;
    }

    std::string decided;
    for (const FormatModule& formatModule : m_formatModules) {
        const int32_t index = formatModule.api->Identify(url, data);
        if (index >= 0 && index < formatModule.count) {
            decided = formatModule.contentTypes[index];
            break;
        }
    }
    if (decided.empty())
        decided = TypeFromExtension(ExtensionOf(url));
    if (remember && !decided.empty()) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_decided.Store(text, decided);
    }
    return decided;
}

int32_t LUMO_CALL FormatModuleGroup::GetFormatCount()
{
    return ApiBoundary(0, [&] {
        RequireTypes();
        return static_cast<int32_t>(m_types.size());
    });
}

int32_t LUMO_CALL FormatModuleGroup::GetFormat(int32_t index, FormatInfo* info)
{
    return ApiBoundary(0, [&]() -> int32_t {
        RequireTypes();
        if (index < 0 || static_cast<size_t>(index) >= m_types.size())
            ThrowWinError(ERROR_INVALID_INDEX);
        if (!info)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        const TypeInfo& type = m_types[index];
        info->contentType = type.contentType.c_str();
        info->extensions = type.extensionsText.c_str();
        info->description = type.description.c_str();
        return 1;
    });
}

int32_t LUMO_CALL FormatModuleGroup::Identify(UrlApi* url, DataApi* data)
{
    return ApiBoundary(-1, [&]() -> int32_t {
        const std::string decided = DecideContentType(url, data);
        const int32_t index = decided.empty() ? -1 : IndexOf(decided);
        if (index < 0)
            LumoSetLastError(ERROR_SUCCESS);
        return index;
    });
}
