#include "MediaClassSupport.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "ClassContainers.h"
#include "ClassUrls.h"
#include "MediaClassObject.h"
#include "MediaClassState.h"
#include "ModuleGuard.h"

using namespace LumoApi;

namespace LumoModules {

MediaClassSupport::MediaClassSupport(MediaClassConfig config)
    : m_state(std::make_shared<MediaClassState>(std::move(config)))
{
}

MediaClassSupport::~MediaClassSupport()
{
    Detach();
}

int32_t MediaClassSupport::Initialize(HostProgramApi* host, ModuleApi* module)
{
    return Guard(0, [&] {
        if (!host || !module)
            throw ClassError(ERROR_INVALID_PARAMETER);
        m_state->Link().Attach(host, module);
        return 1;
    });
}

void MediaClassSupport::Detach()
{
    m_state->Link().Detach();
}

const MediaClassConfig& MediaClassSupport::Config() const
{
    return m_state->Config();
}

int32_t MediaClassSupport::GetFormat(int32_t index, FormatInfo* info) const
{
    return Guard(0, [&] {
        if (index < 0 || index >= c_FormatCount)
            throw ClassError(ERROR_INVALID_INDEX);
        if (!info)
            throw ClassError(ERROR_INVALID_PARAMETER);
        info->contentType = m_state->ContentType(index).c_str();
        info->extensions = "";
        info->description = m_state->Description(index);
        return 1;
    });
}

int32_t MediaClassSupport::Identify(UrlApi* url) const
{
    return Identify(url, url ? url->GetText() : nullptr);
}

int32_t MediaClassSupport::Identify(UrlApi* url, const char* text) const
{
    return Guard(-1, [&] {
        const int32_t index = url && text ? m_state->Identify(url, text) : -1;
        if (index < 0)
            LumoSetLastError(ERROR_SUCCESS);
        return index;
    });
}

std::optional<ListedFile> MediaClassSupport::Listed(UrlApi* url) const
{
    return m_state->Link().Listed().Read(url);
}

const char* MediaClassSupport::GetContentTypes() const
{
    return m_state->ContentTypesText().c_str();
}

bool MediaClassSupport::HandlesContentType(const char* contentType) const
{
    if (!contentType)
        return false;
    for (int32_t format = 0; format < c_FormatCount; ++format) {
        const std::string& own = m_state->ContentType(format);
        if (own.size() == std::strlen(contentType)
            && std::equal(own.begin(), own.end(), contentType, [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
               }))
            return true;
    }
    return false;
}

bool MediaClassSupport::IsClassItem(UrlApi* url) const
{
    return Identify(url) >= 0;
}

Api* MediaClassSupport::GetApi(const char* typeId, UrlApi* url)
{
    return Guard<Api*>(nullptr, [&]() -> Api* {
        if (!typeId || !url)
            throw ClassError(ERROR_INVALID_PARAMETER);
        const char* text = url->GetText();
        const int32_t format = text ? m_state->Identify(url, text) : -1;
        if (format < 0)
            throw ClassError(ERROR_UNSUPPORTED_TYPE);
        if (std::strcmp(typeId, DetailsApi::TypeId) == 0)
            return CreateClassDetails(m_state, text, format);
        if (std::strcmp(typeId, ContainerApi::TypeId) == 0)
            return CreateClassContainer(m_state, text, format);
        throw ClassError(ERROR_INVALID_PARAMETER);
    });
}

MediaClassApi* MediaClassSupport::CreateMediaClassApi()
{
    return Guard<MediaClassApi*>(nullptr, [&] { return new MediaClassObject(m_state); });
}

ApiRef<UrlApi> MediaClassSupport::StripClassPrefix(UrlApi* url) const
{
    return Guard(ApiRef<UrlApi>(), [&] {
        const char* text = url ? url->GetText() : nullptr;
        if (!text)
            throw ClassError(ERROR_INVALID_PARAMETER);
        if (!HasClassPrefix(text, m_state->Config().scheme))
            return ApiRef<UrlApi>::Share(url);
        return m_state->Link().NewUrl(LumoModules::StripClassPrefix(text, m_state->Config().scheme));
    });
}

ApiRef<UrlApi> MediaClassSupport::NewUrl(const std::string& text) const
{
    return Guard(ApiRef<UrlApi>(), [&] { return m_state->Link().NewUrl(text); });
}

} // namespace LumoModules
