#include "server/HttpRange.h"

#include <charconv>
#include <glib.h>
#include <vector>

namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Digits only; false for anything else, for nothing, and for what does not fit.
bool Number(std::string_view text, int64_t& value)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

RangeVerdict JudgeRange(std::string_view header, int64_t sizeBytes)
{
    RangeVerdict verdict;
    header = Trim(header);
    constexpr std::string_view c_Unit = "bytes=";
    // Other units, several ranges and broken syntax stay the engine's to refuse.
    if (header.substr(0, c_Unit.size()) != c_Unit)
        return verdict;
    const std::string_view wanted = Trim(header.substr(c_Unit.size()));
    const size_t dash = wanted.find('-');
    if (dash == std::string_view::npos || wanted.find(',') != std::string_view::npos)
        return verdict;
    const std::string_view first = Trim(wanted.substr(0, dash));
    const std::string_view last = Trim(wanted.substr(dash + 1));
    if (first.empty()) {
        int64_t suffix = 0;
        if (!Number(last, suffix))
            return verdict;
        if (suffix == 0) {
            verdict.kind = RangeVerdict::Unsatisfiable;
        } else if (sizeBytes <= 0) {
            verdict.kind = RangeVerdict::Drop;
        } else {
            verdict.kind = RangeVerdict::Rewrite;
            verdict.header = "bytes=" + std::to_string(suffix >= sizeBytes ? 0 : sizeBytes - suffix) + "-";
        }
        return verdict;
    }
    int64_t start = 0;
    if (!Number(first, start))
        return verdict;
    if (sizeBytes >= 0 && start >= sizeBytes)
        verdict.kind = RangeVerdict::Unsatisfiable;
    return verdict;
}

bool ParseResourcePath(std::string_view path, std::string& objectId, std::string& resource)
{
    std::vector<std::string_view> parts;
    for (size_t at = 0; at <= path.size();) {
        const size_t slash = std::min(path.find('/', at), path.size());
        parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    // "", the server's root, then pairs: "i" and the id, then "res" and a name or "th" and an index.
    if (parts.size() != 6 || !parts[0].empty() || parts[2] != "i")
        return false;
    std::string last(parts[5]);
    if (const size_t dot = last.rfind('.'); dot != std::string::npos)
        last.resize(dot);
    if (parts[4] == "res")
        resource = last;
    else if (parts[4] == "th")
        resource = "th";
    else
        return false;
    const std::string escaped(parts[3]);
    char* text = g_uri_unescape_string(escaped.c_str(), nullptr);
    if (!text)
        return false;
    gsize length = 0;
    guchar* bytes = g_base64_decode(text, &length);
    g_free(text);
    objectId.assign(reinterpret_cast<const char*>(bytes), length);
    g_free(bytes);
    return !objectId.empty() && !resource.empty() && objectId.find('\0') == std::string::npos;
}
