// The content side of the server: the index, the workers that fill it from the host, the
// subscriptions that keep it current, the pictures clients ask for, and the answers to
// Rygel's containers. Rygel and the index live on the main thread (the Qt loop, which is
// GLib's); every module call runs on a worker and comes back through a queued call.
#pragma once

#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "server/ContentIndex.h"
#include "server/ContentLoader.h"
#include "server/FactsStore.h"
#include "server/MediaEngine.h"
#include "server/ServerObjects.h"

class Container;
class HostInternals;

class ServerCore : public QObject, public ObjectSource, public PictureProvider {
    Q_OBJECT
public:
    struct Counts {
        int songs = 0;
        int photos = 0;
        // False until a count has finished.
        bool known = false;
    };

    explicit ServerCore(HostInternals& host, QObject* parent = nullptr);
    ~ServerCore() override;

    // The root every device serves; owned here.
    RygelMediaContainer* RootObject() const { return m_rootObject; }

    // Lists both published sets, then calls ready (on the main thread): the server goes on
    // the network with its first answers already known.
    void Prime(std::function<void()> ready);

    // How many songs and photos are served, counted in the background.
    Counts ServedCounts() const { return m_counts; }
    void CountSoon();

    ContentIndex& Index() { return m_index; }

    // The bytes of a picture already made, -1 when it is not made yet (static for the object
    // builders).
    static int64_t PictureBytes(const std::string& uri);
    // The bytes of a resource of a known item as served now, -1 when not known (static for
    // the HTTP side).
    static int64_t ResourceBytes(const std::string& objectId, const std::string& resource);

Q_SIGNALS:
    void CountsChanged();
    // A container's children changed and clients were told (tests and the window).
    void ContentChanged(QString id);

private:
    using NodeCallback = std::function<void(Node*)>;

    // ObjectSource.
    void GetChildren(
        RygelMediaContainer* container, unsigned offset, unsigned count, const std::string& sort, GTask* task) override;
    void FindObject(const std::string& id, GTask* task) override;
    // PictureProvider.
    void ProducePicture(const std::string& uri, Done done) override;

    void EnsureListed(const std::string& id, NodeCallback then);
    void Resolve(const std::string& id, NodeCallback then);
    void ResolveFrom(std::shared_ptr<std::vector<std::string>> path, size_t step, std::string id, NodeCallback then);
    void EnsureFacts(const std::vector<std::string>& ids, std::function<void()> then);
    void StartListing(Node& node);
    // firstFacts: the facts of the listing's first items, read with it (null where unread).
    void ListingDone(
        const std::string& id, const Listing& listing, const std::vector<std::shared_ptr<ItemFacts>>& firstFacts);
    void Watch(Node& node);
    void Notified(const std::string& containerId, int event, const std::string& childUrl);
    // Added, removed or changed, a child named in the news is read again and put in place.
    struct ChildNews {
        std::string url;
        bool shown = false;
        ChildEntry entry;
    };
    void ReadChildNews(const std::string& containerId);
    void ChildNewsDone(const std::string& containerId, const std::vector<ChildNews>& news);
    // Where a new child goes among a folder's children: the modules list folders by name.
    size_t InsertPosition(const Node& container, const std::string& url) const;
    RygelMediaContainer* EventContainer(const Node& node);
    void AnnounceChild(Node& container, const Node& child, RygelObjectEventType type);
    void RelistSoon(const std::string& id);
    void RelistPending();
    void Announce(Node& node);
    RygelMediaContainer* ParentObject(const Node& node);
    void CountNow();
    // Reads, in the background, the facts of every published item the store lacks, so that
    // the next start finds them there; once a run, after the first count.
    void FillStore();
    // Waits until no answer or read-ahead has run for a while, but not past givingUpMs.
    void WaitForQuiet(int64_t givingUpMs) const;
    // Lists what kind's published set holds on the calling thread, each container once, one
    // listing held at a time, each after WaitForQuiet; visit sees every listing.
    void WalkPublished(MediaClassKind kind, int64_t givingUpMs, const std::function<void(const Listing&)>& visit);
    void StorePicture(const std::string& uri, std::shared_ptr<const std::string> bytes);
    // Reads the facts of a container's children from index first to end ahead of the pages
    // clients will ask for, on a thread of the lowest priority, one slice at a time. ahead: the
    // pages after one a client just asked for, read first.
    void PrefetchFacts(const std::string& containerId, size_t first, size_t end, bool ahead);
    void PrefetchNext();
    // Puts facts read on a worker in place, for nodes still holding url and none yet.
    void KeepFacts(const std::string& id, const std::string& url, std::shared_ptr<ItemFacts> facts);
    // The facts of items, from the store where their files are as they were, else read. Workers.
    std::vector<std::shared_ptr<ItemFacts>> ReadKeptFacts(const std::vector<FactsWant>& wants);
    void DropOldFacts();

    HostInternals& m_host;
    // Facts read in earlier runs; outlives the pools, whose threads use it.
    std::unique_ptr<FactsStore> m_store;
    ContentIndex m_index;
    RygelMediaContainer* m_rootObject = nullptr;

    // The title orders of containers lately browsed sorted by title, or large ones lately
    // listed, kept while the index stays the same: a client pages through a large container
    // in that order, and sorting 10,000 titles by the locale's rules takes a hundredth of a
    // second.
    struct TitleOrder {
        const Node* container = nullptr;
        bool descending = false;
        bool classFirst = false;
        uint64_t generation = 0;
        std::vector<Node*> children;
    };
    std::array<TitleOrder, 4> m_titleOrders;
    size_t m_nextTitleOrder = 0;
    // container's children in the order sort asks for when it names "dc:title"; null when it
    // does not, and the children's own order holds. Valid until the next call.
    const std::vector<Node*>* TitleOrdered(Node& container, const std::string& sort);
    // Keeps container's children in the order of places (their indexes), made at generation.
    const std::vector<Node*>& KeepTitleOrder(
        Node& container, bool descending, bool classFirst, uint64_t generation, const std::vector<uint32_t>& places);
    // Works out the plain title order of a large container just listed in the background,
    // ahead of a client asking for it.
    void SortAhead(Node& container);

    // Module calls: listings, facts, pictures. Counting has a thread of its own so it never
    // delays an answer.
    QThreadPool m_workers;
    QThreadPool m_counter;
    std::atomic<bool> m_stopping{false};

    std::unordered_map<std::string, std::vector<NodeCallback>> m_listWaiters;
    std::unordered_set<std::string> m_listing;
    // Containers that changed while their listing ran: listed again when it ends.
    std::unordered_set<std::string> m_listAgain;
    std::unordered_set<std::string> m_relistPending;
    QTimer m_relistTimer;
    // Entries whose files are gone are looked for again now and then, to come back.
    QTimer m_missingTimer;
    std::unordered_map<std::string, std::unique_ptr<Container>> m_watches;
    // URLs of single children to read again, by container id. One read per container runs at a
    // time, so the news of one file are applied in the order they came.
    std::unordered_map<std::string, std::vector<std::string>> m_childNews;
    std::unordered_set<std::string> m_childReads;
    // The container objects events name, one per container (owned): the engine keeps one entry
    // per object until its next event round, and counts each container's update id on it.
    std::unordered_map<std::string, RygelMediaContainer*> m_eventContainers;

    // Pictures made, newest first, within a byte budget.
    struct Picture {
        std::string uri;
        std::shared_ptr<const std::string> bytes;
    };
    std::list<Picture> m_pictures;
    std::unordered_map<std::string, std::list<Picture>::iterator> m_pictureIndex;
    size_t m_pictureBytes = 0;
    std::unordered_map<std::string, std::vector<Done>> m_pictureWaiters;

    // The items whose facts are held, oldest first; past c_MaxFacts the oldest are dropped, so
    // a collection of any size is held in bounded memory (read again when asked for).
    std::deque<std::string> m_factsHeld;
    struct PrefetchRange {
        std::string containerId;
        size_t next = 0;
        size_t end = 0;
        bool ahead = false;
    };
    std::deque<PrefetchRange> m_prefetchQueue;
    bool m_prefetching = false;
    // Reading ahead: one thread at the lowest priority, so an answer never waits behind it.
    QThreadPool m_background;

    // Gives memory freed after a burst of answers back to the system.
    QTimer m_trimTimer;

    // Filling the store: one thread at the lowest priority.
    QThreadPool m_filler;
    bool m_storeFilled = false;
    // When an answer or a read-ahead last began (steady clock, ms): the filling waits for quiet.
    std::atomic<int64_t> m_lastBusyMs{0};

    Counts m_counts;
    QTimer m_countTimer;
    bool m_countRunning = false;
    bool m_countAgain = false;
};
