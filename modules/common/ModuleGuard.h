// Keeps exceptions on this side of the plug-in boundary: every API operation of the library
// runs its body through Guard, which turns a failure into the fallback result and a last error.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
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
constexpr uint32_t c_ErrorInvalidName = 123;
constexpr uint32_t c_ErrorAlreadyExists = 183;
constexpr uint32_t c_ErrorCancelled = 1223;
constexpr uint32_t c_ErrorCantResolveFilename = 1921;

// A failure inside the library, carrying the last error the caller will see and, when the
// failure is a file's rather than the item's, that file's path as the error's subject.
class ClassError : public std::exception {
public:
    explicit ClassError(uint32_t code, std::string subject = std::string())
        : m_code(code), m_subject(std::move(subject))
    {
    }
    uint32_t Code() const noexcept { return m_code; }
    const std::string& Subject() const noexcept { return m_subject; }
    const char* what() const noexcept override { return "media class error"; }

private:
    uint32_t m_code;
    std::string m_subject;
};

// Raises the calling thread's last error with its subject, or 1359 when a failing call left
// none.
[[noreturn]] inline void ThrowLastError()
{
    const uint32_t code = LumoGetLastError();
    throw ClassError(code ? code : LumoApi::ERROR_INTERNAL_ERROR, code ? LumoGetLastErrorSubject() : "");
}

template <class Result, class Body>
Result Guard(Result fallback, Body&& body) noexcept
{
    return LumoModules::GuardAs<ClassError>(fallback, std::forward<Body>(body));
}

} // namespace LumoModules
