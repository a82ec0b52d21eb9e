// Keeps exceptions on this side of the plug-in boundary: every API operation of the library
// runs its body through Guard, which turns a failure into the fallback result and a last error.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <utility>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/BoundaryGuard.h"

namespace LumoModules {

// System codes the library reports that Errors.h does not name.
constexpr uint32_t c_ErrorFileNotFound = 2;
constexpr uint32_t c_ErrorPathNotFound = 3;
constexpr uint32_t c_ErrorAccessDenied = 5;
constexpr uint32_t c_ErrorSharingViolation = 32;
constexpr uint32_t c_ErrorDiskFull = 112;
constexpr uint32_t c_ErrorAlreadyExists = 183;
constexpr uint32_t c_ErrorCancelled = 1223;

// A failure inside the library, carrying the last error the caller will see.
class ClassError : public std::exception {
public:
    explicit ClassError(uint32_t code) : m_code(code) { }
    uint32_t Code() const noexcept { return m_code; }
    const char* what() const noexcept override { return "media class error"; }

private:
    uint32_t m_code;
};

// Raises the calling thread's last error, or 1359 when a failing call left none.
[[noreturn]] inline void ThrowLastError()
{
    const uint32_t code = LumoGetLastError();
    throw ClassError(code ? code : LumoApi::ERROR_INTERNAL_ERROR);
}

template <class Result, class Body>
Result Guard(Result fallback, Body&& body) noexcept
{
    return LumoModules::GuardAs<ClassError>(fallback, std::forward<Body>(body));
}

} // namespace LumoModules
