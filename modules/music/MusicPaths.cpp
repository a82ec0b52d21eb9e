#include "MusicPaths.h"

#include <cstring>
#include <sys/stat.h>
#include <vector>

#include "MusicText.h"

namespace LumoMusic {

bool LocalFileOf(LumoApi::UrlApi* url, LocalFile& file)
{
    if (!url)
        return false;
    const char* scheme = url->GetScheme();
    if (!scheme)
        return false;
    const std::string_view schemeText(scheme);
    std::string prefix;
    if (schemeText != "file") {
        const std::string classFile = std::string(c_ClassScheme) + "-file";
        if (!EqualsIgnoringAsciiCase(schemeText, classFile))
            return false;
        prefix = std::string(c_ClassScheme) + "-";
    }
    const char* host = url->GetHost();
    if (host && *host && !EqualsIgnoringAsciiCase(host, "localhost"))
        return false;
    const char* path = url->GetPath();
    file.path = NormalizePath(path ? path : "");
    file.prefix = std::move(prefix);
    return true;
}

namespace {

// Whether a path's parts, after its leading slash if any, are all plain: no empty, "." or ".."
// part and no slash at the end. Listed paths are nearly all of this kind, and URLs give their
// paths without the leading slash.
bool HasPlainParts(std::string_view path)
{
    if (!path.empty() && path[0] == '/')
        path.remove_prefix(1);
    if (path.empty())
        return true;
    if (path.back() == '/')
        return false;
    for (size_t at = 0; at <= path.size();) {
        size_t slash = path.find('/', at);
        if (slash == std::string_view::npos)
            slash = path.size();
        const std::string_view part = path.substr(at, slash - at);
        if (part.empty() || part == "." || part == "..")
            return false;
        at = slash + 1;
    }
    return true;
}

} // namespace

std::string NormalizePath(std::string_view path)
{
    if (HasPlainParts(path)) {
        if (!path.empty() && path[0] == '/')
            return std::string(path);
        std::string out;
        out.reserve(path.size() + 1);
        out += '/';
        out += path;
        return out;
    }
    std::vector<std::string_view> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string_view::npos)
            slash = path.size();
        const std::string_view part = path.substr(at, slash - at);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = slash + 1;
    }
    std::string out;
    for (std::string_view part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? std::string("/") : out;
}

std::string LeafOf(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ParentOf(std::string_view path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::string();
    return slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
}

std::string ExtensionOf(std::string_view path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::string();
    return ToLowerAscii(path.substr(dot));
}

std::string MountRootOf(const std::string& path)
{
    struct stat info { };
    if (stat(path.c_str(), &info) != 0)
        return std::string();
    std::string current = NormalizePath(path);
    const dev_t device = info.st_dev;
    while (current != "/") {
        const std::string parent = ParentOf(current);
        struct stat above { };
        if (stat(parent.c_str(), &above) != 0 || above.st_dev != device)
            return current;
        current = parent;
    }
    return current;
}

} // namespace LumoMusic
