#include "PlaylistResolver.h"

#include <cstdint>
#include <dirent.h>
#include <sys/stat.h>

#include "MusicPaths.h"
#include "MusicText.h"

namespace LumoMusic {

namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The scheme of a URL text ("http" of "http://…"), or "" when text is not a URL. One letter
// before ":" is a drive, not a scheme.
std::string_view SchemeOf(std::string_view text)
{
    const size_t end = text.find("://");
    if (end == std::string_view::npos || end < 2 || !IsAsciiLetter(text[0]))
        return std::string_view();
    for (char c : text.substr(0, end)) {
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return std::string_view();
    }
    return text.substr(0, end);
}

bool HasDrive(std::string_view path)
{
    return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':';
}

std::string Slashed(std::string_view path)
{
    std::string out(path);
    for (char& c : out) {
        if (c == '\\')
            c = '/';
    }
    return out;
}

// Letter case folded the way Windows compares names, for ASCII and the Latin-1 letters.
std::string FoldCase(std::string_view name)
{
    std::string out = ToLowerAscii(name);
    for (size_t at = 0; at + 1 < out.size(); ++at) {
        const uint8_t lead = uint8_t(out[at]);
        const uint8_t next = uint8_t(out[at + 1]);
        if (lead == 0xC3 && next >= 0x80 && next <= 0x9E && next != 0x97)
            out[at + 1] = char(next + 0x20);
    }
    return out;
}

std::vector<std::string> ComponentsOf(std::string_view path)
{
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string_view::npos)
            slash = path.size();
        if (slash > at)
            parts.emplace_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    return parts;
}

std::string ChildOf(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

} // namespace

bool PathExists(const std::string& path)
{
    struct stat info { };
    return stat(path.c_str(), &info) == 0;
}

PlaylistResolver::PlaylistResolver(std::string playlistPath, std::string prefix)
    : m_playlistPath(std::move(playlistPath)), m_folder(ParentOf(m_playlistPath)), m_prefix(std::move(prefix))
{
    if (m_folder.empty())
        m_folder = "/";
}

const std::string& PlaylistResolver::VolumeRoot()
{
    if (!m_volumeRootKnown) {
        m_volumeRoot = MountRootOf(m_folder);
        if (m_volumeRoot.empty())
            m_volumeRoot = "/";
        m_volumeRootKnown = true;
    }
    return m_volumeRoot;
}

PlaylistResolver::Location PlaylistResolver::Locate(std::string_view text)
{
    Location location;
    std::string local(text);
    const std::string scheme = ToLowerAscii(SchemeOf(text));
    if (scheme == "file") {
        const std::string_view rest = text.substr(7);
        const size_t slash = rest.find('/');
        const std::string_view host = rest.substr(0, slash);
        if (slash == std::string_view::npos || !(host.empty() || EqualsIgnoringAsciiCase(host, "localhost"))) {
            location.networkUrl = std::string(text);
            return location;
        }
        local = PercentDecode(rest.substr(slash));
        // "%00" would cut the path short wherever it is handed on as a C string.
        if (local.find('\0') != std::string::npos)
            return location;
        // "file:///C:/Music/a.mp3"
        if (local.size() >= 3 && local[0] == '/' && HasDrive(std::string_view(local).substr(1)))
            local.erase(0, 1);
    } else if (!scheme.empty()) {
        location.networkUrl = std::string(text);
        return location;
    } else if (text.substr(0, 2) == "\\\\") {
        location.networkUrl = "smb://" + Slashed(text.substr(2));
        return location;
    }

    location.windows = local.find('\\') != std::string::npos;
    // On this system "\" is a character of a name: a list written here may hold one.
    if (location.windows && !HasDrive(local) && local[0] != '\\')
        location.literal = NormalizePath(local[0] == '/' ? local : m_folder + "/" + local);
    std::string path = Slashed(local);
    if (HasDrive(path)) {
        location.windows = true;
        path.erase(0, 2);
    }
    if (!path.empty() && path[0] == '/') {
        location.driveAbsolute = location.windows;
        location.path = NormalizePath(location.windows ? VolumeRoot() + path : path);
    } else {
        location.path = NormalizePath(m_folder + "/" + path);
    }
    location.written = NormalizePath(path);
    return location;
}

const std::vector<std::string>& PlaylistResolver::ListingOf(const std::string& folder)
{
    auto [entry, added] = m_listings.try_emplace(folder);
    if (added) {
        if (DIR* dir = opendir(folder.c_str())) {
            while (const dirent* item = readdir(dir)) {
                const std::string_view name = item->d_name;
                if (name != "." && name != "..")
                    entry->second.emplace_back(name);
            }
            closedir(dir);
        }
    }
    return entry->second;
}

std::string PlaylistResolver::FindIgnoringCase(const std::string& path)
{
    std::string current = "/";
    for (const std::string& part : ComponentsOf(path)) {
        std::string next = ChildOf(current, part);
        if (!PathExists(next)) {
            next.clear();
            const std::string folded = FoldCase(part);
            for (const std::string& name : ListingOf(current)) {
                if (FoldCase(name) == folded) {
                    next = ChildOf(current, name);
                    break;
                }
            }
            if (next.empty())
                return std::string();
        }
        current = std::move(next);
    }
    return current;
}

std::string PlaylistResolver::FindWindowsPath(const Location& location)
{
    if (std::string found = FindIgnoringCase(location.path); !found.empty())
        return found;
    if (!location.driveAbsolute)
        return std::string();
    // The list was made where the music lived elsewhere; its last components may still lead
    // from the playlist's folder, the longest that does wins.
    const std::vector<std::string> parts = ComponentsOf(location.written);
    for (size_t first = 1; first < parts.size(); ++first) {
        std::string candidate = m_folder;
        for (size_t at = first; at < parts.size(); ++at)
            candidate = ChildOf(candidate, parts[at]);
        if (PathExists(candidate))
            return candidate;
        if (std::string found = FindIgnoringCase(candidate); !found.empty())
            return found;
    }
    return std::string();
}

std::string PlaylistResolver::UrlTextOf(const PlaylistEntry& entry)
{
    if (entry.location.empty())
        return std::string();
    const Location decoded = Locate(entry.location);
    if (!decoded.networkUrl.empty())
        return decoded.networkUrl;
    if (decoded.path.empty())
        return std::string();

    std::string path = decoded.path;
    if (!decoded.literal.empty() && PathExists(decoded.literal))
        path = decoded.literal;
    const bool lookAround = decoded.windows || !entry.rawLocation.empty();
    if (lookAround && !PathExists(path)) {
        std::string found = decoded.windows ? FindWindowsPath(decoded) : std::string();
        if (found.empty() && !entry.rawLocation.empty()) {
            const Location raw = Locate(entry.rawLocation);
            if (!raw.path.empty() && PathExists(raw.path))
                found = raw.path;
            else if (!raw.path.empty() && raw.windows)
                found = FindWindowsPath(raw);
        }
        if (!found.empty())
            path = std::move(found);
    }
    if (path == m_playlistPath)
        return std::string();
    if (struct stat info{}; stat(path.c_str(), &info) == 0) {
        // Lists hold files: a folder ("/", ".") would make the list hold everything below it.
        if (S_ISDIR(info.st_mode))
            return std::string();
        // The list itself under another name (through a linked folder, a hard link) is still
        // the list, and a list that holds itself never ends.
        if (IsPlaylistItself(info))
            return std::string();
    }
    return FileUrlText(path, m_prefix);
}

bool PlaylistResolver::IsPlaylistItself(const struct stat& info)
{
    if (!m_selfKnown) {
        struct stat self { };
        if (stat(m_playlistPath.c_str(), &self) == 0) {
            m_selfDevice = self.st_dev;
            m_selfInode = self.st_ino;
            m_selfFound = true;
        }
        m_selfKnown = true;
    }
    return m_selfFound && info.st_dev == m_selfDevice && info.st_ino == m_selfInode;
}

} // namespace LumoMusic
