// Everything one media class shares among the objects it hands out: its configuration, the
// road to the host, the published set with its watcher and the folder memo. Held through a
// shared_ptr by MediaClassSupport and by every object handed out, so those may outlive the
// module object.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <lumo/Lumo.h>

#include "FolderMemo.h"
#include "HostLink.h"
#include "MediaClassSupport.h"
#include "MediaJudge.h"
#include "PublishedStore.h"
#include "PublishedWatcher.h"

namespace LumoModules {

// Cancel reaches the flag and every container being listed for the enumeration.
class CancelGroup {
public:
    void Reset() { m_cancelled.store(false); }
    void Cancel();
    const std::atomic<bool>& Flag() const { return m_cancelled; }

    // container (borrowed) hears Cancel while the returned guard lives.
    class Entry {
    public:
        Entry(CancelGroup& group, LumoApi::ContainerApi* container);
        ~Entry();
        Entry(const Entry&) = delete;
        Entry& operator=(const Entry&) = delete;

    private:
        CancelGroup& m_group;
        LumoApi::ContainerApi* m_container;
    };

private:
    std::atomic<bool> m_cancelled{false};
    // Guards m_active: the containers listed right now.
    std::mutex m_lock;
    std::vector<LumoApi::ContainerApi*> m_active;
};

// What Publish and CanPublish make of an item.
struct ClassItem {
    enum class Kind { None, Folder, Media };
    Kind kind = Kind::None;
    // The entry's URL: the item's with the class prefix.
    std::string entryUrl;
    std::string path;
    // Why it is none: 1629 for an item of another kind, 2 for a file that is not there.
    uint32_t refusal = LumoApi::ERROR_DATATYPE_MISMATCH;
};

class MediaClassState {
public:
    explicit MediaClassState(MediaClassConfig config);
    ~MediaClassState();

    const MediaClassConfig& Config() const { return m_config; }
    HostLink& Link() { return *m_link; }
    FolderMemo& Memo() { return m_memo; }
    PublishedStore& Store() { return m_store; }
    PublishedWatcher& Watcher() { return m_watcher; }

    const std::string& RootsUrl() const { return m_rootsUrl; }
    const std::string& PublishedUrl() const { return m_publishedUrl; }
    // "lumomusic-"
    const std::string& Prefix() const { return m_prefix; }
    const std::string& ContentType(int32_t format) const { return m_contentTypes[format]; }
    const std::string& ContentTypesText() const { return m_contentTypesText; }
    const char* Description(int32_t format) const { return m_descriptions[format].c_str(); }

    // Index of the class format of url (its text given), or -1. Reads the listing's record of
    // url when there is one, else looks at the file once.
    int32_t Identify(LumoApi::UrlApi* url, std::string_view urlText);
    // The kind of a folder's child by its content type, decided by the host.
    ChildKind KindOf(LumoApi::UrlApi* url);
    // What publishing url would add; raises when the host cannot be asked.
    ClassItem Classify(LumoApi::UrlApi* url);
    // The entry URL text an item stands for: its text with the class prefix when it is a local
    // file URL, its text as it stands otherwise.
    std::string EntryUrlOf(const std::string& urlText) const;

    // The memo's road to the host's disk cache.
    class CacheBacking : public MemoBacking {
    public:
        explicit CacheBacking(HostLink& link) : m_link(link) { }
        std::optional<std::string> Load(const std::string& key, uint32_t tag) override;
        void Save(const std::string& key, const std::string& bytes, uint32_t tag) override;

    private:
        HostLink& m_link;
    };

private:
    std::string DecideContentType(LumoApi::UrlApi* url);

    const MediaClassConfig m_config;
    const std::string m_prefix;
    const std::string m_rootsUrl;
    const std::string m_publishedUrl;
    std::string m_contentTypes[MediaClassSupport::c_FormatCount];
    std::string m_descriptions[MediaClassSupport::c_FormatCount];
    std::string m_contentTypesText;
    const std::vector<std::string> m_filter;

    std::shared_ptr<HostLink> m_link;
    CacheBacking m_backing;
    FolderMemo m_memo;
    PublishedStore m_store;
    PublishedWatcher m_watcher;
};

// The default database: "$XDG_DATA_HOME/Lumo Desktop/Published.db".
std::string DefaultDatabasePath();

} // namespace LumoModules
