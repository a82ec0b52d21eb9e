#include "host/UrlImpl.h"

#include <mutex>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"

using namespace LumoApi;

namespace {

// The one lock of every UrlImpl: guards all their fields. One URL object is read from the
// interface thread and from enumeration threads at once, and its first read splits it.
std::mutex g_urlLock;

// An absent part is an everyday answer (a file URL has no host), so it is given without the
// cost of an exception: listings ask it of every item.
const char* NonEmpty(const std::string& text)
{
    if (text.empty()) {
        LumoSetLastError(ERROR_NOT_FOUND);
        return nullptr;
    }
    return text.c_str();
}

const char* ParamAt(const ParamList& params, int32_t index, bool wantName)
{
    if (index < 0 || static_cast<size_t>(index) >= params.size())
        ThrowWinError(ERROR_INVALID_INDEX);
    const ParamList::Param& param = params[static_cast<size_t>(index)];
    return wantName ? param.first.c_str() : param.second.c_str();
}

} // namespace

void UrlImpl::RequireText() const
{
    if (!(m_flags & c_TextSet))
        ThrowWinError(ERROR_INVALID_FUNCTION);
}

void UrlImpl::SplitParts()
{
    if (m_flags & c_PartsSplit)
        return;
    std::string_view scheme, host, path;
    SplitUrl(m_text, &scheme, &host, &path, nullptr);
    // Unescape into locals first: a bad escape leaves the object unsplit, and the next read
    // reports the same failure instead of answering half-split parts.
    std::string plainScheme = Unescape(scheme);
    std::string plainHost = Unescape(host);
    std::string plainPath = Unescape(path);
    m_scheme = std::move(plainScheme);
    m_host = std::move(plainHost);
    m_path = std::move(plainPath);
    m_flags |= c_PartsSplit;
}

void UrlImpl::SplitParams()
{
    if (m_flags & c_ParamsSplit)
        return;
    // Most URLs have no query: nothing to split, and nothing to allocate.
    if (m_text.find('?') != std::string::npos) {
        std::string_view query;
        SplitUrl(m_text, nullptr, nullptr, nullptr, &query);
        m_params = ParseQuery(query);
    }
    m_flags |= c_ParamsSplit;
}

void UrlImpl::ComposeText()
{
    if (m_flags & c_TextCurrent)
        return;
    SplitParts();
    SplitParams();
    m_text = JoinUrl(EscapeComponent(m_scheme), Escape(m_host, c_HostSafe), EscapePath(m_path), BuildQuery(m_params));
    m_flags |= c_TextCurrent;
}

bool UrlImpl::AttachListed(const Listed& listed)
{
    int none = c_ListedNone;
    if (!m_listedState.compare_exchange_strong(none, c_ListedWriting, std::memory_order_acquire))
        return false;
    m_listed = listed;
    m_listedState.store(c_ListedSet, std::memory_order_release);
    return true;
}

int32_t LUMO_CALL UrlImpl::SetText(const char* text)
{
    return ApiBoundary(0, [&]() -> int32_t {
        if (!text)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        std::lock_guard<std::mutex> lock(g_urlLock);
        if (m_flags & c_TextSet)
            ThrowWinError(ERROR_ALREADY_INITIALIZED);
        m_text = text;
        m_flags |= c_TextSet;
        return 1;
    });
}

const char* LUMO_CALL UrlImpl::GetScheme()
{
    return ApiBoundary(nullptr, [&] {
        std::lock_guard<std::mutex> lock(g_urlLock);
        RequireText();
        SplitParts();
        return NonEmpty(m_scheme);
    });
}

const char* LUMO_CALL UrlImpl::GetHost()
{
    return ApiBoundary(nullptr, [&] {
        std::lock_guard<std::mutex> lock(g_urlLock);
        RequireText();
        SplitParts();
        return NonEmpty(m_host);
    });
}

const char* LUMO_CALL UrlImpl::GetPath()
{
    return ApiBoundary(nullptr, [&] {
        std::lock_guard<std::mutex> lock(g_urlLock);
        RequireText();
        SplitParts();
        return NonEmpty(m_path);
    });
}

int32_t LUMO_CALL UrlImpl::GetParamCount()
{
    return ApiBoundary(0, [&] {
        std::lock_guard<std::mutex> lock(g_urlLock);
        RequireText();
        SplitParams();
        return static_cast<int32_t>(m_params.size());
    });
}

const char* LUMO_CALL UrlImpl::GetParamName(int32_t index)
{
    return ApiBoundary(nullptr, [&] {
        std::lock_guard<std::mutex> lock(g_urlLock);
        RequireText();
        SplitParams();
        return ParamAt(m_params, index, true);
    });
}

const char* LUMO_CALL UrlImpl::GetParamValue(int32_t index)
{
    return ApiBoundary(nullptr, [&] {
        std::lock_guard<std::mutex> lock(g_urlLock);
        RequireText();
        SplitParams();
        return ParamAt(m_params, index, false);
    });
}

const char* LUMO_CALL UrlImpl::GetParam(const char* name)
{
    return ApiBoundary(nullptr, [&] {
        if (!name)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        std::lock_guard<std::mutex> lock(g_urlLock);
        RequireText();
        SplitParams();
        const std::string* value = m_params.Find(name);
        if (!value) {
            LumoSetLastError(ERROR_NOT_FOUND);
            return static_cast<const char*>(nullptr);
        }
        return value->c_str();
    });
}

const char* LUMO_CALL UrlImpl::GetText()
{
    return ApiBoundary(nullptr, [&] {
        std::lock_guard<std::mutex> lock(g_urlLock);
        RequireText();
        ComposeText();
        return NonEmpty(m_text);
    });
}

const char* LUMO_CALL UrlImpl::GetLocalPart()
{
    return ApiBoundary(nullptr, [&] {
        std::lock_guard<std::mutex> lock(g_urlLock);
        RequireText();
        ComposeText();
        // Measured on the text itself: the escaped scheme and host may be longer than the
        // parts they stand for.
        return m_text.c_str() + LocalPartOffset(m_text);
    });
}

ApiRef<UrlImpl> UrlImpl::FromParts(std::string scheme, std::string host, std::string path, ParamList params)
{
    ApiRef<UrlImpl> url = ApiRef<UrlImpl>::Adopt(new UrlImpl());
    std::lock_guard<std::mutex> lock(g_urlLock);
    url->m_scheme = std::move(scheme);
    url->m_host = std::move(host);
    url->m_path = std::move(path);
    url->m_params = std::move(params);
    url->m_flags = c_TextSet | c_PartsSplit | c_ParamsSplit;
    return url;
}

void UrlImpl::SetScheme(std::string scheme)
{
    std::lock_guard<std::mutex> lock(g_urlLock);
    SplitParts();
    SplitParams();
    m_scheme = std::move(scheme);
    m_flags &= ~c_TextCurrent;
}

void UrlImpl::SetHost(std::string host)
{
    std::lock_guard<std::mutex> lock(g_urlLock);
    SplitParts();
    SplitParams();
    m_host = std::move(host);
    m_flags &= ~c_TextCurrent;
}

void UrlImpl::SetPath(std::string path)
{
    std::lock_guard<std::mutex> lock(g_urlLock);
    SplitParts();
    SplitParams();
    m_path = std::move(path);
    m_flags &= ~c_TextCurrent;
}

void UrlImpl::SetParam(const std::string& name, std::string value)
{
    std::lock_guard<std::mutex> lock(g_urlLock);
    SplitParts();
    SplitParams();
    m_params.Set(name, std::move(value));
    m_flags &= ~c_TextCurrent;
}

ApiRef<UrlApi> MakeUrl(const std::string& text)
{
    ApiRef<UrlImpl> url = ApiRef<UrlImpl>::Adopt(new UrlImpl());
    if (!url->SetText(text.c_str()))
        ThrowLastError();
    return url;
}

ZombieUrl& ZombieUrl::Instance() noexcept
{
    static ZombieUrl zombie;
    return zombie;
}

int32_t LUMO_CALL ZombieUrl::SetText(const char*)
{
    return ApiBoundary(0, []() -> int32_t { ThrowWinError(ERROR_ALREADY_INITIALIZED); });
}

const char* LUMO_CALL ZombieUrl::GetScheme()
{
    return ApiBoundary(nullptr, []() -> const char* { ThrowWinError(ERROR_NOT_FOUND); });
}

const char* LUMO_CALL ZombieUrl::GetHost()
{
    return ApiBoundary(nullptr, []() -> const char* { ThrowWinError(ERROR_NOT_FOUND); });
}

const char* LUMO_CALL ZombieUrl::GetPath()
{
    return ApiBoundary(nullptr, []() -> const char* { ThrowWinError(ERROR_NOT_FOUND); });
}

int32_t LUMO_CALL ZombieUrl::GetParamCount()
{
    return 0;
}

const char* LUMO_CALL ZombieUrl::GetParamName(int32_t)
{
    return ApiBoundary(nullptr, []() -> const char* { ThrowWinError(ERROR_INVALID_INDEX); });
}

const char* LUMO_CALL ZombieUrl::GetParamValue(int32_t)
{
    return ApiBoundary(nullptr, []() -> const char* { ThrowWinError(ERROR_INVALID_INDEX); });
}

const char* LUMO_CALL ZombieUrl::GetParam(const char*)
{
    return ApiBoundary(nullptr, []() -> const char* { ThrowWinError(ERROR_NOT_FOUND); });
}

const char* LUMO_CALL ZombieUrl::GetText()
{
    return ApiBoundary(nullptr, []() -> const char* { ThrowWinError(ERROR_NOT_FOUND); });
}

const char* LUMO_CALL ZombieUrl::GetLocalPart()
{
    return ApiBoundary(nullptr, []() -> const char* { ThrowWinError(ERROR_NOT_FOUND); });
}
