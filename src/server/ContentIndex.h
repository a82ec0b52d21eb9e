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
#include <unordered_map>
#include <vector>

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

struct Node {
    std::string id;
    std::string url;
    std::string title;
    std::string fileKey;
    NodeKind kind = NodeKind::Song;
    Node* parent = nullptr;

    // Containers.
    bool listed = false;
    std::vector<std::unique_ptr<Node>> children;

    // Items: null until read.
    std::shared_ptr<const ItemFacts> facts;
    // The last read found nothing (the file went, or no module reads it); read ahead no more.
    bool unreadable = false;

    bool IsContainer() const { return IsContainerKind(kind); }
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

private:
    void Unregister(Node& node, std::vector<std::string>* removedIds);

    std::unique_ptr<Node> m_root;
    // Every node by id, for lookups without walking; the keys view the nodes' own ids, which
    // never change while the node is registered.
    std::unordered_map<std::string_view, Node*> m_nodes;
};
