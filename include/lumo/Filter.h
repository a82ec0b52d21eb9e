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
// children are filtered by content type. A child's "ContentType" must match the filter list; a
// shortcut (a child with a "ShellLinkTarget" property) is left out unless
// c_FilterFollowShortcuts is set, and is then judged by its target but handed out as itself. A
// child whose details or content type cannot be read is left out and the listing goes on, so
// one unreadable file never hides a whole folder. The search below a container never enters a
// container already on its path and stops 64 levels down.
// Before Open, GetFirst, GetNext, FindChild, Refresh, Subscribe and SetSchemePrefix fail with
// 1 and Cancel does nothing. After Cancel, GetNext answers null with 259; GetFirst starts
// afresh. Subscribe forwards to the opened container: notifications name it and its
// own child URLs. One thread at a time, except Cancel (any thread).
class FilterContainerApi : public ContainerApi {
public:
    static constexpr const char TypeId[] = "FilterContainerApi";

    // Opens the container of url (borrowed) with a comma-separated list of content-type
    // patterns ("audio/*,x-container/*"; "!image/*" negates; an empty list passes nothing).
    // Once only: 1247 the second time; 87 for a null url or filter; a url that is no
    // container leaves its module's error and the object unopened. Nonzero on success.
    virtual int32_t LUMO_CALL Open(UrlApi* url, const char* filter, uint32_t flags) = 0;
    // Text put in front of the scheme of every child handed out that has a scheme (and of
    // FindChild's answer); FindChild and Refresh expect it on a child URL that has a scheme
    // (87 otherwise) and pass the URL on without it. Null: 87. Nonzero on success.
    virtual int32_t LUMO_CALL SetSchemePrefix(const char* prefix) = 0;
};

} // namespace LumoApi
