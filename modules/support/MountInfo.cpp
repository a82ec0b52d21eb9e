#include "support/MountInfo.h"

#include <algorithm>
#include <cstdio>

namespace LumoModules {

namespace {

// Mount points escape blank, tab, newline and backslash as three octal digits.
std::string UnescapeOctal(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4) {
            const auto digit = [&](size_t at) { return field[at] >= '0' && field[at] <= '7'; };
            if (digit(i + 1) && digit(i + 2) && digit(i + 3)) {
                text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return text;
}

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && line[at] == ' ')
            ++at;
        const size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text)
{
    std::vector<MountEntry> mounts;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::vector<std::string_view> fields = Fields(line);
        // id, parent, major:minor, root, mount point, options, optional fields..., "-", type, source
        const auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 6 || separator == fields.end() || separator - fields.begin() < 6
            || fields.end() - separator < 3)
            continue;
        MountEntry mount;
        const std::string numbers(fields[2]);
        if (std::sscanf(numbers.c_str(), "%u:%u", &mount.major, &mount.minor) != 2)
            continue;
        mount.root = UnescapeOctal(fields[3]);
        mount.mountPoint = UnescapeOctal(fields[4]);
        mount.fileSystem = UnescapeOctal(separator[1]);
        mount.source = UnescapeOctal(separator[2]);
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

} // namespace LumoModules
