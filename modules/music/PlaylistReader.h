// Playlist files: M3U (plain or extended, with "#EXTINF" titles), M3U8 and PLS. Parsing is a
// pure function of the file's bytes; where the entries lead is PlaylistResolver's business.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace LumoMusic {

// Bigger playlists are read this far: a list of a hundred thousand songs takes about 10 MB.
constexpr size_t c_MaxPlaylistBytes = 32u << 20;

struct PlaylistEntry {
    // The location as written (a path or a URL), in UTF-8 when the list's encoding is known,
    // else its bytes unchanged.
    std::string location;
    // The location's bytes as the file holds them, when decoding changed them (a Latin-1
    // list): a file whose name is in that same encoding is still found by them.
    std::string rawLocation;
    // The title the list gives ("#EXTINF", "TitleN"); may be empty.
    std::string title;
};

enum class PlaylistKind { M3u, M3u8, Pls };

// The kind by extension (".m3u", ".m3u8", ".pls"), unless the first line says otherwise
// ("[playlist]" is PLS whatever the name; "#EXTM3U" is M3U).
PlaylistKind KindOfPlaylist(std::string_view extension, std::string_view bytes);

// The entries in playing order. Encodings: a byte-order mark decides (UTF-8, UTF-16 LE or BE);
// without one, M3U8 is UTF-8, and M3U and PLS are UTF-8 when the whole file is valid UTF-8,
// else Windows-1252 (Latin-1 as Windows writes it). PLS entries are ordered by their number.
std::vector<PlaylistEntry> ParsePlaylist(std::string_view bytes, PlaylistKind kind);

// The first c_MaxPlaylistBytes of a regular file. False with errno set when it cannot be read
// (EISDIR and the like for anything but a regular file).
bool ReadPlaylistFile(const std::string& path, std::string& bytes);

} // namespace LumoMusic
