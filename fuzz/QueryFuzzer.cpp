// A query read, written back and read again names the same parameters with the same values;
// written from there it no longer changes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "common/Exceptions.h"
#include "host/UrlEscape.h"

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

// BuildQuery orders the parameters; the comparison does not care for order.
std::vector<ParamList::Param> Sorted(const ParamList& params)
{
    std::vector<ParamList::Param> sorted(params.begin(), params.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ParamList read;
    try {
        read = ParseQuery(text);
    } catch (const RangeError&) {
        return 0; // a "%" without two characters after it
    }
    for (const ParamList::Param& param : read)
        Require(!param.first.empty() && !param.second.empty(), "no empty name or value is held");

    const std::string written = BuildQuery(read);
    ParamList reread;
    try {
        reread = ParseQuery(written);
    } catch (const RangeError&) {
        Require(false, "a built query reads without error");
    }
    Require(Sorted(reread) == Sorted(read), "the round trip keeps every parameter");
    Require(BuildQuery(reread) == written, "a built query is stable");
    Require(ParseQuery(BuildQuery(reread)) == reread, "a built query reads back in its own order");
    return 0;
}
