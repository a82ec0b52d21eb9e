// The container of a prefixed folder ("lumomusic-file:///home/me/Music"): the folder's
// children that are media of the class, and its subfolders that hold such media somewhere
// below, each with the class prefix on its scheme. Notifications of the folder pass through
// the same judgement.
//
// One thread at a time enumerates; Cancel may come from any thread. Subscribers hear from
// the folders module's watching thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <lumo/DllSupport.h>
#include <lumo/Lumo.h>

#include "MediaClassState.h"

namespace LumoModules {

// Lists folders through the host's containers, judging each child's kind by its content type.
class HostFolderLister : public FolderLister {
public:
    HostFolderLister(MediaClassState& state, CancelGroup& cancel) : m_state(state), m_cancel(cancel) { }
    void List(const std::string& folderUrl, const std::function<bool(FolderChild&)>& visit) override;

private:
    MediaClassState& m_state;
    CancelGroup& m_cancel;
};

class FilteredFolder : public LumoApi::DllRefCounted<LumoApi::ContainerApi> {
public:
    // Raises when the folder has no container (it is gone or cannot be read).
    FilteredFolder(std::shared_ptr<MediaClassState> state, const std::string& prefixedText);
    ~FilteredFolder() override;

    LumoApi::UrlApi* LUMO_CALL GetFirst() override;
    LumoApi::UrlApi* LUMO_CALL GetNext() override;
    int32_t LUMO_CALL Cancel() override;
    LumoApi::UrlApi* LUMO_CALL FindChild(LumoApi::UrlApi* child) override;
    int32_t LUMO_CALL Refresh(LumoApi::UrlApi* child) override;
    int32_t LUMO_CALL Subscribe(LumoApi::ContainerCallbackApi* callback, uint8_t flags) override;
    void LUMO_CALL Unsubscribe(LumoApi::ContainerCallbackApi* callback) override;

private:
    // Hears the plain folder's notifications and passes on those about acceptable children.
    class Relay : public LumoApi::RefNeutral<LumoApi::ContainerCallbackApi> {
    public:
        explicit Relay(FilteredFolder& owner) : m_owner(owner) { }
        void LUMO_CALL OnNotify(LumoApi::ContainerApi* container, int32_t event, LumoApi::UrlApi* child) override;

    private:
        FilteredFolder& m_owner;
    };

    // The first child from child (adopted) on that passes, prefixed; null at the end.
    LumoApi::ApiRef<LumoApi::UrlApi> NextAccepted(LumoApi::ApiRef<LumoApi::UrlApi> child);
    bool Accepts(LumoApi::UrlApi* child, FolderLister& lister, const std::atomic<bool>& cancelled);
    LumoApi::ApiRef<LumoApi::UrlApi> Prefixed(LumoApi::UrlApi* child) const;
    LumoApi::ApiRef<LumoApi::UrlApi> Plain(LumoApi::UrlApi* child) const;
    void Notify(int32_t event, LumoApi::UrlApi* child);

    const std::shared_ptr<MediaClassState> m_state;
    const std::string m_path;
    const std::string m_plainText;
    LumoApi::ApiRef<LumoApi::ContainerApi> m_base;

    // The enumerating thread's, but for Cancel.
    CancelGroup m_cancel;
    HostFolderLister m_lister{*m_state, m_cancel};

    Relay m_relay{*this};
    // Held by Subscribe and Unsubscribe for their whole run, so that the plain folder sees
    // them in the order they were asked. Recursive: a subscriber may unsubscribe while notified.
    std::recursive_mutex m_subscribeLock;
    // Held while notifying; guards m_subscribers and m_baseSubscribed. Recursive for the same
    // reason.
    std::recursive_mutex m_notifyLock;
    std::vector<LumoApi::ContainerCallbackApi*> m_subscribers;
    bool m_baseSubscribed = false;
};

} // namespace LumoModules
