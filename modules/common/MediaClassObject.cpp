#include "MediaClassObject.h"

#include "ClassUrls.h"
#include "ModuleGuard.h"

using namespace LumoApi;

namespace LumoModules {

namespace {

std::string TextOf(UrlApi* url)
{
    const char* text = url ? url->GetText() : nullptr;
    if (!text)
        throw ClassError(ERROR_INVALID_PARAMETER);
    return text;
}

// What the media server shows: the text given, else the name without its extension for a
// file and the whole name for a folder ("Live.2003").
std::string TitleOf(const ClassItem& item, const char* text)
{
    if (text && *text)
        return text;
    std::string name = LeafName(item.path);
    if (item.kind == ClassItem::Kind::Media) {
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            name.erase(dot);
    }
    return name;
}

} // namespace

UrlApi* LUMO_CALL MediaClassObject::GetFirstRoot()
{
    return Guard<UrlApi*>(nullptr, [&] { return m_state->Link().NewUrl(m_state->RootsUrl()).Detach(); });
}

UrlApi* LUMO_CALL MediaClassObject::GetSecondRoot()
{
    return Guard<UrlApi*>(nullptr, [&] { return m_state->Link().NewUrl(m_state->PublishedUrl()).Detach(); });
}

int32_t LUMO_CALL MediaClassObject::CanPublish(UrlApi* item)
{
    return Guard(0, [&] {
        const ClassItem classItem = m_state->Classify(item);
        if (classItem.kind == ClassItem::Kind::None
            || m_state->Store().Find(m_state->Config().classId, classItem.entryUrl))
            throw ClassError(ERROR_DATATYPE_MISMATCH);
        return 1;
    });
}

int32_t LUMO_CALL MediaClassObject::CanUnpublish(UrlApi* item)
{
    return Guard(0, [&] {
        if (!m_state->Store().Find(m_state->Config().classId, m_state->EntryUrlOf(TextOf(item))))
            throw ClassError(ERROR_DATATYPE_MISMATCH);
        return 1;
    });
}

UrlApi* LUMO_CALL MediaClassObject::Publish(UrlApi* item, const char* text)
{
    return Guard<UrlApi*>(nullptr, [&] {
        const ClassItem classItem = m_state->Classify(item);
        if (classItem.kind == ClassItem::Kind::None)
            throw ClassError(classItem.refusal);
        // Made before the change, so that a failure to make it leaves the set as it was.
        ApiRef<UrlApi> entryUrl = m_state->Link().NewUrl(classItem.entryUrl);
        PublishedEntry entry;
        entry.url = classItem.entryUrl;
        entry.path = classItem.path;
        entry.title = TitleOf(classItem, text);
        entry.folder = classItem.kind == ClassItem::Kind::Folder;
        if (!m_state->Store().Add(m_state->Config().classId, entry))
            throw ClassError(LumoApi::ERROR_ALREADY_EXISTS);
        m_state->Watcher().Wake();
        return entryUrl.Detach();
    });
}

UrlApi* LUMO_CALL MediaClassObject::Unpublish(UrlApi* item)
{
    return Guard<UrlApi*>(nullptr, [&] {
        const std::string entryText = m_state->EntryUrlOf(TextOf(item));
        ApiRef<UrlApi> entryUrl = m_state->Link().NewUrl(entryText);
        if (!m_state->Store().Remove(m_state->Config().classId, entryText))
            throw ClassError(ERROR_NOT_FOUND);
        m_state->Watcher().Wake();
        return entryUrl.Detach();
    });
}

} // namespace LumoModules
