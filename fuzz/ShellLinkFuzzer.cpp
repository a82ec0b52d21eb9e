// Feeds arbitrary bytes to the shortcut reader. Besides the sanitizers' checks, every answer
// must be one the reader promises: valid UTF-8 within the limits, a show command of 1, 3 or 7,
// and nothing at all from a shortcut it could not read.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/ShellLink.h"

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

// The number of code points of text, or SIZE_MAX when it is not valid UTF-8.
size_t Utf8Chars(const std::string& text)
{
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++chars) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1
            : (lead >> 5) == 6            ? 2
            : (lead >> 4) == 14           ? 3
            : (lead >> 3) == 30           ? 4
                                          : 0;
        if (length == 0 || text.size() - i < length)
            return SIZE_MAX;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return SIZE_MAX;
            c = c << 6 | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
            return SIZE_MAX;
        i += length;
    }
    return chars;
}

void RequireText(const std::string& text, size_t maxChars, const char* what)
{
    Require(Utf8Chars(text) <= maxChars, what);
    Require(text.find('\0') == std::string::npos, what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ShellLink link = ShellLink::FromBytes(data, size, "/links/sub/fuzz.lnk");
    RequireText(link.Description(), ShellLink::c_DescriptionChars, "description");
    RequireText(link.TargetPath(), ShellLink::c_PathChars, "target path");
    RequireText(link.RelativePath(), ShellLink::c_PathChars, "relative path");
    RequireText(link.Arguments(), ShellLink::c_PathChars, "arguments");
    RequireText(link.WorkingDirectory(), ShellLink::c_PathChars, "working directory");
    const int32_t show = link.ShowCommand();
    Require(show == 1 || show == 3 || show == 7, "show command");
    if (!link.Loaded()) {
        Require(link.Description().empty() && link.TargetPath().empty() && link.RelativePath().empty()
                && link.Arguments().empty() && link.WorkingDirectory().empty() && show == 1,
            "an unread shortcut answers nothing");
    }
    const std::string local = link.TargetAsLocalPath();
    RequireText(local, SIZE_MAX - 1, "local path");
    Require(local.find('\\') == std::string::npos, "local path without backslashes");
    Require(local.empty() == link.TargetPath().empty(), "a local path exactly when there is a target");
    return 0;
}
