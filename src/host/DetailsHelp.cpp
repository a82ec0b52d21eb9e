#include "DetailsHelp.h"

#include <cstdio>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"

using namespace LumoApi;

namespace {

constexpr uint64_t c_TicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr uint64_t c_EpochDifference = 11'644'473'600;

} // namespace

std::optional<uint32_t> UnixSecondsOfFileTime(const FileTime& time)
{
    const uint64_t ticks = (uint64_t(time.highDateTime) << 32) | time.lowDateTime;
    const uint64_t seconds = ticks / c_TicksPerSecond;
    if (seconds < c_EpochDifference || seconds - c_EpochDifference > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<uint32_t>(seconds - c_EpochDifference);
}

DetailsHelp& DetailsHelp::Instance()
{
    static DetailsHelp instance;
    return instance;
}

char* LUMO_CALL DetailsHelp::FormatFileTime(const FileTime* time)
{
    return ApiBoundary(nullptr, [&]() -> char* {
        if (!time)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        // The time is absolute, so its seconds since 1970 need no detour through local time.
        const std::optional<uint32_t> seconds = UnixSecondsOfFileTime(*time);
        if (!seconds)
            ThrowWinError(ERROR_INVALID_DATA);
        char* buffer = static_cast<char*>(LumoAllocBuffer(11));
        if (!buffer)
            ThrowWinError(ERROR_NOT_ENOUGH_MEMORY);
        std::snprintf(buffer, 11, "0x%08X", *seconds);
        return buffer;
    });
}
