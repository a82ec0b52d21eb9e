// The media-class library keeps exceptions on its side of the plug-in boundary: its failures,
// its guard and ThrowLastError are the support library's (support/BoundaryGuard.h).
#pragma once

#include "support/BoundaryGuard.h"

namespace LumoModules {

using ClassError = ModuleError;

} // namespace LumoModules
