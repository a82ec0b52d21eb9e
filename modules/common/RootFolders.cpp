#include "RootFolders.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "support/MountInfo.h"

namespace LumoModules {

namespace {

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::string();
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsDirectory(const std::string& path)
{
    struct stat info { };
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsAtOrBelow(std::string_view path, std::string_view folder)
{
    return path == folder || (path.starts_with(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

bool IsNetworkOrUserType(std::string_view type)
{
    static constexpr std::string_view c_types[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs"};
    if (std::find(std::begin(c_types), std::end(c_types), type) != std::end(c_types))
        return true;
    // The desktop's own FUSE helpers are plumbing, not volumes.
    static constexpr std::string_view c_plumbing[]
        = {"fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs", "fuse.snapfuse", "fuse.xdg-document-portal"};
    return type.starts_with("fuse.")
        && std::find(std::begin(c_plumbing), std::end(c_plumbing), type) == std::end(c_plumbing);
}

bool IsSystemPlace(std::string_view path)
{
    static constexpr std::string_view c_places[] = {"/proc", "/sys", "/dev", "/run/user", "/snap", "/var/lib"};
    return std::any_of(
        std::begin(c_places), std::end(c_places), [&](std::string_view place) { return IsAtOrBelow(path, place); });
}

} // namespace

std::string UserDirKey(std::string_view specialFolder)
{
    std::string key = "XDG_";
    for (char c : specialFolder)
        key += char(std::toupper(static_cast<unsigned char>(c)));
    return key + "_DIR";
}

std::string UserDirFromText(std::string_view text, std::string_view key, const std::string& home)
{
    std::string found;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        std::string_view rest(line);
        while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front())))
            rest.remove_prefix(1);
        if (!rest.starts_with(key) || rest.size() <= key.size() || rest[key.size()] != '=')
            continue;
        rest.remove_prefix(key.size() + 1);
        if (rest.empty() || rest.front() != '"')
            continue;
        rest.remove_prefix(1);
        std::string value;
        bool closed = false;
        for (size_t at = 0; at < rest.size(); ++at) {
            if (rest[at] == '\\' && at + 1 < rest.size()) {
                value += rest[++at];
            } else if (rest[at] == '"') {
                closed = true;
                break;
            } else {
                value += rest[at];
            }
        }
        if (!closed)
            continue;
        if (value.starts_with("$HOME") && (value.size() == 5 || value[5] == '/')) {
            if (home.empty())
                continue;
            value = home + value.substr(5);
        }
        if (value.empty() || value.front() != '/')
            continue;
        // The last line that sets the key wins, as a shell reading the file would have it.
        found = WithoutTrailingSlash(value);
    }
    return found;
}

std::vector<std::string> VolumesFromMountInfo(std::string_view text)
{
    std::vector<std::string> volumes;
    for (const MountEntry& mount : ParseMountInfo(text)) {
        const std::string mountPoint = WithoutTrailingSlash(mount.mountPoint);
        if (mountPoint.empty() || mountPoint.front() != '/' || mountPoint == "/" || IsSystemPlace(mountPoint))
            continue;
        const bool removablePlace = IsAtOrBelow(mountPoint, "/media") || IsAtOrBelow(mountPoint, "/run/media")
            || IsAtOrBelow(mountPoint, "/mnt");
        if (!removablePlace && !IsNetworkOrUserType(mount.fileSystem))
            continue;
        if (std::find(volumes.begin(), volumes.end(), mountPoint) == volumes.end())
            volumes.push_back(mountPoint);
    }
    return volumes;
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return WithoutTrailingSlash(home);
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return WithoutTrailingSlash(found->pw_dir);
    return std::string();
}

std::vector<std::string> ListRootFolders(const RootFoldersSource& source)
{
    const std::string home = HomeFolder();
    std::string userDirsPath = source.userDirsPath;
    if (userDirsPath.empty()) {
        // Relative values are ignored, as the base directory rules say.
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const std::string base = config && config[0] == '/' ? std::string(config) : home + "/.config";
        userDirsPath = WithoutTrailingSlash(base) + "/user-dirs.dirs";
    }
    std::vector<std::string> candidates;
    if (!source.specialFolder.empty())
        candidates.push_back(UserDirFromText(ReadWholeFile(userDirsPath), UserDirKey(source.specialFolder), home));
    candidates.push_back(home);
    for (std::string& volume : VolumesFromMountInfo(
             ReadWholeFile(source.mountInfoPath.empty() ? "/proc/self/mountinfo" : source.mountInfoPath)))
        candidates.push_back(std::move(volume));

    std::vector<std::string> roots;
    for (std::string& path : candidates) {
        if (path.empty() || std::find(roots.begin(), roots.end(), path) != roots.end() || !IsDirectory(path))
            continue;
        roots.push_back(std::move(path));
    }
    return roots;
}

} // namespace LumoModules
