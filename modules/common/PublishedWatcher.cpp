#include "PublishedWatcher.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "PublishedStore.h"

using namespace LumoApi;

namespace LumoModules {

namespace {

// After a check the thread rests this long, so that a burst of own changes (publishing a
// large selection) costs one read of the set per rest instead of one per item.
constexpr std::chrono::milliseconds c_RestAfterCheck{100};

struct Subscriber {
    ContainerApi* container;
    ContainerCallbackApi* callback;
    bool operator==(const Subscriber&) const = default;
};

struct Change {
    int32_t event;
    std::string url;
};

std::vector<Change> Difference(const std::vector<std::string>& before, const std::vector<std::string>& after)
{
    std::vector<Change> changes;
    const std::unordered_set<std::string> afterSet(after.begin(), after.end());
    const std::unordered_set<std::string> beforeSet(before.begin(), before.end());
    for (const std::string& url : before) {
        if (!afterSet.count(url))
            changes.push_back({c_ChildRemoved, url});
    }
    for (const std::string& url : after) {
        if (!beforeSet.count(url))
            changes.push_back({c_ChildAdded, url});
    }
    return changes;
}

} // namespace

// Everything the thread touches; the thread holds it too, so it never outlives its state.
struct PublishedWatcher::Shared {
    Shared(std::string databasePath, std::string id, int32_t pollMs, UrlFactory factory)
        : store(std::move(databasePath)),
          classId(std::move(id)),
          pollInterval(std::max(pollMs, int32_t(1))),
          makeUrl(std::move(factory))
    {
    }

    PublishedStore store;
    const std::string classId;
    const std::chrono::milliseconds pollInterval;
    const UrlFactory makeUrl;

    // Guards subscribers, stop, wake and thread.
    std::mutex lock;
    std::condition_variable signal;
    std::vector<Subscriber> subscribers;
    bool stop = false;
    bool wake = false;
    std::thread thread;

    // Held for a whole check with its deliveries, so that the set is read and reported by one
    // thread at a time and Unsubscribe can wait for a delivery under way. Recursive: a
    // callback may unsubscribe. Guards version, snapshot and haveSnapshot.
    std::recursive_mutex deliverLock;
    int64_t version = 0;
    std::vector<std::string> snapshot;
    bool haveSnapshot = false;

    bool IsSubscribed(const Subscriber& subscriber)
    {
        std::lock_guard<std::mutex> guard(lock);
        return std::find(subscribers.begin(), subscribers.end(), subscriber) != subscribers.end();
    }

    // Caller holds deliverLock.
    void Baseline()
    {
        version = store.ReadUrls(classId, snapshot);
        haveSnapshot = true;
    }

    // Caller holds deliverLock.
    void CheckAndDeliver()
    {
        std::vector<Subscriber> receivers;
        {
            std::lock_guard<std::mutex> guard(lock);
            receivers = subscribers;
        }
        if (receivers.empty())
            return;
        if (!haveSnapshot) {
            Baseline();
            return;
        }
        if (store.DataVersion() == version)
            return;
        std::vector<std::string> urls;
        const int64_t newVersion = store.ReadUrls(classId, urls);
        const std::vector<Change> changes = Difference(snapshot, urls);
        snapshot = std::move(urls);
        version = newVersion;
        for (const Change& change : changes) {
            ApiRef<UrlApi> url;
            try {
                url = makeUrl(change.url);
            } catch (...) {
                continue;
            }
            for (const Subscriber& receiver : receivers) {
                if (IsSubscribed(receiver))
                    receiver.callback->OnNotify(receiver.container, change.event, url.Get());
            }
        }
    }

    void Check() noexcept
    {
        try {
            std::lock_guard<std::recursive_mutex> guard(deliverLock);
            CheckAndDeliver();
        } catch (...) {
            // A busy or unreadable database is read again at the next poll.
        }
    }

    static void Run(std::shared_ptr<Shared> self)
    {
        for (;;) {
            {
                std::unique_lock<std::mutex> guard(self->lock);
                if (self->subscribers.empty())
                    self->signal.wait(guard, [&] { return self->stop || !self->subscribers.empty(); });
                else
                    self->signal.wait_for(guard, self->pollInterval, [&] { return self->stop || self->wake; });
                if (self->stop)
                    return;
                self->wake = false;
            }
            self->Check();
            std::unique_lock<std::mutex> guard(self->lock);
            if (self->signal.wait_for(guard, c_RestAfterCheck, [&] { return self->stop; }))
                return;
        }
    }
};

PublishedWatcher::PublishedWatcher(
    std::string databasePath, std::string classId, int32_t pollIntervalMs, UrlFactory makeUrl)
    : m_shared(
        std::make_shared<Shared>(std::move(databasePath), std::move(classId), pollIntervalMs, std::move(makeUrl)))
{
}

PublishedWatcher::~PublishedWatcher()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->stop = true;
        thread = std::move(m_shared->thread);
    }
    m_shared->signal.notify_all();
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

void PublishedWatcher::Subscribe(ContainerApi* container, ContainerCallbackApi* callback)
{
    Shared& shared = *m_shared;
    std::lock_guard<std::recursive_mutex> deliver(shared.deliverLock);
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        first = shared.subscribers.empty();
    }
    // The newcomer's picture starts now: the others first hear what they have not heard yet.
    if (first || !shared.haveSnapshot)
        shared.Baseline();
    else
        shared.CheckAndDeliver();
    {
        std::lock_guard<std::mutex> guard(shared.lock);
        shared.subscribers.push_back({container, callback});
        if (!shared.thread.joinable() && !shared.stop)
            shared.thread = std::thread(&Shared::Run, m_shared);
    }
    shared.signal.notify_all();
}

void PublishedWatcher::Unsubscribe(ContainerApi* container, ContainerCallbackApi* callback)
{
    Shared& shared = *m_shared;
    std::lock_guard<std::recursive_mutex> deliver(shared.deliverLock);
    std::lock_guard<std::mutex> guard(shared.lock);
    auto found = std::find(shared.subscribers.begin(), shared.subscribers.end(), Subscriber{container, callback});
    if (found != shared.subscribers.end())
        shared.subscribers.erase(found);
    // With nobody listening the picture goes stale; the next subscriber takes a new one.
    if (shared.subscribers.empty())
        shared.haveSnapshot = false;
}

void PublishedWatcher::Wake()
{
    {
        std::lock_guard<std::mutex> guard(m_shared->lock);
        m_shared->wake = true;
    }
    m_shared->signal.notify_all();
}

} // namespace LumoModules
