// Keeps exceptions on this side of the plug-in boundary, for every module: an operation runs
// its body through Guard, which turns a failure into the fallback result and a last error.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

namespace LumoModules {

// A failure inside a module, carrying the last error the caller will see; when the failure is
// a file's rather than the item's, that file's path as the error's subject; and, for the log,
// what a library said about it.
class ModuleError : public std::exception {
public:
    explicit ModuleError(uint32_t code, std::string subject = std::string(), std::string detail = std::string())
        : m_code(code), m_subject(std::move(subject)), m_detail(std::move(detail))
    {
    }
    uint32_t Code() const noexcept { return m_code; }
    const std::string& Subject() const noexcept { return m_subject; }
    const std::string& Detail() const noexcept { return m_detail; }
    const char* what() const noexcept override { return "module error"; }

private:
    uint32_t m_code;
    std::string m_subject;
    std::string m_detail;
};

// Raises the calling thread's last error with its subject, or 1359 when a failing call left
// none.
[[noreturn]] inline void ThrowLastError()
{
    const uint32_t code = LumoGetLastError();
    throw ModuleError(code ? code : LumoApi::ERROR_INTERNAL_ERROR, code ? LumoGetLastErrorSubject() : "");
}

template <class Result, class Body>
Result Guard(Result fallback, Body&& body) noexcept
{
    try {
        return body();
    } catch (const ModuleError& error) {
        LumoSetLastError(error.Code());
        if (!error.Subject().empty())
            LumoSetLastErrorSubject(error.Subject().c_str());
    } catch (const std::bad_alloc&) {
        LumoSetLastError(LumoApi::ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        LumoSetLastError(LumoApi::ERROR_INTERNAL_ERROR);
    }
    return fallback;
}

} // namespace LumoModules
