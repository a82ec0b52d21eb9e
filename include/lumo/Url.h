// URLs, the identity of every media item: two items are the same when their texts are equal.
//
// Text form: [scheme "://"] host ["/" path] ["?" query], with the scheme and the query's
// names and values %-escaped outside "A-Za-z0-9$-_.!*'(),", host and path also keeping ":/".
#pragma once

#include "Api.h"

namespace LumoApi {

// Implemented by the host ("UrlApi": a new empty URL per request). Text results are
// borrowed and valid until the next call on the same object. Every operation except SetText
// fails with last error 1 on a URL whose text was never set. One thread at a time per
// object; several objects may be used on several threads.
class UrlApi : public Api {
public:
    static constexpr const char TypeId[] = "UrlApi";

    // Sets the text once. Nonzero on success; 0 with 1247 when the text is already set.
    virtual int32_t LUMO_CALL SetText(const char* text) = 0;
    // Unescaped scheme ("file"), or null with 1168 when empty.
    virtual const char* LUMO_CALL GetScheme() = 0;
    // Unescaped host, or null with 1168 when empty.
    virtual const char* LUMO_CALL GetHost() = 0;
    // Unescaped path without its leading "/", or null with 1168 when empty.
    virtual const char* LUMO_CALL GetPath() = 0;
    // Number of query parameters.
    virtual int32_t LUMO_CALL GetParamCount() = 0;
    // Name of the parameter at index (0-based); null with 1413 past the end.
    virtual const char* LUMO_CALL GetParamName(int32_t index) = 0;
    // Value of the parameter at index; null with 1413 past the end.
    virtual const char* LUMO_CALL GetParamValue(int32_t index) = 0;
    // Value of the named parameter; null with 1168 when absent.
    virtual const char* LUMO_CALL GetParam(const char* name) = 0;
    // The whole text, or null with 1168 when empty.
    virtual const char* LUMO_CALL GetText() = 0;
    // The text from the "/" of the path on (after scheme, "://" and host).
    virtual const char* LUMO_CALL GetLocalPart() = 0;
};

// Implemented by the host ("UrlBuilderApi"): edits a private copy, so a URL already handed
// out never changes. Set operations answer nonzero on success.
class UrlBuilderApi : public Api {
public:
    static constexpr const char TypeId[] = "UrlBuilderApi";

    // Starts from url (borrowed; its parts are copied at the first change).
    virtual int32_t LUMO_CALL SetUrl(UrlApi* url) = 0;
    virtual int32_t LUMO_CALL SetScheme(const char* scheme) = 0;
    virtual int32_t LUMO_CALL SetHost(const char* host) = 0;
    // A path written the Windows way, from a drive ("C:\Music") or from a backslash
    // ("\\server\share"), has every "\" turned into "/"; in any other path "\" is a character of
    // a file name and stays.
    virtual int32_t LUMO_CALL SetPath(const char* path) = 0;
    // Sets a query parameter; an empty or null value removes it.
    virtual int32_t LUMO_CALL SetParam(const char* name, const char* value) = 0;
    // The built URL: a new reference.
    virtual UrlApi* LUMO_CALL GetUrl() = 0;
};

} // namespace LumoApi
