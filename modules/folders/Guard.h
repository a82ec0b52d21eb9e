// The folders module keeps exceptions on its side of the plug-in boundary: its failures and its guard are the support
// library's (support/BoundaryGuard.h).
#pragma once

#include "support/BoundaryGuard.h"

namespace LumoFolders {

using FolderError = LumoModules::ModuleError;
using LumoModules::Guard;

} // namespace LumoFolders
