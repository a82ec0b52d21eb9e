#include "host/FilterContainer.h"

#include <algorithm>
#include <utility>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"
#include "host/ContentType.h"
#include "host/UrlEscape.h"
#include "host/UrlImpl.h"

using namespace LumoApi;

namespace {

template <class Leave>
class OnExit {
public:
    explicit OnExit(Leave leave) : m_leave(std::move(leave)) { }
    ~OnExit() { m_leave(); }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;

private:
    Leave m_leave;
};

template <class T>
ApiRef<T> ApiOf(MediaApi& media, UrlApi* url)
{
    return ApiRef<T>::Adopt(static_cast<T*>(media.GetApi(T::TypeId, url)));
}

// The scheme as it stands in text, still escaped: text begins with it.
std::string RawSchemeOf(const std::string& text)
{
    std::string_view scheme;
    SplitUrl(text, &scheme, nullptr, nullptr, nullptr);
    return std::string(scheme);
}

std::string TextOf(UrlApi* url)
{
    const char* text = url->GetText();
    if (!text)
        ThrowLastError();
    return text;
}

} // namespace

FilterContainer::FilterContainer(MediaApi& media) : m_media(media)
{
}

void FilterContainer::RequireOpen() const
{
    if (!m_open.load(std::memory_order_acquire))
        ThrowWinError(ERROR_INVALID_FUNCTION);
}

ApiRef<UrlApi> FilterContainer::NextAccepted(UrlApi* first)
{
    ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(first);
    while (child) {
        if (m_cancelled.load()) {
            LumoSetLastError(ERROR_NO_MORE_ITEMS);
            return nullptr;
        }
        if (Accepts(child.Get(), 0))
            return WithPrefix(child.Get());
        UrlApi* next = m_base->GetNext();
        const uint32_t code = LumoGetLastError();
        child = ApiRef<UrlApi>::Adopt(next);
        if (!child)
            LumoSetLastError(code);
    }
    return nullptr;
}

bool FilterContainer::Accepts(UrlApi* child, int depth)
{
    if (depth > c_MaxSearchDepth || m_cancelled.load())
        return false;
    ApiRef<DetailsApi> details = ApiOf<DetailsApi>(m_media, child);
    if (!details)
        return false;

    LumoSetLastError(ERROR_SUCCESS);
    if (const char* target = details->GetValue("ShellLinkTarget")) {
        if (!(m_flags & c_FilterFollowShortcuts))
            return false;
        ApiRef<UrlApi> targetUrl = MakeUrl(target);
        details.Reset();
        return Accepts(targetUrl.Get(), depth + 1);
    }
    const uint32_t code = LumoGetLastError();
    if (code != ERROR_SUCCESS && code != ERROR_NOT_FOUND)
        return false;

    const char* type = details->GetValue("ContentType");
    if (!type)
        return false;
    const ContentTypePair pair = SplitContentType(type);
    if (!IsValidPair(pair) || !MatchesContentTypeList(pair, m_filter))
        return false;
    if ((m_flags & c_FilterHideEmptyContainers) && EqualsIgnoreCase(pair.major, c_ContainerMajor)) {
        // Let go before going deeper, or a deep search holds one details object per level.
        details.Reset();
        return HoldsAcceptable(child, depth + 1);
    }
    return true;
}

bool FilterContainer::HoldsAcceptable(UrlApi* container, int depth)
{
    if (depth > c_MaxSearchDepth)
        return false;
    const char* text = container->GetText();
    if (!text)
        return false;
    std::string key = text;
    if (std::find(m_searchPath.begin(), m_searchPath.end(), key) != m_searchPath.end())
        return false;
    ApiRef<ContainerApi> listing = ApiOf<ContainerApi>(m_media, container);
    if (!listing)
        return false;

    m_searchPath.push_back(std::move(key));
    {
        std::lock_guard<std::mutex> lock(m_searchingLock);
        m_searching.push_back(listing);
    }
    OnExit leave([this] {
        m_searchPath.pop_back();
        std::lock_guard<std::mutex> lock(m_searchingLock);
        m_searching.pop_back();
    });
    // Checked after the listing is registered: a Cancel from now on reaches it.
    if (m_cancelled.load())
        return false;
    for (ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(listing->GetFirst()); child && !m_cancelled.load();
         child = ApiRef<UrlApi>::Adopt(listing->GetNext())) {
        if (Accepts(child.Get(), depth))
            return true;
    }
    return false;
}

ApiRef<UrlApi> FilterContainer::WithPrefix(UrlApi* url) const
{
    if (m_schemePrefix.empty())
        return ApiRef<UrlApi>::Share(url);
    const std::string text = TextOf(url);
    // Without a scheme there is nothing to extend, and a scheme of the prefix alone would not
    // come back as the same text once removed again.
    if (RawSchemeOf(text).empty())
        return ApiRef<UrlApi>::Share(url);
    return MakeUrl(EscapeComponent(m_schemePrefix) + text);
}

ApiRef<UrlApi> FilterContainer::WithoutPrefix(UrlApi* url) const
{
    const std::string text = TextOf(url);
    const std::string rawScheme = RawSchemeOf(text);
    const std::string scheme = Unescape(rawScheme);
    if (scheme.empty())
        return ApiRef<UrlApi>::Share(url);
    if (!scheme.starts_with(m_schemePrefix))
        ThrowWinError(ERROR_INVALID_PARAMETER);
    if (m_schemePrefix.empty())
        return ApiRef<UrlApi>::Share(url);
    // Rebuilt from the text rather than from parts, so the rest stays byte for byte the base's.
    return MakeUrl(EscapeComponent(scheme.substr(m_schemePrefix.size())) + text.substr(rawScheme.size()));
}

UrlApi* LUMO_CALL FilterContainer::GetFirst()
{
    return ApiBoundary(nullptr, [&] {
        RequireOpen();
        m_cancelled.store(false);
        return NextAccepted(m_base->GetFirst()).Detach();
    });
}

UrlApi* LUMO_CALL FilterContainer::GetNext()
{
    return ApiBoundary(nullptr, [&] {
        RequireOpen();
        return NextAccepted(m_base->GetNext()).Detach();
    });
}

int32_t LUMO_CALL FilterContainer::Cancel()
{
    return ApiBoundary(0, [&]() -> int32_t {
        if (!m_open.load(std::memory_order_acquire))
            return 0;
        m_cancelled.store(true);
        std::vector<ApiRef<ContainerApi>> searching;
        {
            std::lock_guard<std::mutex> lock(m_searchingLock);
            searching = m_searching;
        }
        m_base->Cancel();
        for (const ApiRef<ContainerApi>& listing : searching)
            listing->Cancel();
        return 1;
    });
}

UrlApi* LUMO_CALL FilterContainer::FindChild(UrlApi* child)
{
    return ApiBoundary(nullptr, [&]() -> UrlApi* {
        RequireOpen();
        if (!child)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        ApiRef<UrlApi> found = ApiRef<UrlApi>::Adopt(m_base->FindChild(WithoutPrefix(child).Get()));
        if (!found)
            return nullptr;
        return WithPrefix(found.Get()).Detach();
    });
}

int32_t LUMO_CALL FilterContainer::Refresh(UrlApi* child)
{
    return ApiBoundary(0, [&] {
        RequireOpen();
        if (!child)
            return m_base->Refresh(nullptr);
        return m_base->Refresh(WithoutPrefix(child).Get());
    });
}

int32_t LUMO_CALL FilterContainer::Subscribe(ContainerCallbackApi* callback, uint8_t flags)
{
    return ApiBoundary(0, [&] {
        RequireOpen();
        return m_base->Subscribe(callback, flags);
    });
}

void LUMO_CALL FilterContainer::Unsubscribe(ContainerCallbackApi* callback)
{
    ApiBoundaryVoid([&] {
        if (m_open.load(std::memory_order_acquire))
            m_base->Unsubscribe(callback);
    });
}

int32_t LUMO_CALL FilterContainer::Open(UrlApi* url, const char* filter, uint32_t flags)
{
    return ApiBoundary(0, [&]() -> int32_t {
        if (m_open.load(std::memory_order_acquire))
            ThrowWinError(ERROR_ALREADY_INITIALIZED);
        if (!url || !filter)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        std::string text = TextOf(url);
        ApiRef<ContainerApi> base = ApiOf<ContainerApi>(m_media, url);
        if (!base)
            ThrowLastError();
        m_base = std::move(base);
        m_flags = flags;
        m_filter = SplitCommaList(filter);
        m_searchPath.assign(1, std::move(text));
        m_open.store(true, std::memory_order_release);
        return 1;
    });
}

int32_t LUMO_CALL FilterContainer::SetSchemePrefix(const char* prefix)
{
    return ApiBoundary(0, [&]() -> int32_t {
        RequireOpen();
        if (!prefix)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        m_schemePrefix = prefix;
        return 1;
    });
}
