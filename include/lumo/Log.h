// The shared log file.
#pragma once

#include "Api.h"

namespace LumoApi {

constexpr int32_t c_LogInfo = 0;
constexpr int32_t c_LogWarning = 1;
constexpr int32_t c_LogError = 2;

// Implemented by the host ("LogApi", a new object per request, bound to the asking module,
// whose id fills the Module column). Any thread.
class LogApi : public Api {
public:
    static constexpr const char TypeId[] = "LogApi";

    // Writes one line: severity (c_LogInfo, c_LogWarning, c_LogError), a category of the
    // caller's choosing, and a printf-style message. Never fails towards the caller.
    // Variadic, so it uses the C calling convention, not LUMO_CALL.
    virtual void Write(int32_t severity, const char* category, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        = 0;
};

} // namespace LumoApi
