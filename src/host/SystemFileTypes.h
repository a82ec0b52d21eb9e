// The file types the desktop's shared MIME database knows.
#pragma once

#include <optional>
#include <vector>

#include "host/FormatModuleGroup.h"

// Every MIME type with its simple "*.ext" globs as lower-case extensions (".mp3") and its
// comment as description. Types without such a glob are left out.
std::vector<FileType> SystemFileTypes();

// The same types and extensions without descriptions, read from the database's "globs2" files
// (a few milliseconds where reading every type costs tenths of a second). nullopt when no data
// folder has one: the toolkit then uses a database of its own, which only SystemFileTypes sees.
std::optional<std::vector<FileType>> SystemGlobTypes();
