// Paths, file URLs and the texts made from them. File names are bytes: nothing here assumes
// they are UTF-8, and only the texts meant for people are made readable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <lumo/Url.h>

namespace LumoFolders {

// The system error code for an errno value, as the host maps them.
uint32_t CodeFromErrno(int error);

// bytes as valid UTF-8: every byte that does not belong to a well-formed sequence becomes
// U+FFFD, so a name from another encoding still shows, one mark per unreadable byte.
std::string ReadableText(std::string_view bytes);

// The URL text of an absolute path, exactly as the host's URL builder composes it (Url.h):
// "file://" and the path with every byte outside the safe set %-escaped. Any byte survives,
// "\" included, which the builder would turn into "/".
std::string FileUrlText(std::string_view absolutePath);
// Appends bytes to a URL text, escaped as FileUrlText escapes a path.
void AppendUrlEscaped(std::string& text, std::string_view bytes);

// The absolute path a "file" URL names ("/" for "file://"), without a trailing "/" and with
// repeated "/" folded. False for any other scheme or for a host other than "localhost".
bool PathOfFileUrl(LumoApi::UrlApi* url, std::string& path);

// Folds repeated "/" and drops a trailing one; "/" stays "/".
std::string NormalizePath(std::string_view path);

// The last component ("/" for the root), the folder above ("/" for a top-level entry, "" for
// the root), and a child's path.
std::string LeafOf(std::string_view path);
std::string ParentOf(std::string_view path);
std::string ChildPath(std::string_view folder, std::string_view name);

} // namespace LumoFolders
