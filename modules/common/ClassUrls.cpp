#include "ClassUrls.h"

#include <algorithm>
#include <cctype>

#include "MediaClassSupport.h"

namespace LumoModules {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescape(std::string_view text)
{
    std::string plain;
    plain.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            plain += text[at];
            continue;
        }
        if (at + 2 >= text.size())
            return std::nullopt;
        const int high = HexValue(text[at + 1]);
        const int low = HexValue(text[at + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        plain += char(high * 16 + low);
        at += 2;
    }
    return plain;
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

std::pair<std::string_view, std::string_view> SplitPair(std::string_view type)
{
    const size_t slash = type.find('/');
    if (slash == std::string_view::npos)
        return {type, std::string_view()};
    return {type.substr(0, slash), type.substr(slash + 1)};
}

bool PartsMatch(std::string_view a, std::string_view b)
{
    return a == "*" || b == "*" || a == b;
}

} // namespace

std::string StripClassPrefix(std::string_view urlText, std::string_view scheme)
{
    if (!HasClassPrefix(urlText, scheme))
        return std::string(urlText);
    return std::string(urlText.substr(scheme.size() + 1));
}

bool HasClassPrefix(std::string_view urlText, std::string_view scheme)
{
    if (scheme.empty() || urlText.size() <= scheme.size() + 1 || !urlText.starts_with(scheme)
        || urlText[scheme.size()] != '-')
        return false;
    // The prefix belongs to the scheme only: "lumomusic-file://" yes, "lumomusic-x" (no scheme) no.
    const size_t schemeEnd = urlText.find("://");
    const size_t query = urlText.find('?');
    return schemeEnd != std::string_view::npos && schemeEnd > scheme.size() + 1 && schemeEnd < query;
}

std::optional<std::string> LocalPathOfFileUrl(std::string_view urlText)
{
    const std::string_view rest = urlText.substr(0, urlText.find('?'));
    const size_t schemeEnd = rest.find("://");
    if (schemeEnd == std::string_view::npos || Lower(rest.substr(0, schemeEnd)) != "file")
        return std::nullopt;
    const size_t hostStart = schemeEnd + 3;
    const size_t slash = rest.find('/', hostStart);
    const std::string_view host
        = rest.substr(hostStart, slash == std::string_view::npos ? rest.size() : slash - hostStart);
    std::optional<std::string> plainHost = Unescape(host);
    if (!plainHost || (!plainHost->empty() && Lower(*plainHost) != "localhost"))
        return std::nullopt;
    std::optional<std::string> path
        = Unescape(slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1));
    if (!path)
        return std::nullopt;
    return "/" + *path;
}

std::string LeafName(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || path.size() == 1)
        return std::string(path);
    return std::string(path.substr(slash + 1));
}

std::vector<std::string> ParseTypeList(std::string_view list)
{
    std::vector<std::string> patterns;
    while (!list.empty()) {
        const size_t comma = list.find(',');
        std::string_view entry = list.substr(0, comma);
        while (!entry.empty() && std::isspace(static_cast<unsigned char>(entry.front())))
            entry.remove_prefix(1);
        while (!entry.empty() && std::isspace(static_cast<unsigned char>(entry.back())))
            entry.remove_suffix(1);
        if (!entry.empty())
            patterns.push_back(Lower(entry));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return patterns;
}

bool TypeListMatches(const std::vector<std::string>& patterns, std::string_view contentType)
{
    const std::string type = Lower(contentType);
    const auto [major, minor] = SplitPair(type);
    if (major.empty() || minor.empty())
        return false;
    for (const std::string& entry : patterns) {
        const bool negated = entry.front() == '!';
        const auto [patternMajor, patternMinor] = SplitPair(std::string_view(entry).substr(negated ? 1 : 0));
        const bool matches = PartsMatch(patternMajor, major) && PartsMatch(patternMinor, minor);
        if (matches != negated)
            return true;
    }
    return false;
}

bool IsContainerType(std::string_view contentType)
{
    const std::string type = Lower(contentType);
    return type == "x-container" || type.starts_with("x-container/");
}

} // namespace LumoModules
