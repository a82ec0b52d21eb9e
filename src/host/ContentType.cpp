#include "ContentType.h"

#include <algorithm>

std::string ContentTypeMajor(std::string_view contentType)
{
    return std::string(contentType.substr(0, contentType.find('/')));
}

std::string ContentTypeMinor(std::string_view contentType)
{
    const size_t slash = contentType.find('/');
    return slash == std::string_view::npos ? std::string() : std::string(contentType.substr(slash + 1));
}

ContentTypePair SplitContentType(std::string_view contentType)
{
    return {ContentTypeMajor(contentType), ContentTypeMinor(contentType)};
}

bool IsValidPair(const ContentTypePair& pair)
{
    return !pair.major.empty() && !pair.minor.empty();
}

namespace {

bool PartsMatch(const std::string& a, const std::string& b)
{
    return a == "*" || b == "*" || a == b;
}

} // namespace

bool PairsMatch(const ContentTypePair& a, const ContentTypePair& b)
{
    return PartsMatch(a.major, b.major) && PartsMatch(a.minor, b.minor);
}

bool MatchesContentTypeList(const ContentTypePair& contentType, const std::vector<std::string>& patterns)
{
    for (const std::string& entry : patterns) {
        const bool negated = !entry.empty() && entry[0] == '!';
        const bool matches = PairsMatch(contentType, SplitContentType(negated ? entry.substr(1) : entry));
        if (matches != negated)
            return true;
    }
    return false;
}

std::vector<std::string> SplitCommaList(std::string_view text)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            comma = text.size();
        std::string_view item = text.substr(start, comma - start);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (!item.empty())
            items.emplace_back(item);
        start = comma + 1;
    }
    return items;
}

std::string ToLower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
        [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); });
    return lower;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ToLower(a) == ToLower(b);
}
