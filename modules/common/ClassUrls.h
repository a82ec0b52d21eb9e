// URL texts and content types as the class's containers read them, without the host: the
// class prefix, local paths of file URLs and the host's content-type pattern lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace LumoModules {

// The path of a local "file" URL text (host empty or "localhost"), %-escapes undone, with its
// leading "/"; nothing for another scheme, a remote host or a bad escape. The query is not
// part of the path.
std::optional<std::string> LocalPathOfFileUrl(std::string_view urlText);

// The last component of a path ("/a/b.mp3" gives "b.mp3"; "/" gives "/").
std::string LeafName(std::string_view path);

// A content-type pattern list ("audio/*,!image/*"), lower-cased, empty entries dropped.
std::vector<std::string> ParseTypeList(std::string_view list);

// The host's list matching: the first entry that decides answers. A plain entry decides when
// its pair matches; a "!" entry decides when its pair does not match. No decision: false.
// Pairs match part by part, "*" matching anything; the comparison ignores case.
bool TypeListMatches(const std::vector<std::string>& patterns, std::string_view contentType);

// True for "x-container" and "x-container/..." (any case).
bool IsContainerType(std::string_view contentType);

} // namespace LumoModules
