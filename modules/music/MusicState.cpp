#include "MusicState.h"

#include <lumo/Media.h>
#include <lumo/Platform.h>

#include "AudioFormats.h"
#include "Guard.h"
#include "MusicPaths.h"
#include "MusicText.h"

using namespace LumoApi;

namespace LumoMusic {

namespace {

LumoModules::MediaClassConfig MusicClassConfig()
{
    LumoModules::MediaClassConfig config;
    config.classId = "LumoMusic";
    config.scheme = std::string(c_ClassScheme);
    config.specialFolder = "music";
    config.filter = "audio/*,x-container/lumomusic-playlist";
    config.rootsTitle = "Music";
    config.publishedTitle = "Published music";
    return config;
}

} // namespace

MusicState::MusicState() : m_class(MusicClassConfig())
{
}

MusicState& MusicState::Instance()
{
    static MusicState state;
    return state;
}

int32_t MusicState::Attach(HostProgramApi* host, ModuleApi* module)
{
    ApiRef<LogApi> log;
    if (host && module) {
        module->AddRef();
        log = ApiRef<LogApi>::Adopt(static_cast<LogApi*>(host->GetApi(LogApi::TypeId, module)));
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_host = host;
        m_module = module;
        std::swap(m_log, log);
    }
    return m_class.Initialize(host, module);
}

void MusicState::Detach(ModuleApi* module)
{
    ApiRef<LogApi> log;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!module || module != m_module)
            return;
        m_host = nullptr;
        m_module = nullptr;
        std::swap(m_log, log);
    }
    m_class.Detach();
}

void MusicState::Log(int32_t severity, const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_log)
        m_log->Write(severity, "Music", "%s", text.c_str());
}

bool MusicState::IsOtherFormatsExtension(const std::string& extension)
{
    std::lock_guard<std::mutex> extensionsLock(m_extensionsLock);
    if (m_extensionsRead)
        return m_otherExtensions.count(extension) != 0;
    if (const auto answer = m_answers.find(extension); answer != m_answers.end())
        return answer->second;
    HostProgramApi* host = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        host = m_host;
    }
    // Without a host nothing is known yet; the next call asks again.
    if (!host)
        return false;
    const uint32_t savedError = LumoGetLastError();
    const ApiRef<FormatLookupApi> lookup
        = ApiRef<FormatLookupApi>::Adopt(static_cast<FormatLookupApi*>(host->GetApi(FormatLookupApi::TypeId, nullptr)));
    bool other = false;
    if (!lookup) {
        ReadOtherExtensions(host);
        m_extensionsRead = true;
        other = m_otherExtensions.count(extension) != 0;
    } else if (const char* types = lookup->GetTypesOfExtension(extension.c_str())) {
        // The module's own extensions stay its own whatever else claims them.
        other = !FormatOfExtension(extension) && ListsOtherType(types);
        m_answers.emplace(extension, other);
    }
    LumoSetLastError(savedError);
    return other;
}

bool MusicState::ListsOtherType(const char* types) const
{
    std::string_view list = types;
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const std::string type(list.substr(0, comma));
        if (!type.empty() && !FormatOfContentType(type) && !m_class.HandlesContentType(type.c_str()))
            return true;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
}

void MusicState::ReadOtherExtensions(HostProgramApi* host)
{
    const uint32_t savedError = LumoGetLastError();
    ApiRef<FormatApi> formats
        = ApiRef<FormatApi>::Adopt(static_cast<FormatApi*>(host->GetApi(FormatApi::TypeId, nullptr)));
    const int32_t count = formats ? formats->GetFormatCount() : 0;
    for (int32_t index = 0; index < count; ++index) {
        FormatInfo info{};
        if (!formats->GetFormat(index, &info) || !info.contentType || !info.extensions)
            continue;
        if (FormatOfContentType(info.contentType) || m_class.HandlesContentType(info.contentType))
            continue;
        std::string_view list = info.extensions;
        while (!list.empty()) {
            const size_t comma = list.find(',');
            const std::string extension = ToLowerAscii(list.substr(0, comma));
            // The module's own extensions stay its own whatever else claims them.
            if (!extension.empty() && !FormatOfExtension(extension))
                m_otherExtensions.insert(extension);
            list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        }
    }
    LumoSetLastError(savedError);
}

ApiRef<UrlApi> MusicState::NewUrl(const std::string& text)
{
    ApiRef<UrlApi> url = m_class.NewUrl(text);
    if (!url) {
        const uint32_t error = LumoGetLastError();
        throw MusicError(error ? error : ERROR_INVALID_FUNCTION);
    }
    return url;
}

} // namespace LumoMusic
