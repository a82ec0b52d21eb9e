// Tells the subscribers of a published set about every change to it, whoever made it: this
// process, the other module of it, or another process. One thread reads the database's data
// version (cheap) at every poll while anyone is subscribed, and on a change reads the set and
// reports the difference: removals first, then additions in set order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <lumo/Lumo.h>

namespace LumoModules {

class PublishedWatcher {
public:
    // Makes the URL handed to OnNotify; may raise, and the change is then not reported.
    using UrlFactory = std::function<LumoApi::ApiRef<LumoApi::UrlApi>(const std::string&)>;

    // Opens its own connection to databasePath on the first subscription.
    PublishedWatcher(std::string databasePath, std::string classId, int32_t pollIntervalMs, UrlFactory makeUrl);
    // Stops the thread and waits for it, unless called on that thread itself (a callback
    // releasing the last reference), which then ends on its own.
    ~PublishedWatcher();
    PublishedWatcher(const PublishedWatcher&) = delete;
    PublishedWatcher& operator=(const PublishedWatcher&) = delete;

    // From then on callback->OnNotify(container, event, url) runs on the watcher's thread (or
    // on a thread calling Subscribe) for each change after this call. container and callback
    // are borrowed until Unsubscribe. Raises ClassError when the set cannot be read.
    void Subscribe(LumoApi::ContainerApi* container, LumoApi::ContainerCallbackApi* callback);
    // After it returns, no call to callback is under way. A callback may call it.
    void Unsubscribe(LumoApi::ContainerApi* container, LumoApi::ContainerCallbackApi* callback);
    // Checks soon instead of at the next poll: this process changed the set.
    void Wake();

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace LumoModules
