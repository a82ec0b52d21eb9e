// The last errors for what the C library and SQLite report, the same in every module.
#pragma once

#include <cstdint>

namespace LumoModules {

// The last error for an errno value from opening or reading a file: 1168 for a file that is
// not there, 5 for one that may not be read (or is no file), 1012 for what is not known.
uint32_t FileErrorCode(int error) noexcept;

// The last error for an SQLite result code (extended codes too): 112 disk full, 8 out of
// memory, 32 busy or locked, 5 no permission, 13 a damaged or foreign file; otherwise for the
// rest.
uint32_t SqliteErrorCode(int code, uint32_t otherwise) noexcept;

} // namespace LumoModules
