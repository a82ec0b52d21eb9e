#include "host/Url.h"

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/Exceptions.h"
#include "host/UrlBuilder.h"
#include "host/UrlImpl.h"

#include <filesystem>

using namespace LumoApi;

namespace {

ApiRef<UrlApi> OrZombie(ApiRef<UrlApi> url) noexcept
{
    if (!url)
        return ApiRef<UrlApi>::Adopt(&ZombieUrl::Instance());
    return url;
}

// The text an operation answered; absent (1168) as nothing, any other failure raised.
std::optional<std::string> TextOrAbsent(const char* text)
{
    if (text)
        return std::string(text);
    if (LumoGetLastError() == ERROR_NOT_FOUND)
        return std::nullopt;
    ThrowLastError();
}

std::string TextOrEmpty(const char* text)
{
    return TextOrAbsent(text).value_or(std::string());
}

std::string Required(const char* text)
{
    if (!text)
        ThrowLastError();
    return text;
}

} // namespace

std::string Url::ValueProxy::Value() const
{
    return Find().value_or(std::string());
}

std::optional<std::string> Url::ValueProxy::Find() const
{
    return TextOrAbsent(m_url->GetParam(m_name.c_str()));
}

Url::Url() noexcept : m_url(OrZombie(nullptr))
{
}

Url::Url(ApiRef<UrlApi> url) noexcept : m_url(OrZombie(std::move(url)))
{
}

Url Url::FromText(const std::string& text)
{
    return Url(MakeUrl(text));
}

Url Url::Adopt(UrlApi* raw) noexcept
{
    return Url(ApiRef<UrlApi>::Adopt(raw));
}

Url Url::Share(UrlApi* raw) noexcept
{
    return Url(ApiRef<UrlApi>::Share(raw));
}

bool Url::IsNull() const noexcept
{
    return m_url.Get() == &ZombieUrl::Instance();
}

std::string Url::Text() const
{
    return TextOrEmpty(m_url->GetText());
}

std::string Url::Scheme() const
{
    return TextOrEmpty(m_url->GetScheme());
}

std::string Url::Host() const
{
    return TextOrEmpty(m_url->GetHost());
}

std::string Url::Path() const
{
    return TextOrEmpty(m_url->GetPath());
}

std::string Url::LocalPart() const
{
    return TextOrEmpty(m_url->GetLocalPart());
}

int32_t Url::ParamCount() const
{
    // 0 is both a count and the failure result; only the last error tells them apart.
    LumoSetLastError(ERROR_SUCCESS);
    const int32_t count = m_url->GetParamCount();
    if (count == 0 && LumoGetLastError() != ERROR_SUCCESS)
        ThrowLastError();
    return count;
}

std::string Url::ParamName(int32_t index) const
{
    return Required(m_url->GetParamName(index));
}

std::string Url::ParamValue(int32_t index) const
{
    return Required(m_url->GetParamValue(index));
}

Url FileUrlFromPath(const std::string& path)
{
    // An empty path names no file; made absolute it would be the working folder, left as it
    // is the root folder.
    constexpr uint32_t c_ErrorInvalidName = 123;
    if (path.empty())
        ThrowWinError(c_ErrorInvalidName);
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    std::string text = error ? path : absolute.lexically_normal().string();
    if (text.size() > 1 && text.back() == '/')
        text.pop_back();
    ApiRef<UrlBuilderApi> builder = ApiRef<UrlBuilderApi>::Adopt(new UrlBuilder());
    if (!builder->SetScheme("file") || !builder->SetPath(text.c_str()))
        ThrowLastError();
    return Url::Adopt(builder->GetUrl());
}

Url UrlFromPathOrText(const std::string& text)
{
    if (text.find("://") != std::string::npos)
        return Url::FromText(text);
    return FileUrlFromPath(text);
}

std::string LocalPathOf(const Url& url)
{
    if (url.Scheme() != "file")
        return std::string();
    return "/" + url.Path();
}
