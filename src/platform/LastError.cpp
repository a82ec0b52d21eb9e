// The per-thread last error that host and modules share. It lives in this one shared
// library so every module and the host see the same slot for a thread.
#include <cstdlib>
#include <string>

#include <lumo/Platform.h>

namespace {
thread_local uint32_t t_lastError = 0;
// What t_lastError concerns; cleared whenever the code is set.
thread_local std::string t_subject;
} // namespace

extern "C" {

uint32_t LumoGetLastError(void)
{
    return t_lastError;
}

void LumoSetLastError(uint32_t code)
{
    t_lastError = code;
    t_subject.clear();
}

void LumoSetLastErrorSubject(const char* subject)
{
    try {
        t_subject = subject ? subject : "";
    } catch (...) {
        // Out of memory: the error keeps its code, without a name.
        t_subject.clear();
    }
}

const char* LumoGetLastErrorSubject(void)
{
    return t_subject.c_str();
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
