#include "FolderContainer.h"

#include <cerrno>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "FolderPaths.h"
#include "FolderWatcher.h"
#include "Guard.h"
#include "KnownEntries.h"

using namespace LumoApi;

namespace LumoFolders {

namespace {

// What the listing saw, for the modules that look at the child next.
ListedFile RecordOf(const EntryState& state)
{
    ListedFile record{};
    record.size = sizeof record;
    record.flags = c_ListedReadable | (state.hasBirthTime ? c_ListedBirthTime : 0);
    record.fileType = state.isFolder ? c_ListedFolder : c_ListedRegular;
    record.sizeBytes = uint64_t(state.sizeBytes);
    record.modifiedNs = state.mtimeNs;
    record.changedNs = state.ctimeNs;
    record.createdNs = state.btimeNs;
    record.device = state.device;
    record.inode = state.inode;
    return record;
}

} // namespace

FolderContainer::FolderContainer(UrlMaker urls, std::string path)
    : m_urls(std::move(urls)), m_path(std::move(path)), m_childUrlPrefix(FileUrlText(m_path) + "/")
{
}

FolderContainer::~FolderContainer()
{
    // A subscriber that never unsubscribed must not be called with a freed container.
    try {
        FolderWatcher::Instance().UnsubscribeAll(this);
    } catch (...) {
    }
}

UrlApi* FolderContainer::NextChild()
{
    while (m_entries && m_next < m_entries->size() && !m_cancel.load(std::memory_order_relaxed)) {
        const FolderEntry& entry = (*m_entries)[m_next++];
        EntryState state;
        if (m_reader.Lists(entry, &state)) {
            std::string text = m_childUrlPrefix;
            AppendUrlEscaped(text, entry.name);
            ApiRef<UrlApi> child = m_urls.Make(text);
            Listed().Attach(child.Get(), RecordOf(state));
            return child.Detach();
        }
    }
    m_reader.Close();
    m_entries.reset();
    m_next = 0;
    LumoSetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
}

UrlApi* LUMO_CALL FolderContainer::GetFirst()
{
    return Guard<UrlApi*>(nullptr, [&]() -> UrlApi* {
        m_cancel.store(false, std::memory_order_relaxed);
        m_entries.reset();
        m_next = 0;
        if (const int error = m_reader.Open(m_path))
            throw FolderError(CodeFromErrno(error));
        auto entries = std::make_shared<std::vector<FolderEntry>>();
        const int error = m_reader.ReadNames(*entries, &m_cancel);
        if (error == 0)
            RememberListing(m_path, entries);
        else if (error != ECANCELED)
            throw FolderError(CodeFromErrno(error));
        m_entries = std::move(entries);
        return NextChild();
    });
}

UrlApi* LUMO_CALL FolderContainer::GetNext()
{
    return Guard<UrlApi*>(nullptr, [&] { return NextChild(); });
}

int32_t LUMO_CALL FolderContainer::Cancel()
{
    m_cancel.store(true, std::memory_order_relaxed);
    return 1;
}

UrlApi* LUMO_CALL FolderContainer::FindChild(UrlApi* child)
{
    return Guard<UrlApi*>(nullptr, [&]() -> UrlApi* {
        std::string path;
        if (!PathOfFileUrl(child, path) || ParentOf(path) != m_path)
            throw FolderError(ERROR_NOT_FOUND);
        const std::string name = LeafOf(path);
        if (name.empty() || name[0] == '.')
            throw FolderError(ERROR_NOT_FOUND);
        FolderReader reader;
        if (const int error = reader.Open(m_path))
            throw FolderError(CodeFromErrno(error));
        if (!reader.Lists(FolderEntry{name, DT_UNKNOWN}))
            throw FolderError(ERROR_NOT_FOUND);
        return m_urls.MakeFileUrl(path).Detach();
    });
}

int32_t LUMO_CALL FolderContainer::Refresh(UrlApi* child)
{
    return Guard(0, [&]() -> int32_t {
        std::string name;
        if (child) {
            std::string path;
            if (!PathOfFileUrl(child, path) || ParentOf(path) != m_path)
                throw FolderError(ERROR_NOT_FOUND);
            name = LeafOf(path);
        }
        FolderWatcher::Instance().Refresh(m_path, name);
        return 1;
    });
}

int32_t LUMO_CALL FolderContainer::Subscribe(ContainerCallbackApi* callback, uint8_t)
{
    return Guard(0, [&]() -> int32_t {
        FolderWatcher::Instance().Subscribe(m_path, this, callback);
        return 1;
    });
}

void LUMO_CALL FolderContainer::Unsubscribe(ContainerCallbackApi* callback)
{
    Guard(0, [&] {
        FolderWatcher::Instance().Unsubscribe(this, callback);
        return 0;
    });
}

} // namespace LumoFolders
