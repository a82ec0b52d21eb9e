// The file types the desktop's shared MIME database knows.
#pragma once

#include <vector>

#include "host/FormatModuleGroup.h"

// Every MIME type with its simple "*.ext" globs as lower-case extensions (".mp3") and its
// comment as description. Types without such a glob are left out.
std::vector<FileType> SystemFileTypes();
