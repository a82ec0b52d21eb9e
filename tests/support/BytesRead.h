// What the calling thread has read from files, for tests that a reading happens elsewhere or
// stops early.
#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

// The bytes this thread has read through read(2) and pread(2) so far; nullopt where the
// kernel keeps no count.
inline std::optional<uint64_t> BytesReadByThisThread()
{
    std::ifstream io("/proc/thread-self/io");
    std::string name;
    uint64_t value = 0;
    while (io >> name >> value) {
        if (name == "rchar:")
            return value;
    }
    return std::nullopt;
}
