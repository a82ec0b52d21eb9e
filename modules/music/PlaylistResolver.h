// Where a playlist's entries lead: the URL of each entry, made the way the folders module
// names the same file, so a song reached through a list is the same item as in its folder.
//
// - Relative paths are relative to the playlist's folder; "." and ".." are taken as written.
// - "\" separators become "/", unless the path as written names a file here ("a\b.mp3" is a
//   name on this system). A drive letter ("E:\Music\a.mp3") means nothing here, so the
//   path after it is read against the root of the volume that holds the playlist (the list
//   was most likely made for that drive); "\Music\a.mp3" too. A path of that Windows kind that
//   is not found there is looked for ignoring letter case, then by its last components in
//   the playlist's folder ("C:\Users\me\Music\Artist\a.mp3" beside a list in …/Music).
// - "file://" URLs are decoded to their path; any other URL ("http://…") and UNC paths
//   ("\\server\share\a.mp3", as "smb://server/share/a.mp3") are kept as network entries.
// - A list in Latin-1 whose decoded name is not found is tried with its bytes as they are.
// - Entries that are not found are listed anyway: their details mark them broken.
// - An entry naming the playlist itself, by any path (device and inode decide), is left out,
//   so no list contains itself; so is an entry naming a folder.
//
// One resolver serves one enumeration on one thread; it remembers the folder listings it read.
#pragma once

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

#include "PlaylistReader.h"

namespace LumoMusic {

class PlaylistResolver {
public:
    // playlistPath is normalised; prefix goes in front of the scheme of every local entry.
    PlaylistResolver(std::string playlistPath, std::string prefix);

    // The entry's URL text, or "" to leave it out.
    std::string UrlTextOf(const PlaylistEntry& entry);

private:
    // What an entry's location names, before it is looked for on the disk.
    struct Location {
        // The local path, or "" for a network entry.
        std::string path;
        // The URL text of a network entry.
        std::string networkUrl;
        // Written the Windows way ("\" or a drive letter), and from a drive's root.
        bool windows = false;
        bool driveAbsolute = false;
        // The written path, normalised, without its drive (for the search by last components).
        std::string written;
        // A path holding "\" that may name a file of this system as written; "" when none.
        std::string literal;
    };

    Location Locate(std::string_view location);
    // The path of a Windows-style entry as it is found on the disk, or "".
    std::string FindWindowsPath(const Location& location);
    std::string FindIgnoringCase(const std::string& path);
    const std::vector<std::string>& ListingOf(const std::string& folder);
    const std::string& VolumeRoot();
    bool IsPlaylistItself(const struct stat& info);

    std::string m_playlistPath;
    std::string m_folder;
    std::string m_prefix;
    std::string m_volumeRoot;
    bool m_volumeRootKnown = false;
    // The playlist's own file, looked at once.
    bool m_selfKnown = false;
    bool m_selfFound = false;
    dev_t m_selfDevice = 0;
    ino_t m_selfInode = 0;
    // Folder → its entries' names, read once per resolver.
    std::unordered_map<std::string, std::vector<std::string>> m_listings;
};

// True when path names anything (a dangling symbolic link counts as nothing).
bool PathExists(const std::string& path);

} // namespace LumoMusic
