// The photos module keeps exceptions on its side of the plug-in boundary through the support
// library's guard (support/BoundaryGuard.h).
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "support/BoundaryGuard.h"
#include "support/SystemCodes.h"

namespace LumoPhotos {

// A failure with, from the image libraries, their own words for the log.
class PhotoError : public LumoModules::ModuleError {
public:
    explicit PhotoError(uint32_t code, std::string detail = std::string())
        : ModuleError(code, std::string(), std::move(detail))
    {
    }
};

using LumoModules::FileErrorCode;
using LumoModules::Guard;

} // namespace LumoPhotos
