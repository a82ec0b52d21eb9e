// Keeps exceptions on this side of the plug-in boundary, for every module: an operation runs
// its body through GuardAs<ModuleError>, which turns a failure into the fallback result and a
// last error. Header only, so a module that needs nothing else of this folder links nothing.
#pragma once

#include <new>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

namespace LumoModules {

// Error is the module's own failure type, with Code() the last error the caller will see.
template <class Error, class Result, class Body>
Result GuardAs(Result fallback, Body&& body) noexcept
{
    try {
        return body();
    } catch (const Error& error) {
        LumoSetLastError(error.Code());
        if constexpr (requires { error.Subject(); })
            LumoSetLastErrorSubject(error.Subject().c_str());
    } catch (const std::bad_alloc&) {
        LumoSetLastError(LumoApi::ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        LumoSetLastError(LumoApi::ERROR_INTERNAL_ERROR);
    }
    return fallback;
}

} // namespace LumoModules
