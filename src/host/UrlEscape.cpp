#include "host/UrlEscape.h"

#include <algorithm>

#include "common/Exceptions.h"

namespace {

constexpr char c_HexDigits[] = "0123456789ABCDEF";

// Anything that is not a hexadecimal digit counts as 0: that is how existing URLs were
// written and read, so it must not become an error now.
int HexValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

char AsciiLower(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) noexcept
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(AsciiLower(x)) < static_cast<unsigned char>(AsciiLower(y));
    });
}

struct SplitPositions {
    std::string_view rest; // the text before the query
    std::string_view query;
    size_t schemeEnd = std::string_view::npos; // position of "://", npos without one
    size_t localStart = 0;                     // where the "/" of the path (or the end of rest) is
};

SplitPositions Locate(std::string_view text) noexcept
{
    SplitPositions at;
    const size_t question = text.find('?');
    at.rest = text.substr(0, question);
    if (question != std::string_view::npos)
        at.query = text.substr(question + 1);
    at.schemeEnd = at.rest.find("://");
    if (at.schemeEnd != std::string_view::npos) {
        const size_t slash = at.rest.find('/', at.schemeEnd + 3);
        at.localStart = slash == std::string_view::npos ? at.rest.size() : slash;
    }
    return at;
}

} // namespace

void ParamList::Add(std::string name, std::string value)
{
    if (name.empty() || value.empty() || Find(name))
        return;
    m_params.emplace_back(std::move(name), std::move(value));
}

void ParamList::Set(const std::string& name, std::string value)
{
    if (value.empty()) {
        Remove(name);
        return;
    }
    if (name.empty())
        return;
    for (Param& param : m_params) {
        if (param.first == name) {
            param.second = std::move(value);
            return;
        }
    }
    m_params.emplace_back(name, std::move(value));
}

const std::string* ParamList::Find(std::string_view name) const noexcept
{
    for (const Param& param : m_params) {
        if (param.first == name)
            return &param.second;
    }
    return nullptr;
}

bool ParamList::Remove(std::string_view name)
{
    const auto found
        = std::find_if(m_params.begin(), m_params.end(), [&](const Param& param) { return param.first == name; });
    if (found == m_params.end())
        return false;
    m_params.erase(found);
    return true;
}

std::string Escape(std::string_view text, std::string_view safe)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (safe.find(c) != std::string_view::npos) {
            escaped += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            escaped += '%';
            escaped += c_HexDigits[byte >> 4];
            escaped += c_HexDigits[byte & 0x0F];
        }
    }
    return escaped;
}

std::string EscapePath(std::string_view text)
{
    return Escape(text, c_PathSafe);
}

std::string EscapeComponent(std::string_view text)
{
    return Escape(text, c_ComponentSafe);
}

std::string Unescape(std::string_view text)
{
    // Written in place: URL paths are mostly escapes and short runs, and every listed item's
    // URL is split once.
    std::string plain(text.size(), '\0');
    char* out = plain.data();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *out++ = text[i];
            continue;
        }
        if (text.size() - i < 3)
            throw RangeError("Incomplete escape at the end of \"" + std::string(text) + "\"");
        *out++ = static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
        i += 2;
    }
    plain.resize(size_t(out - plain.data()));
    return plain;
}

void SplitUrl(std::string_view text, std::string_view* scheme, std::string_view* host, std::string_view* path,
    std::string_view* query)
{
    const SplitPositions at = Locate(text);
    std::string_view local = at.rest;
    if (at.schemeEnd != std::string_view::npos) {
        if (scheme)
            *scheme = at.rest.substr(0, at.schemeEnd);
        if (host)
            *host = at.rest.substr(at.schemeEnd + 3, at.localStart - (at.schemeEnd + 3));
        local = at.rest.substr(at.localStart);
    } else {
        if (scheme)
            *scheme = std::string_view();
        if (host)
            *host = std::string_view();
    }
    if (path)
        *path = local.starts_with('/') ? local.substr(1) : local;
    if (query)
        *query = at.query;
}

std::string JoinUrl(std::string_view scheme, std::string_view host, std::string_view path, std::string_view query)
{
    std::string text;
    text.reserve(scheme.size() + host.size() + path.size() + query.size() + 5);
    if (!scheme.empty()) {
        text += scheme;
        text += "://";
    }
    text += host;
    if (!path.empty()) {
        text += '/';
        text += path;
    }
    if (!query.empty()) {
        text += '?';
        text += query;
    }
    return text;
}

size_t LocalPartOffset(std::string_view text)
{
    const SplitPositions at = Locate(text);
    return at.schemeEnd == std::string_view::npos ? 0 : at.localStart;
}

std::string BuildQuery(const ParamList& params)
{
    std::vector<std::pair<std::string, const ParamList::Param*>> lines;
    lines.reserve(params.size());
    for (const ParamList::Param& param : params)
        lines.emplace_back(param.first + '=' + param.second, &param);
    std::stable_sort(
        lines.begin(), lines.end(), [](const auto& a, const auto& b) { return LessIgnoringCase(a.first, b.first); });

    ParamList escaped;
    for (const auto& line : lines)
        escaped.Add(EscapeComponent(line.second->first), EscapeComponent(line.second->second));

    std::string query;
    for (const ParamList::Param& param : escaped) {
        if (!query.empty())
            query += '&';
        query += param.first;
        query += '=';
        query += param.second;
    }
    return query;
}

ParamList ParseQuery(std::string_view query)
{
    ParamList params;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        const std::string_view piece = query.substr(start, end - start);
        const size_t equals = piece.find('=');
        if (equals != std::string_view::npos)
            params.Add(Unescape(piece.substr(0, equals)), Unescape(piece.substr(equals + 1)));
        start = end + 1;
    }
    return params;
}
