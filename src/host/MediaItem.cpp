#include "MediaItem.h"

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Assert.h"
#include "common/Exceptions.h"
#include "host/ContentType.h"
#include "host/HostInternals.h"
#include "host/MediaModuleGroup.h"

using namespace LumoApi;

namespace {

MediaModuleGroup& Media()
{
    HostInternals* host = HostInternals::Instance();
    if (!host)
        ThrowWinError(ERROR_INVALID_FUNCTION);
    return host->MediaGroup();
}

} // namespace

std::string MediaStrings::NameAt(size_t index)
{
    if (index >= m_names.size())
        throw RangeError("List index out of bounds (" + std::to_string(index) + ")");
    return m_names[index];
}

std::string MediaStrings::Value(const std::string&)
{
    return std::string();
}

void MediaStrings::Add(const std::string& name, const std::string&)
{
    m_names.push_back(name);
}

size_t MediaStrings::Count()
{
    return m_names.size();
}

Details::Details(MediaItem& owner) : m_owner(&owner)
{
}

void Details::Fetch()
{
    if (m_api)
        return;
    ApiRef<UrlApi> url = m_owner->Url();
    const char* external = url->GetParam("LumoExternalUrl");
    m_hasExternalUrl = external && external[0];
    m_api = m_owner->GetApi<DetailsApi>();
    m_owner = nullptr;
}

void Details::LoadNames()
{
    if (m_namesLoaded)
        return;
    Fetch();
    for (const char* name = m_api->GetFirstName(); name; name = m_api->GetNextName()) {
        const std::string text = name;
        Add(text, RawValue(text));
    }
    if (LumoGetLastError() != ERROR_NO_MORE_ITEMS)
        ThrowLastError();
    m_namesLoaded = true;
}

std::string Details::NameAt(size_t index)
{
    LoadNames();
    return MediaStrings::NameAt(index);
}

size_t Details::Count()
{
    LoadNames();
    return MediaStrings::Count();
}

std::string Details::RawValue(const std::string& name)
{
    Fetch();
    LumoSetLastError(ERROR_SUCCESS);
    const char* value = m_api->GetValue(name.c_str());
    if (value)
        return value;
    const uint32_t error = LumoGetLastError();
    if (error != ERROR_SUCCESS && error != ERROR_NOT_FOUND)
        ThrowLastError();
    return std::string();
}

std::string Details::Value(const std::string& name)
{
    const std::string asked = name == "Title" ? std::string("FileName") : name;
    std::string value = RawValue(asked);
    if (asked == "FileName" && !m_hasExternalUrl && RawValue("SourceFormat") != c_FolderType) {
        const size_t dot = value.rfind('.');
        if (dot != std::string::npos && dot > 0)
            value.erase(dot);
    }
    return value;
}

MediaItem::MediaItem(ApiRef<UrlApi> url, Look look)
    : m_url(std::move(url)), m_mediaModule(nullptr), m_look(look), m_details(*this)
{
    if (!m_url)
        ThrowWinError(ERROR_INVALID_PARAMETER);
    m_mediaModule = &Media().ModuleForItem(m_url.Get(), m_look == Look::Kept);
}

MediaItem::MediaItem(ApiRef<UrlApi> url, const MediaModule& module, Look look)
    : m_url(std::move(url)), m_mediaModule(&module), m_look(look), m_details(*this)
{
    if (!m_url)
        ThrowWinError(ERROR_INVALID_PARAMETER);
}

MediaItem::~MediaItem() = default;

std::string MediaItem::UrlText() const
{
    const char* text = m_url->GetText();
    return text ? text : "";
}

bool MediaItem::IsContainer()
{
    return ContentTypeMajor(Property("ContentType")) == c_ContainerMajor;
}

bool MediaItem::IsAudio()
{
    return ContentTypeMajor(Property("ContentType")) == c_AudioMajor;
}

bool MediaItem::IsImage()
{
    return ContentTypeMajor(Property("ContentType")) == c_ImageMajor;
}

ApiRef<Api> MediaItem::GetApi(const char* typeId)
{
    ApiRef<Api> api = Media().ItemApi(*m_mediaModule, typeId, m_url.Get(), m_look == Look::Kept);
    if (!api)
        ThrowLastError();
    return api;
}

Container::Container(ApiRef<UrlApi> url) : MediaItem(std::move(url))
{
    m_ref = MediaItem::GetApi<ContainerApi>();
}

Container::Container(ApiRef<UrlApi> url, const MediaModule& module, Look look) : MediaItem(std::move(url), module, look)
{
    m_ref = MediaItem::GetApi<ContainerApi>();
}

Container::~Container()
{
    if (m_subscribed && m_ref)
        m_ref->Unsubscribe(this);
}

ApiRef<UrlApi> Container::ChildOrEnd(UrlApi* child)
{
    if (child)
        return ApiRef<UrlApi>::Adopt(child);
    if (LumoGetLastError() != ERROR_NO_MORE_ITEMS)
        ThrowLastError();
    return ApiRef<UrlApi>();
}

ApiRef<UrlApi> Container::GetFirst()
{
    return ChildOrEnd(m_ref->GetFirst());
}

ApiRef<UrlApi> Container::GetNext()
{
    return ChildOrEnd(m_ref->GetNext());
}

void Container::Cancel()
{
    m_ref->Cancel();
}

void Container::Subscribe(uint8_t flags)
{
    if (m_subscribed)
        return;
    if (!m_ref->Subscribe(this, flags))
        ThrowLastError();
    m_subscribed = true;
}

void Container::Unsubscribe()
{
    if (!m_subscribed)
        return;
    m_ref->Unsubscribe(this);
    m_subscribed = false;
}

void LUMO_CALL Container::OnNotify(ContainerApi* container, int32_t event, UrlApi* child)
{
    ApiBoundaryVoid([&] {
        LUMO_ASSERT(container == m_ref.Get());
        if (container != m_ref.Get())
            return;
        const ApiRef<UrlApi> childRef = ApiRef<UrlApi>::Share(child);
        switch (event) {
        case c_ChildAdded:
            if (m_childAdded)
                m_childAdded(childRef);
            break;
        case c_ChildRemoved:
            if (m_childRemoved)
                m_childRemoved(childRef);
            break;
        case c_ContainerChanged:
            if (m_changed)
                m_changed(childRef);
            break;
        default:
            break;
        }
    });
}
