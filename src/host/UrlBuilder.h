// The host's "UrlBuilderApi": builds a URL from another by changing its parts.
#pragma once

#include <cstdint>
#include <string>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "host/UrlImpl.h"

// Changes always go to a copy the builder alone holds, so a URL given to SetUrl or already
// handed out by GetUrl never changes. One thread at a time.
class UrlBuilder : public LumoApi::RefCounted<LumoApi::UrlBuilderApi> {
public:
    UrlBuilder() = default;

    int32_t LUMO_CALL SetUrl(LumoApi::UrlApi* url) override;
    int32_t LUMO_CALL SetScheme(const char* scheme) override;
    int32_t LUMO_CALL SetHost(const char* host) override;
    int32_t LUMO_CALL SetPath(const char* path) override;
    int32_t LUMO_CALL SetParam(const char* name, const char* value) override;
    LumoApi::UrlApi* LUMO_CALL GetUrl() override;

private:
    // The private copy, made from m_url on the first change after SetUrl or GetUrl.
    UrlImpl& Editable();

    // The URL being built: the one given to SetUrl, or m_copy once changed; null at first.
    LumoApi::ApiRef<LumoApi::UrlApi> m_url;
    // Set while m_url is a copy no one else has seen.
    LumoApi::ApiRef<UrlImpl> m_copy;
};
