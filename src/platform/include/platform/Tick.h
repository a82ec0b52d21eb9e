// Stand-ins for the kernel's tick count and sleep.
#pragma once

#include <cstdint>

namespace Platform {

// Milliseconds of a monotonic clock; wraps around like a 32-bit tick count.
uint32_t GetTickCount();

void Sleep(uint32_t milliseconds);

} // namespace Platform
