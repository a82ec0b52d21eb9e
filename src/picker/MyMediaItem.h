// What every row and node of a picker view stands on: a media item bound to the view that shows
// it. Change notifications and finished listings of its container become UpdateInfo records
// in the UpdateQueue, addressed to that view; nothing else reaches a view from other threads.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QPointer>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "picker/EnumerateContainer.h"
#include "picker/UpdateInfo.h"

class MediaItem;
class QObject;
class QTreeWidgetItem;
class UpdateQueue;

class Container;

class MyMediaItem {
public:
    // Never fails but for memory; target is the view every record of this item goes to.
    MyMediaItem(LumoApi::ApiRef<LumoApi::UrlApi> item, QObject* target, UpdateQueue& queue);
    // Unsubscribes, cancels a running listing and waits for it at most 5 s; a worker that does
    // not stop is left to finish alone.
    virtual ~MyMediaItem();
    MyMediaItem(const MyMediaItem&) = delete;
    MyMediaItem& operator=(const MyMediaItem&) = delete;

    // Called on each record of this item just before it is queued.
    virtual void FillUpdateInfo(UpdateInfo& info);

    bool IsContainer();
    // Containers only. Turns the item into a Container whose notifications come here, then
    // subscribes it; a failure raises.
    void Subscribe();
    // Waits for a subscription being made on the listing's worker.
    void Unsubscribe();
    // Containers only. Subscribes on the listing's worker, then lists there: a module may take
    // long over a subscription (a large folder's snapshot), and the interface must not wait. A
    // failure to subscribe raises from PostRefreshNotification once the listing is delivered.
    void SubscribeAndList();
    // Containers only. A request while a listing exists is remembered and served after it.
    void StartEnumeration();
    // Interface thread, called repeatedly by the views: delivers a finished listing as a
    // kind-4 record, or shows its failure with Retry and Cancel.
    void PostRefreshNotification();

    // The text of a property; "" when absent.
    std::string Property(const std::string& name);
    std::string GetTitle() { return Property("Title"); }

    const LumoApi::ApiRef<LumoApi::UrlApi>& Url() const noexcept { return m_url; }
    MediaItem& Item() noexcept { return *m_item; }
    bool HasEnumeration() const noexcept { return m_enumeration != nullptr; }
    // Waits until the listing under way finished (true), or limit passed (false).
    bool AwaitEnumeration(std::chrono::milliseconds limit);
    // What the failure of the newest listing delivered said; "" when it succeeded.
    const std::string& ListingFailure() const noexcept { return m_listingFailure; }
    bool IsSubscribed() const noexcept { return m_subscribed; }
    bool RefreshPending() const noexcept { return m_refreshPending; }

protected:
    // Whether the view shows only the containers among the children: the others are then left
    // out on the listing's worker instead of being looked at on the interface thread.
    virtual bool ShowsContainersOnly() const noexcept { return false; }

private:
    void PostUpdate(uint8_t kind, LumoApi::ApiRef<LumoApi::UrlApi> item, std::unique_ptr<ChildList> children);
    void OnChanged(const LumoApi::ApiRef<LumoApi::UrlApi>& child);
    // The item as a Container whose notifications come here, made on first use.
    Container& Watched();

    const LumoApi::ApiRef<LumoApi::UrlApi> m_url;
    std::unique_ptr<MediaItem> m_item;
    std::unique_ptr<EnumerateContainer> m_enumeration;
    std::string m_listingFailure;
    bool m_refreshPending = false;
    bool m_subscribed = false;
    const QPointer<QObject> m_target;
    UpdateQueue& m_queue;
    // Lives on the interface thread: a whole-container change reported on a module's thread is
    // handed over through it, and dies with the item so a late hand-over is dropped.
    std::unique_ptr<QObject> m_context;
};

// A node of the folder tree; the node's data points back at the item.
class MediaTreeItem : public MyMediaItem {
public:
    MediaTreeItem(LumoApi::ApiRef<LumoApi::UrlApi> item, QObject* target, UpdateQueue& queue, QTreeWidgetItem* node)
        : MyMediaItem(std::move(item), target, queue), m_node(node)
    {
    }

    void FillUpdateInfo(UpdateInfo& info) override { info.m_node = m_node; }
    QTreeWidgetItem* Node() const noexcept { return m_node; }

protected:
    // A folder of 20,000 songs opens into its few folders.
    bool ShowsContainersOnly() const noexcept override { return true; }

private:
    QTreeWidgetItem* const m_node;
};

// A row of the song list or the photo grid.
class ItemsPaneItem : public MyMediaItem {
    using MyMediaItem::MyMediaItem;
};

// A row of the published list.
class PublishedPaneItem : public MyMediaItem {
    using MyMediaItem::MyMediaItem;
};

// For a pane about to show a container: subscribes it, then lists it, both on the listing's
// worker. A container that cannot be watched at all (its module answers "invalid function", as
// the roots of a media class do) is listed all the same, without a word; any other failure to
// subscribe is raised when the listing is delivered.
void ListAndWatch(MyMediaItem& container);

// For the tree when a node opens: runs idle (which answers true when it has nothing left)
// until the item's listing is collected and the queue drained, at most 30 s in all. Between
// two passes it rests up to 50 ms, and no longer than the listing takes: idle is not expected
// to rest itself.
void WaitForEnumeration(MyMediaItem& item, const std::function<bool()>& idle);
