// The tree the server shows: root, "Music" and "Photos", the published entries in publishing
// order, and below them what the modules list, learnt lazily as clients browse. It holds no
// Rygel object and touches no module: workers read, the main thread merges here.
//
// Object ids say what an item is, never when it was seen: a child's id is its parent's id, a
// "/" and a hash of the child's URL. Publishing or unpublishing something else, or a restart,
// leaves every other id as it was, so a TV's bookmarks and resume points keep working.
// Only the main thread uses an index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "server/AnswerFolders.h"

enum class NodeKind : uint8_t { Root, Class, Folder, Playlist, Song, Photo };

inline bool IsContainerKind(NodeKind kind)
{
    return kind == NodeKind::Root || kind == NodeKind::Class || kind == NodeKind::Folder || kind == NodeKind::Playlist;
}

// What the DIDL-Lite says of an item beyond its title, read from the modules on a worker.
struct ItemFacts {
    std::string path;
    // As served: "audio/mpeg", not the module's alias.
    std::string mime;
    int64_t sizeBytes = -1;
    int64_t modifiedSec = 0;
    // Songs.
    std::string artist;
    std::string album;
    std::string genre;
    int year = 0;
    int trackNumber = 0;
    int durationMs = 0;
    int bitRateKbps = 0;
    int sampleRateHz = 0;
    int channels = 0;
    // A cover embedded in the song or beside it: what the album art is made from.
    bool embeddedCover = false;
    std::string coverPath;
    // 16-bit PCM wave: its samples are also offered as LPCM.
    std::string lpcmMime;
    int64_t lpcmBytes = 0;
    // Photos.
    int width = 0;
    int height = 0;
    int64_t captureSec = 0;
    // Where the file was last found: kept by answers on the main thread, which alone read it,
    // beside facts that do not change once read.
    mutable FolderStamp found;
};

// One child as a listing gives it.
struct ChildEntry {
    std::string url;
    std::string title;
    NodeKind kind = NodeKind::Song;
    // "device:inode" of a folder; a folder already on the path is left out, so symbolic-link
    // loops end. Empty when unknown.
    std::string fileKey;
};

// A node holds what its id and URL are made from rather than the texts themselves: a
// collection of 100,000 songs is 100,000 nodes, and each text held once more is megabytes.
struct Node {
    Node* parent = nullptr;
    // The id's last part: the hash of the URL, and 2, 3… for a song a playlist lists again.
    // Classes keep their index here.
    uint64_t segment = 0;
    uint32_t repeat = 1;
    NodeKind kind = NodeKind::Song;

    // Containers.
    bool listed = false;
    // The last read found nothing (the file went, or no module reads it); read ahead no more.
    bool unreadable = false;
    // urlText holds only what follows the parent's URL and a "/".
    bool urlBelowParent = false;
    // The hash of "device:inode" of a folder (see ChildEntry::fileKey); 0 when unknown.
    uint64_t fileKeyHash = 0;

    std::string title;
    std::string urlText;
    std::vector<std::unique_ptr<Node>> children;

    // Items: null until read.
    std::shared_ptr<const ItemFacts> facts;

    bool IsContainer() const { return IsContainerKind(kind); }
    std::string Id() const;
    std::string Url() const;
    // Url() == url, without making the URL.
    bool HasUrl(std::string_view url) const;
};

class ContentIndex {
public:
    static constexpr const char c_RootId[] = "0";
    static constexpr const char c_MusicId[] = "music";
    static constexpr const char c_PhotosId[] = "photos";

    ContentIndex();

    Node& Root() { return *m_root; }
    Node& Music() { return *m_root->children[0]; }
    Node& Photos() { return *m_root->children[1]; }

    // A node already known; null for ids not seen (they may still resolve after listing).
    Node* Find(std::string_view id);

    // The ids of the path from a class down to id, excluding id's own last segment:
    // "music/a/b" gives "music", "music/a". Empty for ids outside both classes.
    static std::vector<std::string> AncestorIds(std::string_view id);

    // Replaces container's children by entries, in their order. Children that stay keep
    // their state (their own listings and facts), so a change deep down costs nothing above.
    // Containers that stand for one of their ancestors are left out. Answers true when the
    // children changed (added, removed, moved or retitled); removed nodes' ids are appended
    // to removedIds, descendants included.
    bool ApplyListing(
        Node& container, const std::vector<ChildEntry>& entries, std::vector<std::string>* removedIds = nullptr);

    // One child the module reported: added at position (at most the end), unless a child of
    // that id is there already or it stands for an ancestor. Answers the new node or null.
    Node* InsertChild(Node& container, const ChildEntry& entry, size_t position);
    // Takes out every child listed under url; answers whether one went. removedIds as for
    // ApplyListing.
    bool RemoveChild(Node& container, std::string_view url, std::vector<std::string>* removedIds = nullptr);

    // Forgets container's children; the next browse lists it again.
    void Forget(Node& container, std::vector<std::string>* removedIds = nullptr);

    // The 16 hex digits standing for url under its parent.
    static std::string Segment(std::string_view url);
    static uint64_t SegmentHash(std::string_view url);

    // How many nodes are known (for tests).
    size_t NodeCount() const { return m_nodes.size(); }
    // Gives node another title (its module's news said so).
    void Retitle(Node& node, std::string title);
    // Moves on whenever a container's children may have changed (added, removed, moved,
    // retitled or forgotten): what is worked out from them holds while it stays the same.
    uint64_t Generation() const { return m_generation; }

private:
    struct Key {
        const Node* parent;
        uint64_t segment;
        uint32_t repeat;
    };
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(const Key& key) const noexcept;
        size_t operator()(const Node* node) const noexcept
        {
            return (*this)(Key{node->parent, node->segment, node->repeat});
        }
    };
    struct KeyEqual {
        using is_transparent = void;
        static Key Of(const Node* node) { return Key{node->parent, node->segment, node->repeat}; }
        static Key Of(const Key& key) { return key; }
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const noexcept
        {
            const Key x = Of(a);
            const Key y = Of(b);
            return x.parent == y.parent && x.segment == y.segment && x.repeat == y.repeat;
        }
    };

    Node* Lookup(const Node* parent, uint64_t segment, uint32_t repeat) const;
    std::unique_ptr<Node> NewChild(
        Node& container, const std::string& containerUrl, const ChildEntry& entry, uint64_t segment, uint32_t repeat);
    void Unregister(Node& node, std::vector<std::string>* removedIds);

    std::unique_ptr<Node> m_root;
    // Every node, found by its parent and its id's last part: an id is looked up one part at
    // a time, without the ids themselves being held.
    std::unordered_set<Node*, KeyHash, KeyEqual> m_nodes;
    // See Generation().
    uint64_t m_generation = 0;
};
