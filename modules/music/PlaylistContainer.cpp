#include "PlaylistContainer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "Guard.h"
#include "MusicState.h"
#include "support/SystemCodes.h"

using namespace LumoApi;

namespace LumoMusic {

PlaylistContainer::PlaylistContainer(LocalFile playlist) : m_playlist(std::move(playlist))
{
}

std::vector<PlaylistEntry> PlaylistContainer::ReadEntries() const
{
    std::string bytes;
    if (!ReadPlaylistFile(m_playlist.path, bytes)) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        throw MusicError(LumoModules::FileErrorCode(errno));
    }
    return ParsePlaylist(bytes, KindOfPlaylist(ExtensionOf(m_playlist.path), bytes));
}

UrlApi* PlaylistContainer::NextChild()
{
    while (m_next < m_entries.size() && !m_cancelled.load(std::memory_order_relaxed)) {
        const std::string text = m_resolver->UrlTextOf(m_entries[m_next++]);
        if (!text.empty())
            return MusicState::Instance().NewUrl(text).Detach();
    }
    LumoSetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
}

UrlApi* LUMO_CALL PlaylistContainer::GetFirst()
{
    return Guard<UrlApi*>(nullptr, [&] {
        std::lock_guard<std::mutex> lock(m_lock);
        m_cancelled.store(false, std::memory_order_relaxed);
        m_started = false;
        m_entries = ReadEntries();
        m_resolver = std::make_unique<PlaylistResolver>(m_playlist.path, m_playlist.prefix);
        m_next = 0;
        m_started = true;
        return NextChild();
    });
}

UrlApi* LUMO_CALL PlaylistContainer::GetNext()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_started)
            return Guard<UrlApi*>(nullptr, [&] { return NextChild(); });
    }
    // Nothing started yet: the first child is the next one.
    return GetFirst();
}

int32_t LUMO_CALL PlaylistContainer::Cancel()
{
    m_cancelled.store(true, std::memory_order_relaxed);
    return 1;
}

UrlApi* LUMO_CALL PlaylistContainer::FindChild(UrlApi* child)
{
    return Guard<UrlApi*>(nullptr, [&]() -> UrlApi* {
        const char* text = child ? child->GetText() : nullptr;
        if (!text)
            throw MusicError(ERROR_INVALID_PARAMETER);
        PlaylistResolver resolver(m_playlist.path, m_playlist.prefix);
        for (const PlaylistEntry& entry : ReadEntries()) {
            if (resolver.UrlTextOf(entry) == text)
                return ApiRef<UrlApi>::Share(child).Detach();
        }
        throw MusicError(ERROR_NOT_FOUND);
    });
}

int32_t LUMO_CALL PlaylistContainer::Refresh(UrlApi* /*child*/)
{
    return Guard(0, [&] {
        std::lock_guard<std::mutex> lock(m_subscribersLock);
        for (const ApiRef<ContainerCallbackApi>& subscriber : m_subscribers)
            subscriber->OnNotify(this, c_ContainerChanged, nullptr);
        return 1;
    });
}

int32_t LUMO_CALL PlaylistContainer::Subscribe(ContainerCallbackApi* callback, uint8_t /*flags*/)
{
    return Guard(0, [&] {
        if (!callback)
            throw MusicError(ERROR_INVALID_PARAMETER);
        std::lock_guard<std::mutex> lock(m_subscribersLock);
        m_subscribers.push_back(ApiRef<ContainerCallbackApi>::Share(callback));
        return 1;
    });
}

void LUMO_CALL PlaylistContainer::Unsubscribe(ContainerCallbackApi* callback)
{
    Guard(0, [&] {
        std::vector<ApiRef<ContainerCallbackApi>> leaving;
        std::lock_guard<std::mutex> lock(m_subscribersLock);
        auto kept = std::stable_partition(m_subscribers.begin(), m_subscribers.end(),
            [&](const ApiRef<ContainerCallbackApi>& subscriber) { return subscriber.Get() != callback; });
        std::move(kept, m_subscribers.end(), std::back_inserter(leaving));
        m_subscribers.erase(kept, m_subscribers.end());
        return 1;
    });
}

} // namespace LumoMusic
