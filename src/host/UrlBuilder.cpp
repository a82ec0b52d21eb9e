#include "host/UrlBuilder.h"

#include <algorithm>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"

using namespace LumoApi;

namespace {

// A part read through the API: absent answers empty, any other failure is raised, so a copy
// is never made from a URL that could not be read.
template <class Read>
std::string ReadPart(Read&& read, bool absentIsEmpty)
{
    if (const char* text = read())
        return text;
    if (absentIsEmpty && LumoGetLastError() == ERROR_NOT_FOUND)
        return std::string();
    ThrowLastError();
}

ApiRef<UrlImpl> CopyOf(UrlApi* url)
{
    if (!url)
        return UrlImpl::FromParts({}, {}, {}, {});
    std::string scheme = ReadPart([&] { return url->GetScheme(); }, true);
    std::string host = ReadPart([&] { return url->GetHost(); }, true);
    std::string path = ReadPart([&] { return url->GetPath(); }, true);

    LumoSetLastError(ERROR_SUCCESS);
    const int32_t count = url->GetParamCount();
    if (count == 0 && LumoGetLastError() != ERROR_SUCCESS)
        ThrowLastError();
    ParamList params;
    for (int32_t i = 0; i < count; ++i) {
        std::string name = ReadPart([&] { return url->GetParamName(i); }, false);
        params.Add(std::move(name), ReadPart([&] { return url->GetParamValue(i); }, false));
    }
    return UrlImpl::FromParts(std::move(scheme), std::move(host), std::move(path), std::move(params));
}

std::string TextOrEmpty(const char* text)
{
    return text ? std::string(text) : std::string();
}

// A path written the Windows way: from a drive ("C:\Music", "C:/Music") or from a backslash
// ("\Music", "\\server\share"). Anything else is a path of this system, where "\" is a
// character of a file name like any other.
bool IsWindowsPath(const std::string& path)
{
    const bool drive = path.size() >= 2 && path[1] == ':'
        && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive || (!path.empty() && path[0] == '\\');
}

} // namespace

UrlImpl& UrlBuilder::Editable()
{
    if (!m_copy) {
        m_copy = CopyOf(m_url.Get());
        m_url = m_copy;
    }
    return *m_copy.Get();
}

int32_t LUMO_CALL UrlBuilder::SetUrl(UrlApi* url)
{
    return ApiBoundary(0, [&]() -> int32_t {
        if (!url)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        m_url = ApiRef<UrlApi>::Share(url);
        m_copy.Reset();
        return 1;
    });
}

int32_t LUMO_CALL UrlBuilder::SetScheme(const char* scheme)
{
    return ApiBoundary(0, [&]() -> int32_t {
        Editable().SetScheme(TextOrEmpty(scheme));
        return 1;
    });
}

int32_t LUMO_CALL UrlBuilder::SetHost(const char* host)
{
    return ApiBoundary(0, [&]() -> int32_t {
        Editable().SetHost(TextOrEmpty(host));
        return 1;
    });
}

int32_t LUMO_CALL UrlBuilder::SetPath(const char* path)
{
    return ApiBoundary(0, [&]() -> int32_t {
        std::string forward = TextOrEmpty(path);
        if (IsWindowsPath(forward))
            std::replace(forward.begin(), forward.end(), '\\', '/');
        // A stored path has no leading "/": "/home/x" and "home/x" both compose file:///home/x,
        // so one file never gets two URL texts.
        if (!forward.empty() && forward.front() == '/')
            forward.erase(0, 1);
        Editable().SetPath(std::move(forward));
        return 1;
    });
}

int32_t LUMO_CALL UrlBuilder::SetParam(const char* name, const char* value)
{
    return ApiBoundary(0, [&]() -> int32_t {
        if (!name || !*name)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        Editable().SetParam(name, TextOrEmpty(value));
        return 1;
    });
}

UrlApi* LUMO_CALL UrlBuilder::GetUrl()
{
    return ApiBoundary(nullptr, [&]() -> UrlApi* {
        if (!m_url)
            Editable();
        // From now on the caller may read it from any thread: the next change copies again.
        m_copy.Reset();
        return m_url.NewRef();
    });
}
