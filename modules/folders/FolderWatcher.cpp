#include "FolderWatcher.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <lumo/Errors.h>
#include <lumo/Log.h>

#include "FolderPaths.h"
#include "Guard.h"
#include "ModuleServices.h"

using namespace LumoApi;

namespace LumoFolders {

namespace {

// Reads the folder at path into listed, with stamps when it is polled. False when the folder
// cannot be listed.
bool ReadSnapshot(const std::string& path, bool withStamps, ListedNames& listed)
{
    listed = ListedNames();
    FolderReader reader;
    if (reader.Open(path) != 0)
        return false;
    std::vector<FolderEntry> entries;
    if (reader.ReadNames(entries, nullptr) != 0)
        return false;
    if (!withStamps)
        listed.names.reserve(entries.size());
    for (const FolderEntry& entry : entries) {
        EntryState state;
        if (!reader.Lists(entry, withStamps ? &state : nullptr))
            continue;
        if (withStamps)
            listed.stamped.emplace_hint(listed.stamped.end(), entry.name, state);
        else
            listed.names.insert(entry.name);
    }
    return true;
}

} // namespace

FolderWatcher& FolderWatcher::Instance()
{
    // Destroyed when the library is unloaded; its destructor waits for the thread.
    static FolderWatcher watcher;
    return watcher;
}

FolderWatcher::~FolderWatcher()
{
    Shutdown();
    if (m_thread.joinable())
        m_thread.detach();
}

bool FolderWatcher::OnWatcherThread() const
{
    return m_running && std::this_thread::get_id() == m_threadId;
}

void FolderWatcher::WakeLocked()
{
    if (m_wakeFd < 0)
        return;
    const uint64_t one = 1;
    // A full counter already wakes the thread.
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

void FolderWatcher::StartThreadLocked(std::unique_lock<std::mutex>& lock)
{
    if (OnWatcherThread()) {
        // Shutdown was asked for from a callback, which now subscribes again: stay.
        m_shutdown = false;
        return;
    }
    // A thread that is leaving holds no lock once m_running is clear.
    m_changed.wait(lock, [this] { return !m_running; });
    if (m_thread.joinable())
        m_thread.join();
    CloseDescriptorsLocked();
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        throw FolderError(CodeFromErrno(errno));
    // Without inotify (instance limit reached) every folder is polled.
    m_inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_shutdown = false;
    // The thread waits for m_lock before it looks at anything.
    m_thread = std::thread([this] { Run(); });
    m_threadId = m_thread.get_id();
    m_running = true;
}

void FolderWatcher::CloseDescriptorsLocked()
{
    if (m_inotifyFd >= 0)
        close(m_inotifyFd);
    if (m_wakeFd >= 0)
        close(m_wakeFd);
    m_inotifyFd = -1;
    m_wakeFd = -1;
    m_foldersByWatch.clear();
}

void FolderWatcher::Subscribe(const std::string& path, ContainerApi* container, ContainerCallbackApi* callback)
{
    if (!container || !callback)
        throw FolderError(ERROR_INVALID_PARAMETER);
    std::string pollReason = PollReason(path);
    std::vector<std::pair<int32_t, std::string>> logLines;
    std::shared_ptr<Folder> folder;
    std::shared_ptr<Subscription> subscription;
    bool fresh = false;
    bool polled = false;
    {
        std::unique_lock<std::mutex> lock(m_lock);
        for (const std::shared_ptr<Subscription>& existing : m_subscriptions) {
            if (existing->container == container && existing->callback == callback)
                return;
        }
        if (!m_running || m_shutdown)
            StartThreadLocked(lock);

        if (auto found = m_folders.find(path); found != m_folders.end()) {
            folder = found->second;
        } else {
            folder = std::make_shared<Folder>();
            folder->path = path;
            fresh = true;
            if (pollReason.empty() && m_inotifyFd < 0)
                pollReason = "no inotify instance could be had";
            if (pollReason.empty()) {
                const int wd = inotify_add_watch(m_inotifyFd, path.c_str(), WatchMask());
                if (wd >= 0) {
                    folder->wd = wd;
                } else if (errno == ENOSPC) {
                    pollReason = "the inotify watch limit (fs.inotify.max_user_watches) is reached";
                    if (!m_watchLimitLogged)
                        logLines.emplace_back(c_LogWarning,
                            "The inotify watch limit (fs.inotify.max_user_watches) is reached; further folders are "
                            "watched by polling");
                    m_watchLimitLogged = true;
                } else if (errno == ENOENT || errno == ENOTDIR || errno == EACCES || errno == ELOOP
                    || errno == ENAMETOOLONG) {
                    throw FolderError(CodeFromErrno(errno));
                } else {
                    pollReason = std::string("inotify refused it (") + std::strerror(errno) + ")";
                }
            }
            if (folder->wd < 0) {
                struct stat info { };
                if (stat(path.c_str(), &info) != 0)
                    throw FolderError(CodeFromErrno(errno));
                if (!S_ISDIR(info.st_mode))
                    throw FolderError(LumoApi::ERROR_PATH_NOT_FOUND);
                logLines.emplace_back(c_LogInfo,
                    "Watching " + ReadableText(path) + " by polling every "
                        + std::to_string(c_PollInterval.count() / 1000) + " s: " + pollReason);
            } else {
                m_foldersByWatch.emplace(folder->wd, folder);
            }
            m_folders.emplace(path, folder);
            polled = folder->wd < 0;
        }
        // Added at once, so the folder is never without a subscriber that keeps it watched; no
        // news reaches it before the snapshot below is taken.
        subscription = std::make_shared<Subscription>(Subscription{container, callback, folder});
        folder->subscriptions.push_back(subscription);
        m_subscriptions.push_back(subscription);
    }

    if (fresh) {
        // Taken here, after the watch exists and before the caller goes on, so that whatever
        // changes once Subscribe has returned is news measured against it. The watcher thread
        // keeps events of the folder until it is taken.
        ListedNames snapshot;
        bool listable = false;
        try {
            listable = ReadSnapshot(path, polled, snapshot);
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_lock);
            if (!subscription->removed)
                RemoveSubscriptionLocked(subscription);
            throw;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        folder->listed = std::move(snapshot);
        folder->listable = listable;
        folder->nextPoll = Clock::now() + c_PollInterval;
        folder->snapshotTaken = true;
        WakeLocked();
    }
    for (const auto& [severity, line] : logLines)
        LogLine(severity, line);
}

void FolderWatcher::StopWatchingLocked(Folder& folder)
{
    if (folder.wd < 0)
        return;
    const int wd = folder.wd;
    folder.wd = -1;
    bool shared = false;
    for (auto [at, end] = m_foldersByWatch.equal_range(wd); at != end;) {
        if (at->second.get() == &folder) {
            at = m_foldersByWatch.erase(at);
        } else {
            shared = true;
            ++at;
        }
    }
    // Two paths to one folder (a symbolic link) share one watch.
    if (!shared && m_inotifyFd >= 0)
        inotify_rm_watch(m_inotifyFd, wd);
}

void FolderWatcher::RemoveSubscriptionLocked(const std::shared_ptr<Subscription>& subscription)
{
    subscription->removed = true;
    Folder& folder = *subscription->folder;
    std::erase(folder.subscriptions, subscription);
    if (folder.subscriptions.empty()) {
        StopWatchingLocked(folder);
        if (auto found = m_folders.find(folder.path); found != m_folders.end() && found->second.get() == &folder)
            m_folders.erase(found);
    }
    std::erase(m_subscriptions, subscription);
}

void FolderWatcher::WaitUntilIdleLocked(
    std::unique_lock<std::mutex>& lock, const std::vector<std::shared_ptr<Subscription>>& gone)
{
    // On the watcher thread the only callback under way is the caller's own.
    if (OnWatcherThread())
        return;
    m_changed.wait(lock, [&] {
        return std::all_of(gone.begin(), gone.end(), [](const auto& subscription) { return subscription->busy == 0; });
    });
}

void FolderWatcher::Unsubscribe(ContainerApi* container, ContainerCallbackApi* callback)
{
    std::unique_lock<std::mutex> lock(m_lock);
    std::vector<std::shared_ptr<Subscription>> gone;
    for (const std::shared_ptr<Subscription>& subscription : m_subscriptions) {
        if (subscription->container == container && subscription->callback == callback)
            gone.push_back(subscription);
    }
    for (const std::shared_ptr<Subscription>& subscription : gone)
        RemoveSubscriptionLocked(subscription);
    if (!gone.empty())
        WakeLocked();
    WaitUntilIdleLocked(lock, gone);
}

void FolderWatcher::UnsubscribeAll(ContainerApi* container)
{
    std::unique_lock<std::mutex> lock(m_lock);
    std::vector<std::shared_ptr<Subscription>> gone;
    for (const std::shared_ptr<Subscription>& subscription : m_subscriptions) {
        if (subscription->container == container)
            gone.push_back(subscription);
    }
    for (const std::shared_ptr<Subscription>& subscription : gone)
        RemoveSubscriptionLocked(subscription);
    if (!gone.empty())
        WakeLocked();
    WaitUntilIdleLocked(lock, gone);
}

void FolderWatcher::Refresh(const std::string& path, const std::string& name)
{
    if (!name.empty() && name[0] == '.')
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    auto found = m_folders.find(path);
    if (found == m_folders.end())
        return;
    Folder& folder = *found->second;
    if (name.empty())
        folder.pending.SetWholeChanged();
    else
        folder.pending.Touch(name);
    folder.windowStart = folder.flushAt = Clock::now();
    WakeLocked();
}

void FolderWatcher::Shutdown()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_shutdown = true;
    WakeLocked();
    // On the watcher thread (the last object went inside a callback) the thread leaves by
    // itself at the top of its loop; the next start or the library's unloading joins it.
    if (OnWatcherThread())
        return;
    if (m_thread.joinable()) {
        std::thread thread = std::move(m_thread);
        lock.unlock();
        thread.join();
        lock.lock();
    }
    if (!m_running) {
        CloseDescriptorsLocked();
        m_threadId = std::thread::id();
    }
}

void FolderWatcher::Run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_shutdown && !m_folders.empty()) {
        try {
            RunOnce(lock);
        } catch (...) {
            // Out of memory or a failed URL: this round's news is lost, the watching goes on.
            if (lock.owns_lock())
                lock.unlock();
            std::this_thread::sleep_for(c_CoalesceWindow);
            lock.lock();
        }
    }
    m_running = false;
    m_changed.notify_all();
}

void FolderWatcher::RunOnce(std::unique_lock<std::mutex>& lock)
{
    // Sleep until the next window closes, the next poll is due, or inotify or a caller wakes us.
    Clock::time_point deadline = Clock::time_point::max();
    for (const auto& [path, folder] : m_folders) {
        if (folder->snapshotTaken && !folder->pending.IsEmpty())
            deadline = std::min(deadline, folder->flushAt);
        if (folder->wd < 0 && folder->snapshotTaken)
            deadline = std::min(deadline, folder->nextPoll);
    }
    int timeoutMs = -1;
    if (deadline != Clock::time_point::max()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        timeoutMs = int(std::clamp<int64_t>(wait.count(), 0, 60000));
    }
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_inotifyFd, POLLIN, 0}};
    const nfds_t count = m_inotifyFd >= 0 ? 2 : 1;
    lock.unlock();

    std::vector<WatchEvent> events;
    if (poll(fds, count, timeoutMs) > 0) {
        if (fds[0].revents & POLLIN) {
            uint64_t ignored = 0;
            [[maybe_unused]] const ssize_t drained = read(m_wakeFd, &ignored, sizeof ignored);
        }
        if (count == 2 && (fds[1].revents & POLLIN)) {
            alignas(inotify_event) char buffer[64 * 1024];
            for (;;) {
                const ssize_t got = read(m_inotifyFd, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                std::vector<WatchEvent> decoded = DecodeEvents(buffer, size_t(got));
                events.insert(
                    events.end(), std::make_move_iterator(decoded.begin()), std::make_move_iterator(decoded.end()));
            }
        }
    }

    lock.lock();
    if (m_shutdown)
        return;
    ApplyEventsLocked(events);

    struct Due {
        std::shared_ptr<Folder> folder;
        ChangeSet changes;
        bool poll;
        bool polled;
    };
    std::vector<Due> due;
    const Clock::time_point now = Clock::now();
    for (const auto& [path, folder] : m_folders) {
        const bool flush = folder->snapshotTaken && !folder->pending.IsEmpty() && folder->flushAt <= now;
        const bool polled = folder->wd < 0;
        const bool poll = polled && folder->snapshotTaken && folder->nextPoll <= now;
        if (!flush && !poll)
            continue;
        due.push_back(Due{folder, flush ? std::move(folder->pending) : ChangeSet(), poll, polled});
        folder->pending = ChangeSet();
        folder->flushAt = Clock::time_point();
    }
    if (due.empty())
        return;
    lock.unlock();
    std::vector<std::vector<FolderNews>> news;
    for (Due& item : due) {
        news.push_back(Examine(*item.folder, item.changes, item.poll, item.polled));
        if (item.polled)
            item.folder->nextPoll = Clock::now() + c_PollInterval;
    }
    lock.lock();
    for (size_t index = 0; index < due.size(); ++index)
        Deliver(lock, *due[index].folder, news[index]);
}

void FolderWatcher::ApplyEventsLocked(const std::vector<WatchEvent>& events)
{
    const Clock::time_point now = Clock::now();
    const auto foldersOf = [this](int wd) {
        std::vector<std::shared_ptr<Folder>> folders;
        for (auto [at, end] = m_foldersByWatch.equal_range(wd); at != end; ++at)
            folders.push_back(at->second);
        return folders;
    };
    // Reported once the folder has been quiet for a window, or once the window has been open
    // for c_LongestWait, so a steady stream of changes is still reported as it goes.
    const auto extendWindow = [&](Folder& folder) {
        if (folder.flushAt == Clock::time_point())
            folder.windowStart = now;
        folder.flushAt = std::min(now + c_CoalesceWindow, folder.windowStart + c_LongestWait);
    };
    const auto reportNow = [&](Folder& folder) {
        folder.windowStart = now;
        folder.flushAt = now;
    };
    for (const WatchEvent& event : events) {
        switch (MeaningOf(event)) {
        case EventMeaning::Ignore:
            break;
        case EventMeaning::Overflow:
            for (const auto& [path, folder] : m_folders) {
                folder->pending.SetWholeChanged();
                reportNow(*folder);
            }
            break;
        case EventMeaning::SelfGone:
            // Polled from now on, so its return is seen as well.
            for (const std::shared_ptr<Folder>& folder : foldersOf(event.wd)) {
                folder->pending.SetWholeChanged();
                reportNow(*folder);
                StopWatchingLocked(*folder);
            }
            break;
        case EventMeaning::SelfAttributes:
            for (const std::shared_ptr<Folder>& folder : foldersOf(event.wd)) {
                folder->pending.SetAttributesChanged();
                extendWindow(*folder);
            }
            break;
        case EventMeaning::Child:
            for (const std::shared_ptr<Folder>& folder : foldersOf(event.wd)) {
                folder->pending.Touch(event.name);
                extendWindow(*folder);
            }
            break;
        }
    }
}

std::vector<FolderNews> FolderWatcher::Examine(Folder& folder, const ChangeSet& changes, bool poll, bool polled)
{
    std::vector<FolderNews> news;
    const auto listAgain = [&] {
        ListedNames fresh;
        const bool listable = ReadSnapshot(folder.path, polled, fresh);
        const bool wasListable = folder.listable;
        std::swap(folder.listed, fresh);
        folder.listable = listable;
        return std::make_pair(std::move(fresh), wasListable);
    };
    if (changes.WholeChanged()) {
        listAgain();
        news.push_back(FolderNews{c_ContainerChanged, std::string()});
        return news;
    }
    if (changes.AttributesChanged() && (access(folder.path.c_str(), R_OK | X_OK) == 0) != folder.listable) {
        listAgain();
        news.push_back(FolderNews{c_ContainerChanged, std::string()});
        return news;
    }
    if (poll) {
        // The new listing covers the touched names too.
        auto [before, wasListable] = listAgain();
        // A folder that went away or came back is news for the whole listing.
        if (folder.listable != wasListable)
            return {FolderNews{c_ContainerChanged, std::string()}};
        return CompareSnapshots(before.AsSnapshot(), folder.listed.stamped);
    }

    FolderReader reader;
    const bool open = reader.Open(folder.path) == 0;
    for (const std::string& name : changes.Names()) {
        EntryState state;
        const bool listsNow = open && reader.Lists(FolderEntry{name, DT_UNKNOWN}, polled ? &state : nullptr);
        const bool listedBefore = folder.listed.Contains(name);
        if (std::optional<int32_t> event = OutcomeOf(listedBefore, listsNow))
            news.push_back(FolderNews{*event, name});
        if (listsNow)
            folder.listed.Set(name, polled ? &state : nullptr);
        else if (listedBefore)
            folder.listed.Erase(name);
    }
    return news;
}

void FolderWatcher::Deliver(std::unique_lock<std::mutex>& lock, Folder& folder, const std::vector<FolderNews>& news)
{
    if (news.empty())
        return;
    const std::vector<std::shared_ptr<Subscription>> subscriptions = folder.subscriptions;
    for (const FolderNews& item : news) {
        for (const std::shared_ptr<Subscription>& subscription : subscriptions) {
            if (subscription->removed)
                continue;
            ++subscription->busy;
            lock.unlock();
            try {
                // Made for each subscriber: the URL is borrowed by the callback and must not be
                // shared between threads the callbacks may hand it on to.
                ApiRef<UrlApi> child;
                if (!item.name.empty())
                    child = UrlMaker::Current().MakeFileUrl(ChildPath(folder.path, item.name));
                subscription->callback->OnNotify(subscription->container, item.event, child.Get());
            } catch (...) {
                // A child URL that cannot be made loses this piece of news only.
            }
            lock.lock();
            --subscription->busy;
            m_changed.notify_all();
        }
    }
}

} // namespace LumoFolders
