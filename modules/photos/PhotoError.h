// Keeps exceptions on this side of the plug-in boundary: every API operation of the module runs
// its body through Guard, which turns a failure into the fallback result and a last error.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/BoundaryGuard.h"

namespace LumoPhotos {

// System codes this module reports that Errors.h does not name.
constexpr uint32_t c_ErrorAccessDenied = 5;
constexpr uint32_t c_ErrorBadPathName = 123;

// A failure inside the module, carrying the last error the caller will see and, from the
// image libraries, their own words for the log.
class PhotoError : public std::exception {
public:
    explicit PhotoError(uint32_t code, std::string detail = std::string()) : m_code(code), m_detail(std::move(detail))
    {
    }
    uint32_t Code() const noexcept { return m_code; }
    const std::string& Detail() const noexcept { return m_detail; }
    const char* what() const noexcept override { return "LumoPhotos error"; }

private:
    uint32_t m_code;
    std::string m_detail;
};

// The last error for an errno value from opening or reading a file.
uint32_t FileErrorCode(int error) noexcept;

template <class Result, class Body>
Result Guard(Result fallback, Body&& body) noexcept
{
    return LumoModules::GuardAs<PhotoError>(fallback, std::forward<Body>(body));
}

} // namespace LumoPhotos
