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

namespace LumoMusic {

// A failure inside the module, carrying the last error the caller will see.
class MusicError : public std::exception {
public:
    explicit MusicError(uint32_t code) : m_code(code) { }
    uint32_t Code() const noexcept { return m_code; }
    const char* what() const noexcept override { return "LumoMusic error"; }

private:
    uint32_t m_code;
};

template <class Result, class Body>
Result Guard(Result fallback, Body&& body) noexcept
{
    return LumoModules::GuardAs<MusicError>(fallback, std::forward<Body>(body));
}

} // namespace LumoMusic
