// Every operation of an API table the host implements runs its body through ApiBoundary, so
// no exception crosses into a module: the failure becomes a last error and a failure result.
#pragma once

#include <new>
#include <type_traits>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/Exceptions.h"

namespace Detail {

inline void SetLastErrorFromCurrentException() noexcept
{
    try {
        throw;
    } catch (const Exception& error) {
        LumoSetLastError(ErrorCodeFromException(error));
        if (auto* winError = dynamic_cast<const WinErrorException*>(&error))
            LumoSetLastErrorSubject(winError->Subject().c_str());
    } catch (const std::bad_alloc&) {
        LumoSetLastError(LumoApi::ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        LumoSetLastError(LumoApi::ERROR_INTERNAL_ERROR);
    }
}

} // namespace Detail

// Runs body; on any exception sets the last error from it and answers failure (converted to
// the body's result type, so nullptr and 0 serve every operation).
template <class Failure, class Body>
auto ApiBoundary(Failure failure, Body&& body) noexcept -> std::invoke_result_t<Body&>
{
    using Result = std::invoke_result_t<Body&>;
    try {
        return body();
    } catch (...) {
        Detail::SetLastErrorFromCurrentException();
        return static_cast<Result>(failure);
    }
}

// The same for operations without a result.
template <class Body>
void ApiBoundaryVoid(Body&& body) noexcept
{
    try {
        body();
    } catch (...) {
        Detail::SetLastErrorFromCurrentException();
    }
}
