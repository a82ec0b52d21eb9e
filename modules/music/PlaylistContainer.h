// The "ContainerApi" of a playlist: its entries in order, as the URLs PlaylistResolver makes.
// The list is read again at every GetFirst, so an edited playlist shows its new entries.
//
// GetFirst and GetNext run on one enumeration thread at a time; Cancel may come from any
// thread meanwhile; Subscribe, Unsubscribe and Refresh from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <lumo/DllSupport.h>
#include <lumo/Media.h>
#include <lumo/Url.h>

#include "MusicPaths.h"
#include "PlaylistReader.h"
#include "PlaylistResolver.h"

namespace LumoMusic {

class PlaylistContainer : public LumoApi::DllRefCounted<LumoApi::ContainerApi> {
public:
    explicit PlaylistContainer(LocalFile playlist);

    // A playlist whose file is gone lists nothing (null with 259); one that cannot be read
    // fails with the file system's code. After Cancel the enumeration ends as at its end.
    LumoApi::UrlApi* LUMO_CALL GetFirst() override;
    LumoApi::UrlApi* LUMO_CALL GetNext() override;
    int32_t LUMO_CALL Cancel() override;
    // child itself (a new reference) when the list holds an entry of its URL text; null with
    // 1168 otherwise. Reads the list.
    LumoApi::UrlApi* LUMO_CALL FindChild(LumoApi::UrlApi* child) override;
    // Tells subscribers to list the playlist again (c_ContainerChanged, no child).
    int32_t LUMO_CALL Refresh(LumoApi::UrlApi* child) override;
    // The playlist's file is not watched: notifications come from Refresh only.
    int32_t LUMO_CALL Subscribe(LumoApi::ContainerCallbackApi* callback, uint8_t flags) override;
    void LUMO_CALL Unsubscribe(LumoApi::ContainerCallbackApi* callback) override;

private:
    // The entries of the list as it is now; raises MusicError for a list that cannot be read.
    std::vector<PlaylistEntry> ReadEntries() const;
    LumoApi::UrlApi* NextChild();

    const LocalFile m_playlist;
    std::atomic<bool> m_cancelled{false};

    // Guards the enumeration: m_entries, m_resolver, m_next, m_started.
    std::mutex m_lock;
    std::vector<PlaylistEntry> m_entries;
    std::unique_ptr<PlaylistResolver> m_resolver;
    size_t m_next = 0;
    bool m_started = false;

    // Guards m_subscribers; held while they are called, so Unsubscribe waits for a call under
    // way to end.
    std::mutex m_subscribersLock;
    std::vector<LumoApi::ApiRef<LumoApi::ContainerCallbackApi>> m_subscribers;
};

} // namespace LumoMusic
