// Local paths behind the module's URLs. File names are bytes: nothing here assumes UTF-8.
#pragma once

#include <string>
#include <string_view>

#include <lumo/Url.h>

namespace LumoMusic {

// The music class's URL scheme; its folders and songs carry "lumomusic-" in front of "file".
constexpr std::string_view c_ClassScheme = "lumomusic";

// The local file a URL names: a "file" URL, or one with a class prefix in front of "file"
// ("lumomusic-file:///…" is the same file as "file:///…"). The prefix ("" or "lumomusic-")
// is kept so that URLs made from this one carry it too.
struct LocalFile {
    std::string path;
    std::string prefix;
};

// False for any other scheme, a remote host, or a URL that cannot be read.
bool LocalFileOf(LumoApi::UrlApi* url, LocalFile& file);

// "/" followed by the components of path with "." and empty components dropped and ".." taking
// off the one before it (never above the root). Symbolic links are not looked at: a playlist's
// "../x" means the folder above as the playlist's author saw it.
std::string NormalizePath(std::string_view path);

// The last component of a normalised path ("" for the root), and the folder above it.
std::string LeafOf(std::string_view path);
std::string ParentOf(std::string_view path);

// The lower-case extension of the last component with its dot (".mp3"), or "" when it has none.
std::string ExtensionOf(std::string_view path);

// The mount point of the file system that holds path (the nearest folder above it on another
// device, or "/"); "" when path cannot be looked at.
std::string MountRootOf(const std::string& path);

} // namespace LumoMusic
