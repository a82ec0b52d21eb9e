// Arbitrary text as a URL: every getter of the URL object, the text helpers, and a URL composed
// from parts read back into the same parts.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <lumo/Api.h>

#include "common/Exceptions.h"
#include "host/UrlEscape.h"
#include "host/UrlImpl.h"

using LumoApi::ApiRef;

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

std::string OrEmpty(const char* text)
{
    return text ? text : "";
}

// How a C string holding text reads.
std::string AsCString(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

// Each getter twice: the second answer is the same pointer, and every text handed out earlier
// still reads the same afterwards (the sanitizer catches one that was freed). The answers are
// those of the text helpers.
void CheckGetters(UrlImpl& url, const std::string& text)
{
    std::string_view query;
    SplitUrl(text, nullptr, nullptr, nullptr, &query);
    ParamList params;
    try {
        params = ParseQuery(query);
    } catch (const RangeError&) {
        // A bad escape in the query: the URL answers no parameters.
    }

    std::vector<std::pair<const char*, std::string>> answers;
    for (int round = 0; round < 2; ++round) {
        const char* got[] = {url.GetScheme(), url.GetHost(), url.GetPath(), url.GetText(), url.GetLocalPart()};
        for (size_t i = 0; i < std::size(got); ++i) {
            if (round == 0)
                answers.emplace_back(got[i], OrEmpty(got[i]));
            else
                Require(got[i] == answers[i].first, "a getter answers the same text twice");
        }
        const int32_t count = url.GetParamCount();
        Require(count == static_cast<int32_t>(params.size()), "the parameters are those of the query");
        for (int32_t i = 0; i < count; ++i) {
            const char* name = url.GetParamName(i);
            const char* value = url.GetParamValue(i);
            const auto& [expectedName, expectedValue] = params[static_cast<size_t>(i)];
            Require(name && value && name == AsCString(expectedName) && value == AsCString(expectedValue),
                "indexed parameters");
            if (expectedName.find('\0') == std::string::npos)
                Require(url.GetParam(name) == value, "a named parameter is the indexed one");
            answers.emplace_back(name, name);
            answers.emplace_back(value, value);
        }
        Require(!url.GetParamName(count) && !url.GetParamName(-1) && !url.GetParamValue(count),
            "indexes outside the list answer null");
    }
    for (const auto& [pointer, copy] : answers)
        Require(!pointer || copy == pointer, "texts handed out stay as they were");

    const char* whole = url.GetText();
    const char* local = url.GetLocalPart();
    Require((whole != nullptr) == !text.empty(), "a text is answered when one was set");
    if (whole)
        Require(local >= whole && local <= whole + std::strlen(whole), "the local part lies inside the text");

    std::string_view rawScheme, rawHost, rawPath;
    SplitUrl(text, &rawScheme, &rawHost, &rawPath, nullptr);
    std::string scheme, host, path;
    try {
        scheme = Unescape(rawScheme);
        host = Unescape(rawHost);
        path = Unescape(rawPath);
    } catch (const RangeError&) {
        Require(!url.GetScheme() && !url.GetHost() && !url.GetPath(), "a bad escape fails every part");
        return;
    }
    Require(OrEmpty(url.GetScheme()) == AsCString(scheme) && OrEmpty(url.GetHost()) == AsCString(host)
            && OrEmpty(url.GetPath()) == AsCString(path),
        "the parts are the unescaped pieces of the text");
}

void CheckEscaping(std::string_view text)
{
    for (const std::string_view safe : {c_ComponentSafe, c_PathSafe}) {
        const std::string escaped = Escape(text, safe);
        for (size_t i = 0; i < escaped.size(); ++i) {
            if (escaped[i] == '%')
                i += 2;
            else
                Require(safe.find(escaped[i]) != std::string_view::npos, "only safe bytes stay unescaped");
        }
        Require(Unescape(escaped) == text, "unescaping undoes escaping");
    }
    try {
        Require(Unescape(text).size() <= text.size(), "unescaping never lengthens");
    } catch (const RangeError&) {
        Require(text.find('%') != std::string_view::npos, "only a text with a \"%\" fails to unescape");
    }
}

// The input split at line breaks into scheme, host, path and query; the URL composed from them
// must read back as the same parts.
void CheckComposed(std::string_view text)
{
    std::string parts[4];
    for (size_t i = 0; i < 4; ++i) {
        const size_t end = i < 3 ? text.find('\n') : std::string_view::npos;
        parts[i] = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    if (parts[0].empty())
        return;
    ParamList params;
    try {
        params = ParseQuery(parts[3]);
    } catch (const RangeError&) {
        return;
    }
    ApiRef<UrlImpl> composed = UrlImpl::FromParts(parts[0], parts[1], parts[2], params);
    const char* composedText = composed->GetText();
    Require(composedText != nullptr, "a URL with a scheme has a text");
    ApiRef<UrlImpl> reread = ApiRef<UrlImpl>::Adopt(new UrlImpl());
    Require(reread->SetText(composedText) == 1, "set text");
    Require(OrEmpty(reread->GetScheme()) == parts[0], "composed scheme reads back");
    Require(OrEmpty(reread->GetHost()) == parts[1], "composed host reads back");
    Require(OrEmpty(reread->GetPath()) == parts[2], "composed path reads back");
    Require(reread->GetParamCount() == static_cast<int32_t>(params.size()), "composed parameters read back");
    for (const auto& [name, value] : params) {
        if (name.find('\0') == std::string::npos)
            Require(OrEmpty(reread->GetParam(name.c_str())) == AsCString(value), "composed parameter reads back");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // SetText takes a C string: the text ends at the first NUL.
    const std::string text(bytes.substr(0, bytes.find('\0')));
    ApiRef<UrlImpl> url = ApiRef<UrlImpl>::Adopt(new UrlImpl());
    Require(url->SetText(text.c_str()) == 1, "set text");
    Require(url->SetText(text.c_str()) == 0, "the text is set once");
    CheckGetters(*url, text);
    CheckEscaping(bytes);
    CheckComposed(text);
    return 0;
}
