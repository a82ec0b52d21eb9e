#include "FolderPaths.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <strings.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "Guard.h"

namespace LumoFolders {

uint32_t CodeFromErrno(int error)
{
    switch (error) {
    case 0:
        return 0;
    case ENOENT:
        return LumoApi::ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return LumoApi::ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return LumoApi::ERROR_ACCESS_DENIED;
    case ENOMEM:
        return LumoApi::ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return LumoApi::ERROR_INVALID_PARAMETER;
    case EBUSY:
    case ETXTBSY:
        return LumoApi::ERROR_SHARING_VIOLATION;
    case ENOSPC:
    case EDQUOT:
        return LumoApi::ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return LumoApi::ERROR_INVALID_NAME;
    case EISDIR:
        return LumoApi::ERROR_DIRECTORY;
    case EFAULT:
        return LumoApi::ERROR_INVALID_ADDRESS;
    case ELOOP:
        return LumoApi::ERROR_CANT_RESOLVE_FILENAME;
    default:
        return LumoApi::ERROR_INTERNAL_ERROR;
    }
}

namespace {

constexpr char c_Replacement[] = "\xEF\xBF\xBD";

bool IsContinuation(unsigned char byte) noexcept
{
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at text[at], or 0 when the byte there starts none
// (RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF).
size_t SequenceLength(std::string_view text, size_t at) noexcept
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const size_t left = text.size() - at;
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return left >= 2 && IsContinuation(byte(1)) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !IsContinuation(byte(1)) || !IsContinuation(byte(2)))
            return 0;
        if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F))
            return 0;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !IsContinuation(byte(1)) || !IsContinuation(byte(2)) || !IsContinuation(byte(3)))
            return 0;
        if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F))
            return 0;
        return 4;
    }
    return 0;
}

// The bytes a URL path keeps as they are (Url.h): "A-Za-z0-9$-_.!*'()," and ":/".
constexpr std::array<bool, 256> c_pathSafe = [] {
    std::array<bool, 256> safe{};
    for (int c = 'A'; c <= 'Z'; ++c)
        safe[c] = true;
    for (int c = 'a'; c <= 'z'; ++c)
        safe[c] = true;
    for (int c = '0'; c <= '9'; ++c)
        safe[c] = true;
    for (const char c : std::string_view("$-_.!*'(),:/"))
        safe[static_cast<unsigned char>(c)] = true;
    return safe;
}();

} // namespace

std::string ReadableText(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const size_t length = SequenceLength(bytes, at);
        if (length == 0) {
            text += c_Replacement;
            ++at;
        } else {
            text.append(bytes.substr(at, length));
            at += length;
        }
    }
    return text;
}

void AppendUrlEscaped(std::string& text, std::string_view bytes)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    // Every listed child goes through here: one allocation at most, filled in place.
    const size_t start = text.size();
    text.resize(start + 3 * bytes.size());
    char* out = text.data() + start;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c_pathSafe[byte]) {
            *out++ = c;
        } else {
            *out++ = '%';
            *out++ = hexDigits[byte >> 4];
            *out++ = hexDigits[byte & 0x0F];
        }
    }
    text.resize(size_t(out - text.data()));
}

std::string FileUrlText(std::string_view absolutePath)
{
    std::string_view path = absolutePath;
    while (!path.empty() && path.front() == '/')
        path.remove_prefix(1);
    std::string text = "file://";
    if (path.empty())
        return text;
    text += '/';
    AppendUrlEscaped(text, path);
    return text;
}

bool PathOfFileUrl(LumoApi::UrlApi* url, std::string& path)
{
    // Read from the text: asking for an absent host would cost the host an exception for every
    // item, and local files have none.
    const char* text = url ? url->GetText() : nullptr;
    if (!text || strncasecmp(text, "file://", 7) != 0)
        return false;
    std::string_view rest(text + 7);
    if (strncasecmp(rest.data(), "localhost", 9) == 0 && (rest.size() == 9 || rest[9] == '/' || rest[9] == '?'))
        rest.remove_prefix(9);
    if (!rest.empty() && rest.front() != '/' && rest.front() != '?')
        return false;
    const char* local = rest.size() > 1 && rest.front() == '/' ? url->GetPath() : nullptr;
    path.assign(1, '/');
    if (local)
        path += local;
    if (path.find("//") != std::string::npos || (path.size() > 1 && path.back() == '/'))
        path = NormalizePath(path);
    return true;
}

std::string NormalizePath(std::string_view path)
{
    if (path.find("//") == std::string_view::npos && (path.size() < 2 || path.back() != '/'))
        return std::string(path);
    std::string normal;
    normal.reserve(path.size());
    for (const char c : path) {
        if (c == '/' && !normal.empty() && normal.back() == '/')
            continue;
        normal += c;
    }
    if (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

std::string LeafOf(std::string_view path)
{
    if (path == "/")
        return "/";
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ParentOf(std::string_view path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || path == "/")
        return std::string();
    return slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
}

std::string ChildPath(std::string_view folder, std::string_view name)
{
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

} // namespace LumoFolders
