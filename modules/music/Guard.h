// The music module keeps exceptions on its side of the plug-in boundary: its failures and its guard are the support
// library's (support/BoundaryGuard.h).
#pragma once

#include "support/BoundaryGuard.h"

namespace LumoMusic {

using MusicError = LumoModules::ModuleError;
using LumoModules::Guard;

} // namespace LumoMusic
