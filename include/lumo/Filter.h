// Host helpers that modules build on: filtered details, filtered containers, date texts.
#pragma once

#include "Api.h"
#include "Media.h"

namespace LumoApi {

// A Windows file time: 100-nanosecond ticks since 1601-01-01 UTC.
struct FileTime {
    uint32_t lowDateTime;
    uint32_t highDateTime;
};
static_assert(sizeof(FileTime) == 8, "FileTime is two 32-bit halves");

// Implemented by the host ("DetailsHelpApi", one shared object). Any thread.
class DetailsHelpApi : public Api {
public:
    static constexpr const char TypeId[] = "DetailsHelpApi";

    // The local time of *time as seconds since 1970, written "0x%08X" into a new buffer that
    // the caller frees with LumoFreeBuffer. Null with 87 for a null time.
    virtual char* LUMO_CALL FormatFileTime(const FileTime* time) = 0;
};

// Implemented by the host ("FilterDetailsApi", a new object per request): an item's details
// with some properties replaced, added, hidden or left out of the name enumeration.
class FilterDetailsApi : public DetailsApi {
public:
    static constexpr const char TypeId[] = "FilterDetailsApi";

    // The item whose details are the base (borrowed), or null for none. Once only: 1247
    // the second time. Nonzero on success.
    virtual int32_t LUMO_CALL SetBase(UrlApi* url) = 0;
    // name stays readable through GetValue but is not listed by GetFirstName / GetNextName.
    virtual int32_t LUMO_CALL UnlistName(const char* name) = 0;
    // Overrides name; an empty value hides the property (GetValue then fails with 1168).
    virtual int32_t LUMO_CALL SetValue(const char* name, const char* value) = 0;
};

// Open flags of FilterContainerApi.
// Hide containers with nothing acceptable anywhere below them.
constexpr uint32_t c_FilterHideEmptyContainers = 1;
// Judge shortcuts by their targets instead of leaving them out.
constexpr uint32_t c_FilterFollowShortcuts = 2;

// Implemented by the host ("FilterContainerApi", a new object per request): a container whose
// children are filtered by content type.
class FilterContainerApi : public ContainerApi {
public:
    static constexpr const char TypeId[] = "FilterContainerApi";

    // Opens the container of url (borrowed) with a comma-separated list of content-type
    // patterns ("audio/*,x-container/*"; "!image/*" negates). Once only: 1247 the second time.
    virtual int32_t LUMO_CALL Open(UrlApi* url, const char* filter, uint32_t flags) = 0;
    // Text put in front of the scheme of every child handed out, and expected on the child
    // URLs given to FindChild and Refresh.
    virtual int32_t LUMO_CALL SetSchemePrefix(const char* prefix) = 0;
};

} // namespace LumoApi
