// The per-thread last error that host and modules share. It lives in this one shared
// library so every module and the host see the same slot for a thread.
#include <cstdlib>
#include <string>

#include <lumo/Platform.h>

namespace {
// Set by nearly every API call, so kept cheap: plain values in one block, reached once per
// call; the subject's string is touched only when a subject was given.
struct LastError {
    uint32_t code = 0;
    bool hasSubject = false;
};
thread_local LastError t_lastError;
// What the code concerns; cleared whenever the code is set.
thread_local std::string t_subject;
} // namespace

extern "C" {

uint32_t LumoGetLastError(void)
{
    return t_lastError.code;
}

void LumoSetLastError(uint32_t code)
{
    LastError& last = t_lastError;
    last.code = code;
    if (last.hasSubject) {
        t_subject.clear();
        last.hasSubject = false;
    }
}

void LumoSetLastErrorSubject(const char* subject)
{
    try {
        t_subject = subject ? subject : "";
    } catch (...) {
        // Out of memory: the error keeps its code, without a name.
        t_subject.clear();
    }
    t_lastError.hasSubject = !t_subject.empty();
}

const char* LumoGetLastErrorSubject(void)
{
    return t_lastError.hasSubject ? t_subject.c_str() : "";
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
