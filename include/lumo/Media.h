// Formats, media handlers, details, containers and media classes.
#pragma once

#include "Api.h"

namespace LumoApi {

class UrlApi;
class DataApi;

// One format a FormatApi knows. The texts are the module's and stay valid while it lives.
struct FormatInfo {
    // "major/minor", e.g. "audio/mpeg".
    const char* contentType;
    // Comma-separated, each with its leading dot: ".mp3,.mp2".
    const char* extensions;
    // Text for people; may be null.
    const char* description;
};

static_assert(sizeof(FormatInfo) == 3 * sizeof(const char*), "FormatInfo is three pointers");
static_assert(offsetof(FormatInfo, contentType) == 0, "FormatInfo layout is fixed");
static_assert(offsetof(FormatInfo, extensions) == sizeof(const char*), "FormatInfo layout is fixed");
static_assert(offsetof(FormatInfo, description) == 2 * sizeof(const char*), "FormatInfo layout is fixed");

// Names content types. Implemented by modules, and by the host over all of them.
class FormatApi : public Api {
public:
    static constexpr const char TypeId[] = "FormatApi";

    // Number of formats.
    virtual int32_t LUMO_CALL GetFormatCount() = 0;
    // Fills info for the format at index. Nonzero on success; 0 with 1413 for a bad index.
    virtual int32_t LUMO_CALL GetFormat(int32_t index, FormatInfo* info) = 0;
    // Index of the format that url (and its data, both borrowed) is in, or -1 when not
    // recognised. Called on the interface thread and on enumeration threads.
    virtual int32_t LUMO_CALL Identify(UrlApi* url, DataApi* data) = 0;
};

// Implemented by the host ("FormatLookupApi"; RefNeutral): who claims one extension, and what
// type an item is, without the whole list of formats. The index FormatApi's Identify answers,
// and its GetFormatCount, make the host read the system's entire file-type database first,
// which costs more than a listing's work; a module asks here instead. Older hosts answer null
// with 87 for this type id: use FormatApi then.
class FormatLookupApi : public Api {
public:
    static constexpr const char TypeId[] = "FormatLookupApi";

    // The content types, lower case and comma-separated, of the formats among the host's
    // FormatApi formats whose extensions include extension (".jpg", any case), in that API's
    // order; "" when none does. Borrowed; valid while the host lives. Null with 87 for a null
    // or empty extension. Any thread.
    virtual const char* LUMO_CALL GetTypesOfExtension(const char* extension) = 0;
    // The content type of url (and its data, both borrowed; data may be null), lower case, as
    // FormatApi's Identify and GetFormat would name it; "" when no format places it. Borrowed;
    // valid while the host lives. Null with a last error on failure. Any thread.
    virtual const char* LUMO_CALL DecideContentType(UrlApi* url, DataApi* data) = 0;
};

// Hands out the APIs of items of the content types it handles. Implemented by modules, and
// by the host, which decides an item's type and asks the module that handles it.
class MediaApi : public Api {
public:
    static constexpr const char TypeId[] = "MediaApi";

    // Comma-separated content types handled (at least one). Borrowed.
    virtual const char* LUMO_CALL GetContentTypes() = 0;
    // Comma-separated further types, or null for none. Borrowed.
    virtual const char* LUMO_CALL GetSecondaryTypes() = 0;
    // The item's API of type type_id ("DetailsApi", "ContainerApi", "FileViewApi",
    // "ImageApi"): a new reference, or null with a last error (1630 when no module handles
    // the item's type). url is borrowed. Any thread.
    virtual Api* LUMO_CALL GetApi(const char* type_id, UrlApi* url) = 0;
};

// An item's properties: name/value texts ("Title", "FileName", "ContentType", ...).
// Text results are borrowed and valid until the next call on the same object.
class DetailsApi : public Api {
public:
    static constexpr const char TypeId[] = "DetailsApi";

    // First property name, or null with 259 when there is none.
    virtual const char* LUMO_CALL GetFirstName() = 0;
    // Next property name, or null with 259 at the end.
    virtual const char* LUMO_CALL GetNextName() = 0;
    // Value of name; null with last error 0 or 1168 when the item has no such property,
    // null with any other code on failure.
    virtual const char* LUMO_CALL GetValue(const char* name) = 0;
};

class ContainerApi;

// Event numbers of ContainerCallbackApi::OnNotify.
constexpr int32_t c_ChildAdded = 0;
constexpr int32_t c_ChildRemoved = 1;
// With a null or empty child URL: the container as a whole changed; list it again.
constexpr int32_t c_ContainerChanged = 2;

// Implemented by whoever subscribes to a container (the host's container wrapper).
class ContainerCallbackApi : public Api {
public:
    static constexpr const char TypeId[] = "ContainerCallbackApi";

    // container changed: event c_ChildAdded, c_ChildRemoved or c_ContainerChanged for child
    // (borrowed; may be null for a whole-container change). Called on whatever thread the
    // module watches on; the receiver only queues the news.
    virtual void LUMO_CALL OnNotify(ContainerApi* container, int32_t event, UrlApi* child) = 0;
};

// The children of a container item (folder, playlist, root, published set).
class ContainerApi : public Api {
public:
    static constexpr const char TypeId[] = "ContainerApi";

    // URL of the first child: a new reference, or null with 259 when empty (any other code is
    // a failure). Restarts the enumeration.
    virtual UrlApi* LUMO_CALL GetFirst() = 0;
    // URL of the next child, or null with 259 at the end.
    virtual UrlApi* LUMO_CALL GetNext() = 0;
    // Asks an enumeration that another thread runs through GetFirst / GetNext to stop soon.
    // Any thread; the answer is ignored.
    virtual int32_t LUMO_CALL Cancel() = 0;
    // The URL under which this container lists child (borrowed): a new reference, or null
    // with 1168 when child is not one of its children. A container that cannot tell answers
    // null with 1.
    virtual UrlApi* LUMO_CALL FindChild(UrlApi* child) = 0;
    // Reads child (borrowed) again and notifies subscribers of what changed; a null child
    // means the whole container. Nonzero on success; 0 with 1 when not supported.
    virtual int32_t LUMO_CALL Refresh(UrlApi* child) = 0;
    // Calls callback (borrowed; kept until Unsubscribe) when the children change. flags: 0.
    // Nonzero on success.
    virtual int32_t LUMO_CALL Subscribe(ContainerCallbackApi* callback, uint8_t flags) = 0;
    // Stops the calls to callback. After it returns no call to callback is under way.
    virtual void LUMO_CALL Unsubscribe(ContainerCallbackApi* callback) = 0;
};

// A media class ("LumoMusic", "LumoPhotos"): what may be published and what is.
// Can* operations answer 0 with 1629 for a plain "no"; any other code is a failure.
class MediaClassApi : public Api {
public:
    static constexpr const char TypeId[] = "MediaClassApi";

    // The container of the media available for publishing: a new reference.
    virtual UrlApi* LUMO_CALL GetFirstRoot() = 0;
    // The container of the published media: a new reference. It notifies its subscribers of
    // every change to the published set, whoever made it.
    virtual UrlApi* LUMO_CALL GetSecondRoot() = 0;
    virtual int32_t LUMO_CALL CanPublish(UrlApi* item) = 0;
    virtual int32_t LUMO_CALL CanUnpublish(UrlApi* item) = 0;
    // Adds item to the published set; text may be null. Answers the URL of the new entry (a
    // new reference), or null with a last error.
    virtual UrlApi* LUMO_CALL Publish(UrlApi* item, const char* text) = 0;
    // Removes a published entry; answers the URL of the item it stood for (a new reference),
    // so that publishing that URL undoes the change; null with a last error on failure.
    virtual UrlApi* LUMO_CALL Unpublish(UrlApi* item) = 0;
};

} // namespace LumoApi
