// The lines of the mount table (/proc/self/mountinfo), for the folders' drive types and the
// media classes' volumes alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace LumoModules {

// One line of a mountinfo text, with its octal escapes ("\040" for a space) undone.
struct MountEntry {
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;
    std::string mountPoint;
    std::string fileSystem;
    std::string source;
};

// The lines of a mountinfo text, in order; malformed lines are left out.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

} // namespace LumoModules
