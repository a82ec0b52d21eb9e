// Facts of the running process and the machine, and memory probes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Platform {

// Full path of the running executable (through /proc/self/exe).
std::string ExecutablePath();

// The folder of the running executable, with a trailing "/".
std::string ProgramFolder();

// The user's data folder ($XDG_DATA_HOME, else ~/.local/share), without a trailing "/";
// created when missing. Empty when neither can be found.
std::string UserDataFolder();

// The user's cache folder ($XDG_CACHE_HOME, else ~/.cache), without a trailing "/"; created
// when missing. Empty when neither can be found.
std::string UserCacheFolder();

// The machine's host name cut to 15 characters, as the platform's computer name is.
std::string ComputerName();

// The login name of the user running the process; empty when unknown.
std::string UserName();

// The system error code that stands for an errno value (ENOENT gives 2, EACCES 5, ...).
uint32_t CodeFromErrno(int error);

// True when text is null or cannot be read up to its NUL or maxChars characters, whichever
// comes first. Probing never faults.
bool IsBadStringPtr(const char* text, size_t maxChars);

// Gives the calling thread the lowest share of the processor (nice 19): for work nobody waits
// for, which may still hold a lock or a result someone waits for.
void LowerThisThreadsPriority();

// Puts the calling thread in the idle scheduling class, where it runs only when nothing else
// would (nice 19 where that is refused): for work that holds nothing anyone waits for.
void IdleThisThread();

// True when memory is null or [memory, memory + sizeBytes) cannot be read.
bool IsBadReadPtr(const void* memory, size_t sizeBytes);

} // namespace Platform
