#include "UserDirs.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "FolderPaths.h"

namespace LumoFolders {

namespace {

struct KnownKey {
    const char* key;
    const char* type;
};
// In order of precedence.
constexpr KnownKey c_knownKeys[] = {
    {"XDG_MUSIC_DIR", "music"},
    {"XDG_PICTURES_DIR", "pictures"},
    {"XDG_VIDEOS_DIR", "videos"},
    {"XDG_DOCUMENTS_DIR", "documents"},
    {"XDG_DESKTOP_DIR", "desktop"},
    {"XDG_DOWNLOAD_DIR", "download"},
};

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The value of a shell-quoted "..." text with its backslash escapes; false when malformed.
bool Unquote(std::string_view quoted, std::string& value)
{
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return false;
    quoted = quoted.substr(1, quoted.size() - 2);
    value.clear();
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == '\\') {
            if (++i == quoted.size())
                return false;
        } else if (quoted[i] == '"') {
            return false;
        }
        value += quoted[i];
    }
    return true;
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return NormalizePath(home);
    struct passwd entry { };
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return NormalizePath(found->pw_dir);
    return std::string();
}

std::string ConfigFile(const std::string& home)
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string folder = config && config[0] == '/' ? std::string(config) : home + "/.config";
    return folder + "/user-dirs.dirs";
}

// The last parse, and the file stamp it belongs to. Guarded by g_cacheLock.
struct Parsed {
    std::string file;
    std::string home;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified { };
    std::vector<UserDir> dirs;
    // Each dir's device and inode when it exists, for folders reached through a link.
    std::vector<std::pair<dev_t, ino_t>> ids;
};
std::mutex g_cacheLock;
Parsed g_parsed;
bool g_parsedValid = false;

} // namespace

std::vector<UserDir> ParseUserDirs(std::string_view text, const std::string& home)
{
    std::vector<std::pair<size_t, UserDir>> found;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = Trim(line.substr(0, equals));
        std::string value;
        if (!Unquote(Trim(line.substr(equals + 1)), value))
            continue;
        size_t rank = 0;
        while (rank < std::size(c_knownKeys) && key != c_knownKeys[rank].key)
            ++rank;
        if (rank == std::size(c_knownKeys))
            continue;
        std::string path;
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
            if (home.empty())
                continue;
            path = NormalizePath(home + value.substr(5));
        } else if (!value.empty() && value.front() == '/') {
            path = NormalizePath(value);
        } else {
            continue;
        }
        if (path == NormalizePath(home))
            continue;
        // A key given twice: the later line wins, as when the shell reads the file.
        std::erase_if(found, [&](const auto& entry) { return entry.first == rank; });
        found.emplace_back(rank, UserDir{c_knownKeys[rank].type, std::move(path)});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<UserDir> dirs;
    for (auto& entry : found)
        dirs.push_back(std::move(entry.second));
    return dirs;
}

std::string SpecialFolderTypeOf(const std::string& path, dev_t device, ino_t inode)
{
    const std::string home = HomeFolder();
    const std::string file = ConfigFile(home);
    struct stat info { };
    const bool exists = stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);

    std::lock_guard<std::mutex> lock(g_cacheLock);
    const bool same = g_parsedValid && g_parsed.file == file && g_parsed.home == home && g_parsed.exists == exists
        && (!exists
            || (g_parsed.device == info.st_dev && g_parsed.inode == info.st_ino && g_parsed.size == info.st_size
                && g_parsed.modified.tv_sec == info.st_mtim.tv_sec
                && g_parsed.modified.tv_nsec == info.st_mtim.tv_nsec));
    if (!same) {
        g_parsed = Parsed{file, home, exists, info.st_dev, info.st_ino, info.st_size, info.st_mtim, {}, {}};
        if (exists) {
            std::ifstream stream(file, std::ios::binary);
            std::ostringstream text;
            text << stream.rdbuf();
            g_parsed.dirs = ParseUserDirs(text.str(), home);
            for (const UserDir& dir : g_parsed.dirs) {
                struct stat folder { };
                if (stat(dir.path.c_str(), &folder) == 0)
                    g_parsed.ids.emplace_back(folder.st_dev, folder.st_ino);
                else
                    g_parsed.ids.emplace_back(0, 0);
            }
        }
        g_parsedValid = true;
    }
    for (const UserDir& dir : g_parsed.dirs) {
        if (dir.path == path)
            return dir.type;
    }
    // The same folder reached through a symbolic link. (Stats taken when the file was read:
    // a folder made again since then is still found by its path.)
    for (size_t index = 0; index < g_parsed.dirs.size(); ++index) {
        if (g_parsed.ids[index].second != 0 && g_parsed.ids[index] == std::make_pair(device, inode))
            return g_parsed.dirs[index].type;
    }
    return std::string();
}

} // namespace LumoFolders
