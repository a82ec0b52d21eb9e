// Keeps exceptions on this side of the plug-in boundary: every API operation of the module runs
// its body through Guard, which turns a failure into the fallback result and a last error.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <utility>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/BoundaryGuard.h"

namespace LumoCache {

// System codes this module reports that Errors.h does not name.
constexpr uint32_t c_ErrorAccessDenied = 5;
constexpr uint32_t c_ErrorSharingViolation = 32;
constexpr uint32_t c_ErrorDiskFull = 112;
constexpr uint32_t c_ErrorBadPathName = 123;
// A path through more linked folders than the system follows, as when they loop.
constexpr uint32_t c_ErrorCantResolveFilename = 1921;

// A failure inside the module, carrying the last error the caller will see.
class CacheError : public std::exception {
public:
    explicit CacheError(uint32_t code) : m_code(code) { }
    uint32_t Code() const noexcept { return m_code; }
    const char* what() const noexcept override { return "LumoCache error"; }

private:
    uint32_t m_code;
};

template <class Result, class Body>
Result Guard(Result fallback, Body&& body) noexcept
{
    return LumoModules::GuardAs<CacheError>(fallback, std::forward<Body>(body));
}

} // namespace LumoCache
