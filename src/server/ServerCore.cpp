#include "server/ServerCore.h"

#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <dlfcn.h>
#include <exception>
#include <limits>
#include <malloc.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "host/HostInternals.h"
#include "host/MediaItem.h"
#include "host/ModuleLog.h"
#include "host/Url.h"
#include "platform/System.h"
#include "server/AnswerFolders.h"
#include "server/DlnaProfiles.h"
#include "server/WaveFile.h"

using namespace LumoApi;

namespace {

ServerCore* g_core = nullptr;

constexpr int c_RelistDelayMs = 250;
constexpr int c_MissingRecheckMs = 4000;
constexpr int c_CountDelayMs = 3000;
constexpr size_t c_PictureBudgetBytes = 48u << 20;
// Small slices: what a background slice reads may be read again by an answer that came first.
constexpr size_t c_PrefetchSlice = 25;
constexpr size_t c_MaxFacts = 20000;
// A container this large is read whole in the background after its listing; a larger one only
// its first pages, so that reading ahead never pushes out the facts of what clients browse.
constexpr size_t c_PrefetchWhole = c_MaxFacts / 2;
constexpr size_t c_PrefetchFirstItems = 1000;
// The pages after one a client asked for, read ahead for a client walking a container.
constexpr size_t c_ReadAheadPages = 2;
// A container this large gets its order by title worked out in the background once listed:
// sorting 10,000 titles by the locale's rules takes some 10 ms, and many players ask for it.
constexpr size_t c_SortAheadChildren = 1000;

// The server runs on TCMalloc, which has a call of its own for this; the tests, on glibc's.
void GiveBackFreedMemory()
{
    using Release = void (*)();
    static const auto release = reinterpret_cast<Release>(dlsym(RTLD_DEFAULT, "MallocExtension_ReleaseFreeMemory"));
    if (release)
        release();
    else
        malloc_trim(0);
}
// The first page clients ask for is read with the listing, so it is answered with it.
constexpr size_t c_FirstPageItems = 100;
// Fewer files than this are read on one worker.
constexpr size_t c_FactsPerWorker = 20;
// Items looked up (and read when missing) at a time by the store's filling after start.
constexpr size_t c_FillSlice = 50;
// The store is filled, and the collection counted, only after this long without an answer or
// a read-ahead.
constexpr int64_t c_FillQuietMs = 2000;
// A count waits for quiet no longer than this: the properties window shows it.
constexpr int64_t c_CountPatienceMs = 20000;
// Containers events named lately, kept so that the engine sees one object per container.
constexpr size_t c_MaxEventContainers = 256;

// Facts are kept, but a published file can go without any folder noticing: each answer checks
// that the file is still there.
bool StillThere(Node& node, AnswerFolders& folders)
{
    if (!node.facts)
        return false;
    if (folders.IsFile(node.facts->path, &node.facts->found))
        return true;
    node.facts.reset();
    return false;
}

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

MediaClassKind ClassOf(const std::string& id)
{
    return id.rfind(ContentIndex::c_PhotosId, 0) == 0 ? MediaClassKind::Photos : MediaClassKind::Music;
}

// How a client's sort criteria order by title: "dc:title" or "-dc:title", containers first
// when "upnp:class" comes before it. Any other order a client asks for keeps the published or
// listed order, which is what the person sees in the window.
struct TitleSort {
    bool descending = false;
    bool classFirst = false;
};

std::optional<TitleSort> TitleSortOf(const std::string& sort)
{
    const size_t title = sort.find("dc:title");
    if (title == std::string::npos)
        return std::nullopt;
    const size_t byClass = sort.find("upnp:class");
    return TitleSort{title > 0 && sort[title - 1] == '-', byClass != std::string::npos && byClass < title};
}

// The places of titles in order by the locale's rules (containers first where asked); ties
// keep their listed order.
std::vector<uint32_t> TitleOrderOf(
    const std::vector<std::string>& titles, const std::vector<bool>& containers, TitleSort sort)
{
    // A collation key per title, made once: keys compare byte by byte as g_utf8_collate compares
    // the titles, which it normalises again at every comparison.
    std::vector<std::string> keys;
    keys.reserve(titles.size());
    for (const std::string& title : titles) {
        gchar* key = g_utf8_collate_key(title.c_str(), -1);
        keys.push_back(key ? std::string(key) : title);
        g_free(key);
    }
    std::vector<uint32_t> order(titles.size());
    for (uint32_t index = 0; index < order.size(); ++index)
        order[index] = index;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        if (sort.classFirst && containers[a] != containers[b])
            return bool(containers[a]);
        const int compare = keys[a].compare(keys[b]);
        return sort.descending ? compare > 0 : compare < 0;
    });
    return order;
}

// Whether a container's children are all containers or all items: then putting containers
// first changes nothing.
bool AllOneKind(const Node& container)
{
    for (const auto& child : container.children) {
        if (child->IsContainer() != container.children.front()->IsContainer())
            return false;
    }
    return true;
}

// The name a folder's module sorts a child by: the last part of its path.
std::string NameOf(const std::string& url)
{
    const std::string path = LocalPathOfItem(url);
    const std::string& text = path.empty() ? url : path;
    return text.substr(text.rfind('/') + 1);
}

} // namespace

ServerCore::ServerCore(HostInternals& host, QObject* parent) : QObject(parent), m_host(host)
{
    m_store = std::make_unique<FactsStore>(FactsStore::DefaultFolder(),
        [](const std::string& text) { ModuleLog::Host().Write(c_LogWarning, "Server", "%s", text.c_str()); });
    m_workers.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    m_counter.setMaxThreadCount(1);
    m_background.setMaxThreadCount(1);
    m_filler.setMaxThreadCount(1);
    m_rootObject = NewContainerObject(m_index.Root(), 2, nullptr);
    g_core = this;
    SetObjectSource(this);
    SetPictureProvider(this);

    m_relistTimer.setSingleShot(true);
    m_relistTimer.setInterval(c_RelistDelayMs);
    connect(&m_relistTimer, &QTimer::timeout, this, &ServerCore::RelistPending);
    m_missingTimer.setInterval(c_MissingRecheckMs);
    connect(&m_missingTimer, &QTimer::timeout, this, [this] {
        RelistSoon(ContentIndex::c_MusicId);
        RelistSoon(ContentIndex::c_PhotosId);
    });
    // Answers build and drop many small objects on several threads; the allocator keeps what
    // was freed unless told, and a server that walked a large collection would hold it for good.
    m_trimTimer.setSingleShot(true);
    m_trimTimer.setInterval(2000);
    connect(&m_trimTimer, &QTimer::timeout, this, &GiveBackFreedMemory);
    m_countTimer.setSingleShot(true);
    m_countTimer.setInterval(c_CountDelayMs);
    connect(&m_countTimer, &QTimer::timeout, this, &ServerCore::CountNow);
}

ServerCore::~ServerCore()
{
    m_stopping = true;
    SetObjectSource(nullptr);
    SetPictureProvider(nullptr);
    g_core = nullptr;
    // Unsubscribing first: after it no module thread calls back.
    m_watches.clear();
    m_workers.clear();
    m_workers.waitForDone();
    m_background.clear();
    m_background.waitForDone();
    m_filler.clear();
    m_filler.waitForDone();
    m_counter.clear();
    m_counter.waitForDone();
    for (auto& [id, object] : m_eventContainers)
        g_object_unref(object);
    g_object_unref(m_rootObject);
}

void ServerCore::Prime(std::function<void()> ready)
{
    auto remaining = std::make_shared<int>(2);
    for (const char* id : {ContentIndex::c_MusicId, ContentIndex::c_PhotosId}) {
        EnsureListed(id, [remaining, ready](Node*) {
            if (--*remaining == 0 && ready)
                ready();
        });
    }
    CountSoon();
}

// ---- Listing -----------------------------------------------------------------------------

void ServerCore::EnsureListed(const std::string& id, NodeCallback then)
{
    Node* node = m_index.Find(id);
    if (!node || !node->IsContainer()) {
        then(nullptr);
        return;
    }
    if (node->listed) {
        then(node);
        return;
    }
    m_listWaiters[id].push_back(std::move(then));
    StartListing(*node);
}

void ServerCore::StartListing(Node& node)
{
    if (m_listing.count(node.Id()))
        return;
    m_listing.insert(node.Id());
    const std::string id = node.Id();
    const std::string url = node.Url();
    const bool published = node.kind == NodeKind::Class;
    const MediaClassKind kind = ClassOf(id);
    // Listed again, its children mostly have their facts.
    const bool firstPage = !node.listed;
    m_workers.start([this, id, url, published, kind, firstPage] {
        if (m_stopping)
            return;
        Listing listing = published ? ListPublished(m_host, kind) : ListContainer(m_host, url, kind, &m_stopping);
        // A client that opens a container asks for its first page next.
        std::vector<std::shared_ptr<ItemFacts>> firstFacts;
        if (firstPage && listing.ok) {
            std::vector<FactsWant> wants;
            std::vector<size_t> at;
            firstFacts.resize(std::min(listing.entries.size(), c_FirstPageItems));
            for (size_t index = 0; index < firstFacts.size(); ++index) {
                const ChildEntry& entry = listing.entries[index];
                if (!IsContainerKind(entry.kind)) {
                    wants.push_back(FactsWant{entry.url, entry.kind});
                    at.push_back(index);
                }
            }
            std::vector<std::shared_ptr<ItemFacts>> read = ReadKeptFacts(wants);
            for (size_t index = 0; index < read.size(); ++index)
                firstFacts[at[index]] = std::move(read[index]);
        }
        QMetaObject::invokeMethod(
            this,
            [this, id, listing = std::move(listing), firstFacts = std::move(firstFacts)] {
                ListingDone(id, listing, firstFacts);
            },
            Qt::QueuedConnection);
    });
}

void ServerCore::ListingDone(
    const std::string& id, const Listing& listing, const std::vector<std::shared_ptr<ItemFacts>>& firstFacts)
{
    m_listing.erase(id);
    std::vector<NodeCallback> waiters;
    if (const auto found = m_listWaiters.find(id); found != m_listWaiters.end()) {
        waiters = std::move(found->second);
        m_listWaiters.erase(found);
    }
    Node* node = m_index.Find(id);
    if (node && listing.ok) {
        const bool firstTime = !node->listed;
        std::vector<std::string> removed;
        const bool changed = m_index.ApplyListing(*node, listing.entries, &removed);
        for (const std::string& gone : removed)
            m_watches.erase(gone);
        Watch(*node);
        std::unordered_map<std::string, std::shared_ptr<ItemFacts>> read;
        for (size_t index = 0; index < firstFacts.size(); ++index) {
            if (firstFacts[index])
                read.emplace(listing.entries[index].url, firstFacts[index]);
        }
        for (size_t index = 0; index < node->children.size() && !read.empty(); ++index) {
            Node& child = *node->children[index];
            if (const auto found = read.find(child.Url()); found != read.end()) {
                KeepFacts(child.Id(), child.Url(), found->second);
                read.erase(found);
            }
        }
        const size_t count = node->children.size();
        PrefetchFacts(id, 0, count <= c_PrefetchWhole ? count : c_PrefetchFirstItems, false);
        if (changed)
            SortAhead(*node);
        if (node->kind == NodeKind::Class && listing.missing > 0 && !m_missingTimer.isActive())
            m_missingTimer.start();
        if (changed && !firstTime) {
            Announce(*node);
            CountSoon();
        }
    }
    if (m_listAgain.erase(id))
        RelistSoon(id);
    for (NodeCallback& then : waiters)
        then(m_index.Find(id));
}

void ServerCore::Watch(Node& node)
{
    if (m_watches.count(node.Id()))
        return;
    std::string url = node.Url();
    try {
        if (node.kind == NodeKind::Class) {
            MediaClass& mediaClass
                = m_host.MediaClasses().ById(ClassOf(node.Id()) == MediaClassKind::Music ? "LumoMusic" : "LumoPhotos");
            url = Url(mediaClass.SecondRoot().Url()).Text();
        }
        auto container = std::make_unique<Container>(ApiRef<UrlApi>::Adopt(Url::FromText(url).NewRef()));
        const std::string id = node.Id();
        // Called on the module's threads: only hand the news over.
        auto post = [this, id](int event) {
            return [this, id, event](const ApiRef<UrlApi>& child) {
                std::string childUrl = child ? std::string(child->GetText() ? child->GetText() : "") : std::string();
                QMetaObject::invokeMethod(
                    this, [this, id, event, childUrl] { Notified(id, event, childUrl); }, Qt::QueuedConnection);
            };
        };
        container->SetChildAddedHandler(post(c_ChildAdded));
        container->SetChildRemovedHandler(post(c_ChildRemoved));
        container->SetChangedHandler(post(c_ContainerChanged));
        container->Subscribe();
        m_watches.emplace(node.Id(), std::move(container));
    } catch (const std::exception&) {
        // A container that cannot be watched is still served; it is read again when browsed
        // after a change elsewhere shows.
    }
}

void ServerCore::Notified(const std::string& containerId, int, const std::string& childUrl)
{
    Node* node = m_index.Find(containerId);
    if (!node)
        return;
    if (!childUrl.empty()) {
        // A changed file is read again when next asked for.
        for (auto& child : node->children) {
            if (child->HasUrl(childUrl)) {
                child->facts.reset();
                child->unreadable = false;
            }
        }
    }
    // A folder of thousands is not read again for one file: that file alone is. Published sets
    // keep their publishing order and playlists their own; both are read again whole.
    if (!childUrl.empty() && node->kind == NodeKind::Folder && node->listed && !m_listing.count(containerId)) {
        m_childNews[containerId].push_back(childUrl);
        ReadChildNews(containerId);
        return;
    }
    RelistSoon(containerId);
}

void ServerCore::ReadChildNews(const std::string& containerId)
{
    if (m_childReads.count(containerId))
        return;
    const auto found = m_childNews.find(containerId);
    if (found == m_childNews.end())
        return;
    std::vector<std::string> urls;
    for (std::string& url : found->second) {
        if (std::find(urls.begin(), urls.end(), url) == urls.end())
            urls.push_back(std::move(url));
    }
    m_childNews.erase(found);
    if (urls.empty())
        return;
    m_childReads.insert(containerId);
    const MediaClassKind kind = ClassOf(containerId);
    m_workers.start([this, containerId, urls, kind] {
        if (m_stopping)
            return;
        std::vector<ChildNews> news;
        for (const std::string& url : urls) {
            ChildNews one;
            one.url = url;
            one.shown = ReadChildEntry(url, kind, one.entry);
            news.push_back(std::move(one));
        }
        QMetaObject::invokeMethod(
            this, [this, containerId, news = std::move(news)] { ChildNewsDone(containerId, news); },
            Qt::QueuedConnection);
    });
}

void ServerCore::ChildNewsDone(const std::string& containerId, const std::vector<ChildNews>& news)
{
    m_childReads.erase(containerId);
    Node* node = m_index.Find(containerId);
    if (node && node->listed && m_listing.count(containerId)) {
        // A whole listing began meanwhile; it may predate this news, so it runs again.
        m_listAgain.insert(containerId);
    } else if (node && node->listed) {
        bool changed = false;
        for (const ChildNews& one : news) {
            Node* present = nullptr;
            for (auto& child : node->children) {
                if (child->HasUrl(one.url)) {
                    present = child.get();
                    break;
                }
            }
            if (!one.shown) {
                if (!present)
                    continue;
                // The event names the child as it was.
                Node gone;
                gone.parent = present->parent;
                gone.segment = present->segment;
                gone.repeat = present->repeat;
                gone.title = present->title;
                gone.kind = present->kind;
                std::vector<std::string> removed;
                m_index.RemoveChild(*node, one.url, &removed);
                for (const std::string& id : removed)
                    m_watches.erase(id);
                AnnounceChild(*node, gone, RYGEL_OBJECT_EVENT_TYPE_DELETED);
                changed = true;
            } else if (present) {
                if (present->title != one.entry.title || present->kind != one.entry.kind) {
                    // Another kind under the same URL is another object: taken out and put back.
                    if (present->kind != one.entry.kind) {
                        std::vector<std::string> removed;
                        m_index.RemoveChild(*node, one.url, &removed);
                        for (const std::string& id : removed)
                            m_watches.erase(id);
                        if (Node* added = m_index.InsertChild(*node, one.entry, InsertPosition(*node, one.url)))
                            AnnounceChild(*node, *added, RYGEL_OBJECT_EVENT_TYPE_ADDED);
                    } else {
                        m_index.Retitle(*present, one.entry.title);
                        AnnounceChild(*node, *present, RYGEL_OBJECT_EVENT_TYPE_MODIFIED);
                    }
                    changed = true;
                }
            } else if (Node* added = m_index.InsertChild(*node, one.entry, InsertPosition(*node, one.url))) {
                AnnounceChild(*node, *added, RYGEL_OBJECT_EVENT_TYPE_ADDED);
                changed = true;
            }
        }
        if (changed) {
            Q_EMIT ContentChanged(QString::fromStdString(containerId));
            CountSoon();
        }
    }
    ReadChildNews(containerId);
}

size_t ServerCore::InsertPosition(const Node& container, const std::string& url) const
{
    const std::string name = NameOf(url);
    const auto at = std::lower_bound(container.children.begin(), container.children.end(), name,
        [](const std::unique_ptr<Node>& child, const std::string& key) { return NameOf(child->Url()) < key; });
    return size_t(at - container.children.begin());
}

void ServerCore::RelistSoon(const std::string& id)
{
    m_relistPending.insert(id);
    if (!m_relistTimer.isActive())
        m_relistTimer.start();
}

void ServerCore::RelistPending()
{
    std::unordered_set<std::string> pending;
    pending.swap(m_relistPending);
    for (const std::string& id : pending) {
        Node* node = m_index.Find(id);
        if (!node || !node->listed)
            continue;
        if (m_listing.count(id)) {
            m_listAgain.insert(id);
            continue;
        }
        StartListing(*node);
    }
}

RygelMediaContainer* ServerCore::EventContainer(const Node& node)
{
    if (node.kind == NodeKind::Root)
        return m_rootObject;
    if (const auto found = m_eventContainers.find(node.Id()); found != m_eventContainers.end())
        return found->second;
    if (m_eventContainers.size() >= c_MaxEventContainers) {
        for (auto& [id, object] : m_eventContainers)
            g_object_unref(object);
        m_eventContainers.clear();
    }
    RygelMediaContainer* object = NewContainerObject(node, -1, nullptr);
    m_eventContainers.emplace(node.Id(), object);
    return object;
}

void ServerCore::Announce(Node& node)
{
    // ContentDirectory raises SystemUpdateID and names the container in ContainerUpdateIDs;
    // it listens on the root only.
    RygelMediaContainer* changed = EventContainer(node);
    g_signal_emit_by_name(m_rootObject, "container-updated", changed, changed, RYGEL_OBJECT_EVENT_TYPE_MODIFIED, FALSE);
    Q_EMIT ContentChanged(QString::fromStdString(node.Id()));
}

void ServerCore::AnnounceChild(Node& container, const Node& child, RygelObjectEventType type)
{
    // The container's update id becomes SystemUpdateID's, and ContainerUpdateIDs names the
    // container alone.
    RygelMediaContainer* parent = EventContainer(container);
    RygelMediaObject* object = NewEventObject(child, parent);
    g_signal_emit_by_name(m_rootObject, "container-updated", parent, object, type, FALSE);
    g_object_unref(object);
}

// ---- Resolving ids -----------------------------------------------------------------------

void ServerCore::Resolve(const std::string& id, NodeCallback then)
{
    if (id == ContentIndex::c_RootId) {
        then(&m_index.Root());
        return;
    }
    auto path = std::make_shared<std::vector<std::string>>(ContentIndex::AncestorIds(id));
    if (path->empty()) {
        then(m_index.Find(id));
        return;
    }
    ResolveFrom(path, 0, id, std::move(then));
}

void ServerCore::ResolveFrom(
    std::shared_ptr<std::vector<std::string>> path, size_t step, std::string id, NodeCallback then)
{
    if (step == path->size()) {
        then(m_index.Find(id));
        return;
    }
    const std::string ancestor = (*path)[step];
    EnsureListed(ancestor, [this, path, step, id, then](Node* node) {
        if (!node) {
            then(nullptr);
            return;
        }
        ResolveFrom(path, step + 1, id, then);
    });
}

RygelMediaContainer* ServerCore::ParentObject(const Node& node)
{
    const Node* parent = node.parent;
    if (!parent || parent->kind == NodeKind::Root)
        return RYGEL_MEDIA_CONTAINER(g_object_ref(m_rootObject));
    return NewContainerObject(*parent, parent->listed ? int(parent->children.size()) : -1, nullptr);
}

void ServerCore::FindObject(const std::string& id, GTask* task)
{
    m_lastBusyMs = NowMs();
    g_object_ref(task);
    Resolve(id, [this, task](Node* node) {
        if (!node) {
            g_task_return_pointer(task, nullptr, nullptr);
            g_object_unref(task);
            return;
        }
        if (node->kind == NodeKind::Root) {
            g_task_return_pointer(task, g_object_ref(m_rootObject), g_object_unref);
            g_object_unref(task);
            return;
        }
        const std::string nodeId = node->Id();
        if (node->IsContainer()) {
            EnsureListed(nodeId, [this, task](Node* container) {
                if (!container) {
                    g_task_return_pointer(task, nullptr, nullptr);
                } else {
                    RygelMediaContainer* parent = ParentObject(*container);
                    const int count = container->listed ? int(container->children.size()) : -1;
                    g_task_return_pointer(task, NewContainerObject(*container, count, parent), g_object_unref);
                    g_object_unref(parent);
                }
                g_object_unref(task);
            });
            return;
        }
        EnsureFacts({nodeId}, [this, task, nodeId] {
            Node* item = m_index.Find(nodeId);
            RygelMediaObject* object = nullptr;
            AnswerFolders folders;
            if (item && StillThere(*item, folders)) {
                RygelMediaContainer* parent = ParentObject(*item);
                object = NewItemObject(*item, parent, &ServerCore::PictureBytes);
                g_object_unref(parent);
            }
            g_task_return_pointer(task, object, object ? g_object_unref : nullptr);
            g_object_unref(task);
        });
    });
}

// ---- Children ----------------------------------------------------------------------------

void ServerCore::GetChildren(
    RygelMediaContainer* container, unsigned offset, unsigned count, const std::string& sort, GTask* task)
{
    m_lastBusyMs = NowMs();
    const std::string id = rygel_media_object_get_id(RYGEL_MEDIA_OBJECT(container));
    g_object_ref(task);
    g_object_ref(container);
    EnsureListed(id, [this, task, container, offset, count, sort](Node* node) {
        std::vector<std::string> page;
        if (node) {
            const std::vector<Node*>* ordered = TitleOrdered(*node, sort);
            const size_t total = node->children.size();
            const size_t first = std::min<size_t>(offset, total);
            const size_t end = count == 0 ? total : std::min<size_t>(total, first + size_t(count));
            for (size_t index = first; index < end; ++index)
                page.push_back((ordered ? (*ordered)[index] : node->children[index].get())->Id());
            // A client walking the container in listed order asks for the next pages next.
            if (!ordered && end < total && end > first)
                PrefetchFacts(node->Id(), end, std::min(total, end + c_ReadAheadPages * (end - first)), true);
        }
        EnsureFacts(page, [this, task, container, page] {
            RygelMediaObjects* objects = rygel_media_objects_new();
            AnswerFolders folders;
            bool missing = false;
            for (const std::string& childId : page) {
                Node* child = m_index.Find(childId);
                if (!child)
                    continue;
                RygelMediaObject* object = nullptr;
                if (child->IsContainer())
                    object = RYGEL_MEDIA_OBJECT(
                        NewContainerObject(*child, child->listed ? int(child->children.size()) : -1, container));
                else if (StillThere(*child, folders))
                    object = NewItemObject(*child, container, &ServerCore::PictureBytes);
                if (!object) {
                    missing = true;
                    continue;
                }
                gee_abstract_collection_add(GEE_ABSTRACT_COLLECTION(objects), object);
                g_object_unref(object);
            }
            // An item gone since the listing: the listing is out of date.
            if (missing && !page.empty()) {
                if (Node* child = m_index.Find(page.front()); child && child->parent)
                    RelistSoon(child->parent->Id());
            }
            g_task_return_pointer(task, objects, g_object_unref);
            g_object_unref(task);
            g_object_unref(container);
            // Only now: the answer just made used the newest facts.
            DropOldFacts();
            m_trimTimer.start();
        });
    });
}

const std::vector<Node*>* ServerCore::TitleOrdered(Node& container, const std::string& sort)
{
    std::optional<TitleSort> by = TitleSortOf(sort);
    if (!by)
        return nullptr;
    if (by->classFirst && AllOneKind(container))
        by->classFirst = false;
    const uint64_t generation = m_index.Generation();
    for (const TitleOrder& kept : m_titleOrders) {
        if (kept.container == &container && kept.generation == generation && kept.descending == by->descending
            && kept.classFirst == by->classFirst)
            return &kept.children;
    }
    std::vector<std::string> titles;
    std::vector<bool> containers;
    titles.reserve(container.children.size());
    containers.reserve(container.children.size());
    for (const auto& child : container.children) {
        titles.push_back(child->title);
        containers.push_back(child->IsContainer());
    }
    return &KeepTitleOrder(
        container, by->descending, by->classFirst, generation, TitleOrderOf(titles, containers, *by));
}

const std::vector<Node*>& ServerCore::KeepTitleOrder(
    Node& container, bool descending, bool classFirst, uint64_t generation, const std::vector<uint32_t>& places)
{
    TitleOrder& order = m_titleOrders[m_nextTitleOrder++ % m_titleOrders.size()];
    order.container = &container;
    order.descending = descending;
    order.classFirst = classFirst;
    order.generation = generation;
    order.children.clear();
    order.children.reserve(places.size());
    for (uint32_t place : places)
        order.children.push_back(container.children[place].get());
    return order.children;
}

void ServerCore::SortAhead(Node& container)
{
    if (container.children.size() < c_SortAheadChildren)
        return;
    auto titles = std::make_shared<std::vector<std::string>>();
    titles->reserve(container.children.size());
    for (const auto& child : container.children)
        titles->push_back(child->title);
    // The plain order serves "containers first" too where the children are all of one kind.
    m_background.start([this, titles, id = container.Id(), generation = m_index.Generation()] {
        Platform::LowerThisThreadsPriority();
        if (m_stopping)
            return;
        auto places = std::make_shared<std::vector<uint32_t>>(
            TitleOrderOf(*titles, std::vector<bool>(titles->size(), false), TitleSort{}));
        QMetaObject::invokeMethod(
            this,
            [this, places, id, generation] {
                Node* node = m_index.Find(id);
                if (node && generation == m_index.Generation() && node->children.size() == places->size())
                    KeepTitleOrder(*node, false, false, generation, *places);
            },
            Qt::QueuedConnection);
    });
}

void ServerCore::EnsureFacts(const std::vector<std::string>& ids, std::function<void()> then)
{
    struct Want {
        std::string id;
        std::string url;
        NodeKind kind;
        std::shared_ptr<ItemFacts> facts;
    };
    auto wants = std::make_shared<std::vector<Want>>();
    for (const std::string& id : ids) {
        Node* node = m_index.Find(id);
        if (node && !node->IsContainer() && !node->facts)
            wants->push_back(Want{id, node->Url(), node->kind, nullptr});
    }
    if (wants->empty()) {
        then();
        return;
    }
    // A page's files are read on every worker at once: reading tags is most of a cold page.
    const size_t parts = std::clamp<size_t>(wants->size() / c_FactsPerWorker, 1, size_t(m_workers.maxThreadCount()));
    auto left = std::make_shared<std::atomic<size_t>>(parts);
    for (size_t part = 0; part < parts; ++part) {
        m_workers.start([this, wants, left, part, parts, then] {
            std::vector<FactsWant> mine;
            for (size_t index = part; index < wants->size(); index += parts)
                mine.push_back(FactsWant{(*wants)[index].url, (*wants)[index].kind});
            std::vector<std::shared_ptr<ItemFacts>> read = ReadKeptFacts(mine);
            if (m_stopping)
                return;
            for (size_t index = part, mineIndex = 0; index < wants->size(); index += parts, ++mineIndex)
                (*wants)[index].facts = std::move(read[mineIndex]);
            if (left->fetch_sub(1) != 1)
                return;
            QMetaObject::invokeMethod(
                this,
                [this, wants, then] {
                    for (Want& want : *wants)
                        KeepFacts(want.id, want.url, std::move(want.facts));
                    then();
                },
                Qt::QueuedConnection);
        });
    }
}

std::vector<std::shared_ptr<ItemFacts>> ServerCore::ReadKeptFacts(const std::vector<FactsWant>& wants)
{
    return ReadFactsThrough(
        m_store.get(), wants, [this](const std::string& url, NodeKind kind, FileIdentity& identity) {
            return m_stopping ? nullptr : ReadFacts(m_host, url, kind, &identity);
        });
}

void ServerCore::DropOldFacts()
{
    while (m_factsHeld.size() > c_MaxFacts) {
        if (Node* old = m_index.Find(m_factsHeld.front()))
            old->facts.reset();
        m_factsHeld.pop_front();
    }
}

void ServerCore::KeepFacts(const std::string& id, const std::string& url, std::shared_ptr<ItemFacts> facts)
{
    Node* node = m_index.Find(id);
    if (!node || !node->HasUrl(url))
        return;
    node->unreadable = !facts;
    if (!facts)
        return;
    if (!node->facts)
        m_factsHeld.push_back(id);
    node->facts = std::move(facts);
}

void ServerCore::PrefetchFacts(const std::string& containerId, size_t first, size_t end, bool ahead)
{
    if (first >= end)
        return;
    // A read-ahead replaces the one before it of the container, gone out of date as the client
    // walked on; a listing's read replaces everything queued for the container.
    m_prefetchQueue.erase(
        std::remove_if(m_prefetchQueue.begin(), m_prefetchQueue.end(),
            [&](const PrefetchRange& queued) { return queued.containerId == containerId && (queued.ahead || !ahead); }),
        m_prefetchQueue.end());
    PrefetchRange range{containerId, first, end, ahead};
    if (ahead)
        m_prefetchQueue.push_front(std::move(range));
    else
        m_prefetchQueue.push_back(std::move(range));
    PrefetchNext();
}

void ServerCore::PrefetchNext()
{
    if (m_prefetching)
        return;
    while (!m_prefetchQueue.empty()) {
        PrefetchRange& range = m_prefetchQueue.front();
        Node* node = m_index.Find(range.containerId);
        struct Want {
            std::string id;
            std::string url;
            NodeKind kind;
        };
        std::vector<Want> slice;
        if (node) {
            const size_t end = std::min(node->children.size(), range.end);
            for (; range.next < end && slice.size() < c_PrefetchSlice; ++range.next) {
                const Node& child = *node->children[range.next];
                if (!child.IsContainer() && !child.facts && !child.unreadable)
                    slice.push_back(Want{child.Id(), child.Url(), child.kind});
            }
        }
        if (slice.empty()) {
            m_prefetchQueue.pop_front();
            continue;
        }
        m_prefetching = true;
        m_lastBusyMs = NowMs();
        // Reading ahead of a client walking a container is in the way of its next answer, and
        // runs as answers do; reading a whole listing gives way to everything else.
        QThreadPool& pool = range.ahead ? m_workers : m_background;
        pool.start([this, slice = std::move(slice), ahead = range.ahead] {
            // Not the idle class: such a thread can wait long while holding a lock an answer needs.
            if (!ahead)
                Platform::LowerThisThreadsPriority();
            std::vector<FactsWant> wants;
            for (const Want& want : slice)
                wants.push_back(FactsWant{want.url, want.kind});
            auto read = std::make_shared<std::vector<std::shared_ptr<ItemFacts>>>(ReadKeptFacts(wants));
            if (m_stopping)
                return;
            QMetaObject::invokeMethod(
                this,
                [this, slice, read] {
                    m_prefetching = false;
                    for (size_t index = 0; index < slice.size(); ++index) {
                        // An answer may have read it meanwhile; its facts are as new.
                        const Node* node = m_index.Find(slice[index].id);
                        if (node && !node->facts)
                            KeepFacts(slice[index].id, slice[index].url, (*read)[index]);
                    }
                    DropOldFacts();
                    PrefetchNext();
                },
                Qt::QueuedConnection);
        });
        return;
    }
}

// ---- Pictures ----------------------------------------------------------------------------

int64_t ServerCore::PictureBytes(const std::string& uri)
{
    if (!g_core)
        return -1;
    const auto found = g_core->m_pictureIndex.find(uri);
    return found == g_core->m_pictureIndex.end() ? -1 : int64_t(found->second->bytes->size());
}

int64_t ServerCore::ResourceBytes(const std::string& objectId, const std::string& resource)
{
    Node* node = g_core ? g_core->m_index.Find(objectId) : nullptr;
    if (!node || node->IsContainer())
        return -1;
    if (resource == "primary") {
        // The file as it is now: it may have grown or shrunk since its facts were read.
        const std::string path = node->facts ? node->facts->path : LocalPathOfItem(node->Url());
        struct stat info { };
        return !path.empty() && ::stat(path.c_str(), &info) == 0 ? int64_t(info.st_size) : -1;
    }
    if (resource == c_LpcmResourceName)
        return node->facts && node->facts->lpcmBytes > 0 ? node->facts->lpcmBytes : -1;
    return PictureBytes(PictureUri(resource, objectId));
}

void ServerCore::StorePicture(const std::string& uri, std::shared_ptr<const std::string> bytes)
{
    if (!bytes)
        return;
    if (const auto found = m_pictureIndex.find(uri); found != m_pictureIndex.end()) {
        m_pictureBytes -= found->second->bytes->size();
        m_pictures.erase(found->second);
        m_pictureIndex.erase(found);
    }
    m_pictures.push_front(Picture{uri, bytes});
    m_pictureIndex[uri] = m_pictures.begin();
    m_pictureBytes += bytes->size();
    while (m_pictureBytes > c_PictureBudgetBytes && m_pictures.size() > 1) {
        m_pictureBytes -= m_pictures.back().bytes->size();
        m_pictureIndex.erase(m_pictures.back().uri);
        m_pictures.pop_back();
    }
}

void ServerCore::ProducePicture(const std::string& uri, Done done)
{
    auto later = [this](Done call, std::shared_ptr<const std::string> bytes) {
        // Never from within the caller: a data source must not call back from its start.
        QMetaObject::invokeMethod(
            this, [call, bytes] { call(bytes); }, Qt::QueuedConnection);
    };
    if (const auto found = m_pictureIndex.find(uri); found != m_pictureIndex.end()) {
        m_pictures.splice(m_pictures.begin(), m_pictures, found->second);
        later(done, found->second->bytes);
        return;
    }
    std::string kind, objectId;
    Node* node = ParsePictureUri(uri, kind, objectId) ? m_index.Find(objectId) : nullptr;
    if (!node || !node->facts) {
        later(done, nullptr);
        return;
    }
    auto& waiters = m_pictureWaiters[uri];
    waiters.push_back(std::move(done));
    if (waiters.size() > 1)
        return;
    const std::string url = node->Url();
    const ItemFacts facts = *node->facts;
    m_workers.start([this, uri, kind, url, facts] {
        if (m_stopping)
            return;
        std::shared_ptr<const std::string> bytes;
        if (kind == "tn")
            bytes = MakePhotoPicture(url, c_ThumbnailSide, c_ThumbnailSide);
        else if (kind == "sm")
            bytes = MakePhotoPicture(url, c_SmallWidth, c_SmallHeight);
        else
            bytes = MakeAlbumArt(url, facts, c_ThumbnailSide);
        QMetaObject::invokeMethod(
            this,
            [this, uri, bytes] {
                StorePicture(uri, bytes);
                std::vector<Done> waiting;
                if (const auto found = m_pictureWaiters.find(uri); found != m_pictureWaiters.end()) {
                    waiting = std::move(found->second);
                    m_pictureWaiters.erase(found);
                }
                for (Done& call : waiting)
                    call(bytes);
            },
            Qt::QueuedConnection);
    });
}

// ---- Counting ----------------------------------------------------------------------------

void ServerCore::FillStore()
{
    if (m_store->Location().empty())
        return;
    m_filler.start([this] {
        // Nobody waits for it; it yields to answers and to the count. While clients browse,
        // answers and reading ahead read what they need; this would only list and read the
        // same beside them.
        Platform::LowerThisThreadsPriority();
        for (const MediaClassKind kind : {MediaClassKind::Music, MediaClassKind::Photos}) {
            WalkPublished(kind, std::numeric_limits<int64_t>::max(), [this](const Listing& listing) {
                std::vector<FactsWant> items;
                for (const ChildEntry& entry : listing.entries) {
                    if (!IsContainerKind(entry.kind))
                        items.push_back(FactsWant{entry.url, entry.kind});
                }
                for (size_t first = 0; first < items.size() && !m_stopping; first += c_FillSlice) {
                    WaitForQuiet(std::numeric_limits<int64_t>::max());
                    const size_t end = std::min(items.size(), first + c_FillSlice);
                    ReadKeptFacts(std::vector<FactsWant>(items.begin() + first, items.begin() + end));
                }
            });
        }
    });
}

void ServerCore::WaitForQuiet(int64_t givingUpMs) const
{
    while (!m_stopping && NowMs() < std::min(givingUpMs, m_lastBusyMs.load() + c_FillQuietMs))
        QThread::msleep(200);
}

void ServerCore::WalkPublished(
    MediaClassKind kind, int64_t givingUpMs, const std::function<void(const Listing&)>& visit)
{
    // What is published first, then each container once, its first child container next. A
    // container is listed when its turn comes: one listing is held at a time.
    std::vector<std::string> pending{std::string()};
    std::unordered_set<std::string> seen;
    while (!pending.empty() && !m_stopping) {
        const std::string url = std::move(pending.back());
        pending.pop_back();
        WaitForQuiet(givingUpMs);
        const Listing listing
            = url.empty() ? ListPublished(m_host, kind) : ListContainer(m_host, url, kind, &m_stopping);
        const size_t below = pending.size();
        for (const ChildEntry& entry : listing.entries) {
            if (IsContainerKind(entry.kind) && seen.insert(entry.fileKey.empty() ? entry.url : entry.fileKey).second)
                pending.push_back(entry.url);
        }
        // Taken from the back.
        std::reverse(pending.begin() + ptrdiff_t(below), pending.end());
        visit(listing);
    }
}

void ServerCore::CountSoon()
{
    m_countTimer.start();
}

void ServerCore::CountNow()
{
    if (m_countRunning) {
        m_countAgain = true;
        return;
    }
    m_countRunning = true;
    if (!m_storeFilled) {
        m_storeFilled = true;
        FillStore();
    }
    m_counter.start([this] {
        // The count is for the properties window: it lists everything, and must not slow answers
        // nor list beside a client walking a container that was just listed for it.
        Platform::LowerThisThreadsPriority();
        const int64_t givingUpMs = NowMs() + c_CountPatienceMs;
        Counts counts;
        for (const MediaClassKind kind : {MediaClassKind::Music, MediaClassKind::Photos}) {
            int& total = kind == MediaClassKind::Music ? counts.songs : counts.photos;
            WalkPublished(kind, givingUpMs, [&total](const Listing& listing) {
                for (const ChildEntry& entry : listing.entries)
                    total += IsContainerKind(entry.kind) ? 0 : 1;
            });
        }
        counts.known = !m_stopping;
        QMetaObject::invokeMethod(
            this,
            [this, counts] {
                m_countRunning = false;
                m_counts = counts;
                // The count listed everything, at rest: what it held goes back too.
                m_trimTimer.start();
                Q_EMIT CountsChanged();
                if (m_countAgain) {
                    m_countAgain = false;
                    CountSoon();
                }
            },
            Qt::QueuedConnection);
    });
}
