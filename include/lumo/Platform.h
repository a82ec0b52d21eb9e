// Functions of liblumo-platform.so that host and modules share. Every module links that
// library, so a last error set inside a module is the one the host reads on the same thread.
#pragma once

#include <cstdint>

#include "Api.h"

extern "C" {

// The calling thread's last error code (see Errors.h).
LUMO_EXPORT uint32_t LumoGetLastError(void);
// Sets the calling thread's last error code, and forgets its subject.
LUMO_EXPORT void LumoSetLastError(uint32_t code);
// Names what the calling thread's current last error concerns, such as the path of the file at
// fault, so that the host's message names it ("<subject>: <text of the code>"). Set it after the
// code; the text is copied. Null or "" names nothing.
LUMO_EXPORT void LumoSetLastErrorSubject(const char* subject);
// The subject of the calling thread's last error; "" when none was named. Valid until the
// thread's last error is set again.
LUMO_EXPORT const char* LumoGetLastErrorSubject(void);
// Frees a text buffer that an API operation documents as "freed by LumoFreeBuffer"
// (DetailsHelpApi::FormatFileTime). Null is allowed.
LUMO_EXPORT void LumoFreeBuffer(void* buffer);
// Allocates a buffer that the receiver frees with LumoFreeBuffer; null when out of memory.
LUMO_EXPORT void* LumoAllocBuffer(uint32_t sizeBytes);
}
