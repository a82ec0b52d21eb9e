// What the module's listings found out lately: the entries of the last folders read, with the
// types the file system gave for them. The host decides the content type of every child it is
// given and asks this module's Identify first; answering from here spares a stat that walks
// the whole path again, which costs more than the listing itself. The host keeps its decisions
// far longer than this (its content-type cache), so the brief memory adds no staleness of its
// own worth the stat.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FolderReader.h"

namespace LumoFolders {

// Any thread. entries: the folder's entries sorted by name, as FolderReader::ReadNames gives
// them; shared, never changed again.
void RememberListing(const std::string& folder, std::shared_ptr<const std::vector<FolderEntry>> entries);
// Whether the entry at path (absolute) is a folder, when a listing of its folder in the last
// few seconds could tell from the entry's type alone; nullopt otherwise.
std::optional<bool> RecallEntry(std::string_view path);

} // namespace LumoFolders
