// The per-thread last error that host and modules share. It lives in this one shared
// library so every module and the host see the same slot for a thread.
#include <cstdlib>

#include <lumo/Platform.h>

namespace {
thread_local uint32_t t_lastError = 0;
}

extern "C" {

uint32_t LumoGetLastError(void)
{
    return t_lastError;
}

void LumoSetLastError(uint32_t code)
{
    t_lastError = code;
}

void* LumoAllocBuffer(uint32_t sizeBytes)
{
    return std::malloc(sizeBytes == 0 ? 1 : sizeBytes);
}

void LumoFreeBuffer(void* buffer)
{
    std::free(buffer);
}
}
