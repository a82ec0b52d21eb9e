#include "FilteredFolder.h"

#include <algorithm>

#include "ClassUrls.h"
#include "ModuleGuard.h"

using namespace LumoApi;

namespace LumoModules {

namespace {

std::string TextOf(UrlApi* url)
{
    const char* text = url ? url->GetText() : nullptr;
    return text ? text : "";
}

ApiRef<ContainerApi> OpenContainer(HostLink& link, const std::string& text)
{
    ApiRef<MediaApi> media = link.Get<MediaApi>();
    ApiRef<UrlApi> url = link.NewUrl(text);
    ApiRef<ContainerApi> container
        = ApiRef<ContainerApi>::Adopt(static_cast<ContainerApi*>(media->GetApi(ContainerApi::TypeId, url.Get())));
    if (!container)
        ThrowLastError();
    return container;
}

// Ends an enumeration: null with 259 at the end, or the failure the base left.
void RequireNormalEnd()
{
    const uint32_t code = LumoGetLastError();
    if (code != ERROR_NO_MORE_ITEMS)
        throw ClassError(code ? code : ERROR_INTERNAL_ERROR);
}

} // namespace

void HostFolderLister::List(const std::string& folderUrl, const std::function<bool(FolderChild&)>& visit)
{
    ApiRef<ContainerApi> container = OpenContainer(m_state.Link(), folderUrl);
    CancelGroup::Entry listed(m_cancel, container.Get());
    for (ApiRef<UrlApi> child = ApiRef<UrlApi>::Adopt(container->GetFirst()); child;
         child = ApiRef<UrlApi>::Adopt(container->GetNext())) {
        FolderChild entry;
        entry.url = TextOf(child.Get());
        const std::optional<std::string> path = LocalPathOfFileUrl(entry.url);
        if (!path)
            continue;
        entry.path = *path;
        entry.kind = m_state.KindOf(child.Get());
        if (!visit(entry))
            return;
    }
    if (m_cancel.Flag().load())
        throw ClassError(LumoApi::ERROR_CANCELLED);
    RequireNormalEnd();
}

FilteredFolder::FilteredFolder(std::shared_ptr<MediaClassState> state, const std::string& prefixedText)
    : m_state(std::move(state)),
      m_path(LocalPathOfFileUrl(StripClassPrefix(prefixedText, m_state->Config().scheme)).value_or(std::string())),
      m_plainText(StripClassPrefix(prefixedText, m_state->Config().scheme))
{
    if (m_path.empty())
        throw ClassError(ERROR_INVALID_PARAMETER);
    m_base = OpenContainer(m_state->Link(), m_plainText);
}

FilteredFolder::~FilteredFolder()
{
    if (m_baseSubscribed)
        m_base->Unsubscribe(&m_relay);
}

ApiRef<UrlApi> FilteredFolder::Prefixed(UrlApi* child) const
{
    const std::string text = TextOf(child);
    ApiRef<UrlApi> prefixed = m_state->Link().NewUrl(m_state->Prefix() + text);
    // The prefixed URL names the same file: it carries what the listing saw. When the lister
    // gave nothing, one look here spares the class's Identify and the media module's details
    // theirs.
    const ListedFacts& listed = m_state->Link().Listed();
    if (listed.Available()) {
        std::optional<ListedFile> record = listed.Read(child);
        if (!record) {
            if (const std::optional<std::string> path = LocalPathOfFileUrl(text))
                record = StatListedFile(path->c_str());
        }
        if (record)
            listed.Attach(prefixed.Get(), *record);
    }
    return prefixed;
}

ApiRef<UrlApi> FilteredFolder::Plain(UrlApi* child) const
{
    const std::string text = TextOf(child);
    if (!HasClassPrefix(text, m_state->Config().scheme))
        throw ClassError(ERROR_INVALID_PARAMETER);
    return m_state->Link().NewUrl(StripClassPrefix(text, m_state->Config().scheme));
}

bool FilteredFolder::Accepts(UrlApi* child, FolderLister& lister, const std::atomic<bool>& cancelled)
{
    const std::optional<std::string> path = LocalPathOfFileUrl(TextOf(child));
    if (!path)
        return false;
    switch (m_state->KindOf(child)) {
    case ChildKind::Media:
        return true;
    case ChildKind::Folder: {
        std::vector<FolderIdentity> onPath;
        FolderStamp own;
        if (MediaJudge::StatFolder(m_path, own))
            onPath.push_back({own.device, own.inode});
        MediaJudge judge(m_state->Memo(), lister, cancelled);
        return judge.HoldsMedia(TextOf(child), *path, onPath).hasMedia;
    }
    case ChildKind::Other:
        break;
    }
    return false;
}

ApiRef<UrlApi> FilteredFolder::NextAccepted(ApiRef<UrlApi> child)
{
    for (; child; child = ApiRef<UrlApi>::Adopt(m_base->GetNext())) {
        if (m_cancel.Flag().load())
            throw ClassError(LumoApi::ERROR_CANCELLED);
        bool accepted = false;
        try {
            accepted = Accepts(child.Get(), m_lister, m_cancel.Flag());
        } catch (const ClassError& error) {
            if (error.Code() == LumoApi::ERROR_CANCELLED || error.Code() == ERROR_NOT_ENOUGH_MEMORY)
                throw;
            // One child that cannot be judged never hides the rest of the folder.
        }
        if (accepted)
            return Prefixed(child.Get());
    }
    if (m_cancel.Flag().load())
        throw ClassError(LumoApi::ERROR_CANCELLED);
    RequireNormalEnd();
    LumoSetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
}

UrlApi* LUMO_CALL FilteredFolder::GetFirst()
{
    return Guard<UrlApi*>(nullptr, [&] {
        m_cancel.Reset();
        CancelGroup::Entry listed(m_cancel, m_base.Get());
        return NextAccepted(ApiRef<UrlApi>::Adopt(m_base->GetFirst())).Detach();
    });
}

UrlApi* LUMO_CALL FilteredFolder::GetNext()
{
    return Guard<UrlApi*>(nullptr, [&] {
        CancelGroup::Entry listed(m_cancel, m_base.Get());
        return NextAccepted(ApiRef<UrlApi>::Adopt(m_base->GetNext())).Detach();
    });
}

int32_t LUMO_CALL FilteredFolder::Cancel()
{
    return Guard(0, [&] {
        m_cancel.Cancel();
        return 1;
    });
}

UrlApi* LUMO_CALL FilteredFolder::FindChild(UrlApi* child)
{
    return Guard<UrlApi*>(nullptr, [&]() -> UrlApi* {
        ApiRef<UrlApi> found = ApiRef<UrlApi>::Adopt(m_base->FindChild(Plain(child).Get()));
        if (!found)
            ThrowLastError();
        return Prefixed(found.Get()).Detach();
    });
}

int32_t LUMO_CALL FilteredFolder::Refresh(UrlApi* child)
{
    return Guard(0, [&] {
        const int32_t done = m_base->Refresh(child ? Plain(child).Get() : nullptr);
        if (!done)
            ThrowLastError();
        return done;
    });
}

int32_t LUMO_CALL FilteredFolder::Subscribe(ContainerCallbackApi* callback, uint8_t flags)
{
    return Guard(0, [&] {
        if (!callback)
            throw ClassError(ERROR_INVALID_PARAMETER);
        std::lock_guard<std::recursive_mutex> subscribing(m_subscribeLock);
        bool subscribeBase = false;
        {
            std::lock_guard<std::recursive_mutex> notifying(m_notifyLock);
            subscribeBase = !m_baseSubscribed;
        }
        // Outside the notify lock: the base may notify from its own thread while it subscribes.
        if (subscribeBase && !m_base->Subscribe(&m_relay, flags))
            ThrowLastError();
        std::lock_guard<std::recursive_mutex> notifying(m_notifyLock);
        m_baseSubscribed = true;
        m_subscribers.push_back(callback);
        return 1;
    });
}

void LUMO_CALL FilteredFolder::Unsubscribe(ContainerCallbackApi* callback)
{
    Guard(0, [&] {
        std::lock_guard<std::recursive_mutex> subscribing(m_subscribeLock);
        bool last = false;
        {
            std::lock_guard<std::recursive_mutex> notifying(m_notifyLock);
            auto found = std::find(m_subscribers.begin(), m_subscribers.end(), callback);
            if (found == m_subscribers.end())
                return 0;
            m_subscribers.erase(found);
            last = m_subscribers.empty() && m_baseSubscribed;
            if (last)
                m_baseSubscribed = false;
        }
        // Outside the notify lock: the base waits for its notification under way, which may be
        // waiting for that lock.
        if (last)
            m_base->Unsubscribe(&m_relay);
        return 0;
    });
}

void FilteredFolder::Notify(int32_t event, UrlApi* child)
{
    std::lock_guard<std::recursive_mutex> notifying(m_notifyLock);
    const std::vector<ContainerCallbackApi*> receivers = m_subscribers;
    for (ContainerCallbackApi* receiver : receivers) {
        if (std::find(m_subscribers.begin(), m_subscribers.end(), receiver) != m_subscribers.end())
            receiver->OnNotify(this, event, child);
    }
}

void LUMO_CALL FilteredFolder::Relay::OnNotify(ContainerApi*, int32_t event, UrlApi* child)
{
    Guard(0, [&] {
        FilteredFolder& owner = m_owner;
        if (TextOf(child).empty()) {
            owner.Notify(event, nullptr);
            return 0;
        }
        ApiRef<UrlApi> prefixed = owner.Prefixed(child);
        if (event == c_ChildRemoved) {
            owner.Notify(event, prefixed.Get());
            return 0;
        }
        // This thread is the folders module's: it gets a lister and a judge of its own.
        CancelGroup never;
        HostFolderLister lister(*owner.m_state, never);
        bool accepted = false;
        try {
            accepted = owner.Accepts(child, lister, never.Flag());
        } catch (const ClassError&) {
            // Not judged: treated as not acceptable, as in a listing.
        }
        if (accepted)
            owner.Notify(event, prefixed.Get());
        else if (event == c_ContainerChanged)
            // A child that no longer holds media leaves the view.
            owner.Notify(c_ChildRemoved, prefixed.Get());
        return 0;
    });
}

} // namespace LumoModules
