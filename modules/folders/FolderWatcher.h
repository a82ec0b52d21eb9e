// Change notification for every subscribed folder of the module: one inotify descriptor and
// one watcher thread shared by all subscriptions, polling where inotify cannot see changes
// (network and FUSE file systems) or cannot be had (watch limit reached).
//
// Threads: callbacks run on the watcher thread only. It starts with the first subscription
// and leaves once the last one is gone; Shutdown, called when the module's last object goes,
// waits for it, so no thread of ours outlives the library.
//
// Locks: m_lock guards the subscription tables; it is never held while a callback runs or while
// a URL is made, so a callback may subscribe, unsubscribe, list or refresh. Unsubscribe waits
// (on m_lock's condition) for a callback of that subscription under way on the watcher thread:
// whoever calls Unsubscribe must not hold a lock that its callback takes, or both wait forever.
// A callback that unsubscribes itself returns at once: only its own call is under way.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <lumo/Media.h>

#include "FolderEvents.h"

namespace LumoFolders {

// Events of one folder are gathered until it has been quiet for c_CoalesceWindow, but for no
// longer than c_LongestWait; a polled folder is read every c_PollInterval.
constexpr std::chrono::milliseconds c_CoalesceWindow{100};
constexpr std::chrono::milliseconds c_LongestWait{1000};
constexpr std::chrono::milliseconds c_PollInterval{3000};

class FolderWatcher {
public:
    static FolderWatcher& Instance();
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // Reports changes of the folder at path to callback (borrowed, kept until Unsubscribe),
    // naming container (borrowed) as the notifier. Subscribing the same pair twice is one
    // subscription. Raises the system code when the folder cannot be watched at all.
    void Subscribe(const std::string& path, LumoApi::ContainerApi* container, LumoApi::ContainerCallbackApi* callback);
    // After it returns, no call to callback for container runs or will run (see above).
    void Unsubscribe(LumoApi::ContainerApi* container, LumoApi::ContainerCallbackApi* callback);
    // Every subscription of container, for its destructor.
    void UnsubscribeAll(LumoApi::ContainerApi* container);
    // Has the subscribers of path told what changed about name, or, for an empty name, that
    // the folder as a whole changed. Nothing when path has no subscribers.
    void Refresh(const std::string& path, const std::string& name);
    // Stops the watcher thread and waits for it, unless called on it. Any thread.
    void Shutdown();

private:
    using Clock = std::chrono::steady_clock;
    struct Folder;

    struct Subscription {
        LumoApi::ContainerApi* container;
        LumoApi::ContainerCallbackApi* callback;
        std::shared_ptr<Folder> folder;
        bool removed = false;
        // Callbacks under way on the watcher thread.
        int busy = 0;
    };

    struct Folder {
        std::string path;
        // The inotify watch, or -1 while polled.
        int wd = -1;
        std::vector<std::shared_ptr<Subscription>> subscriptions;
        // Touched names, not yet reported; flushAt is when they will be (Clock's epoch: none),
        // windowStart when the first of them came.
        ChangeSet pending;
        Clock::time_point flushAt{};
        Clock::time_point windowStart{};

        // Set (under m_lock) once the first subscriber has taken the snapshot; nothing is
        // reported before.
        bool snapshotTaken = false;
        // The fields below belong to the first subscriber until snapshotTaken is set, then to
        // the watcher thread alone.
        // What the subscribers' listing holds, as far as our news told them.
        ListedNames listed;
        bool listable = true;
        Clock::time_point nextPoll{};
    };

    FolderWatcher() = default;

    // m_lock held for all of these.
    void StartThreadLocked(std::unique_lock<std::mutex>& lock);
    void RemoveSubscriptionLocked(const std::shared_ptr<Subscription>& subscription);
    void WaitUntilIdleLocked(
        std::unique_lock<std::mutex>& lock, const std::vector<std::shared_ptr<Subscription>>& gone);
    void StopWatchingLocked(Folder& folder);
    // Only while no thread runs.
    void CloseDescriptorsLocked();
    void WakeLocked();
    bool OnWatcherThread() const;

    void Run();
    void RunOnce(std::unique_lock<std::mutex>& lock);
    void ApplyEventsLocked(const std::vector<WatchEvent>& events);
    // Reads folder and tells what changed since its snapshot: the touched names, or with poll
    // the whole listing. polled: the folder's snapshot keeps stamps. No lock.
    std::vector<FolderNews> Examine(Folder& folder, const ChangeSet& changes, bool poll, bool polled);
    void Deliver(std::unique_lock<std::mutex>& lock, Folder& folder, const std::vector<FolderNews>& news);

    // Guards everything below, and the shared fields of Folder and Subscription.
    std::mutex m_lock;
    // Signalled when a callback ends and when the thread leaves.
    std::condition_variable m_changed;
    std::map<std::string, std::shared_ptr<Folder>> m_folders;
    std::multimap<int, std::shared_ptr<Folder>> m_foldersByWatch;
    std::vector<std::shared_ptr<Subscription>> m_subscriptions;
    int m_inotifyFd = -1;
    int m_wakeFd = -1;
    std::thread m_thread;
    std::thread::id m_threadId;
    bool m_running = false;
    bool m_shutdown = false;
    bool m_watchLimitLogged = false;
};

} // namespace LumoFolders
