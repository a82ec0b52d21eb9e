#include "server/ContentIndex.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace {

constexpr const char* c_ClassIds[] = {ContentIndex::c_MusicId, ContentIndex::c_PhotosId};

uint64_t Fnv(std::string_view text)
{
    // FNV-1a: stable across runs and builds, unlike std::hash.
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

void AppendSegment(std::string& id, uint64_t segment, uint32_t repeat)
{
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(segment));
    id.append(text, size_t(length));
    if (repeat > 1) {
        id += '.';
        id += std::to_string(repeat);
    }
}

// One part of an id after the class, exactly as AppendSegment writes it; anything else (capitals,
// a leading zero, ".1") names nothing.
bool ParseSegment(std::string_view text, uint64_t& segment, uint32_t& repeat)
{
    if (text.size() < 16)
        return false;
    segment = 0;
    for (size_t index = 0; index < 16; ++index) {
        const char c = text[index];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        segment = segment << 4 | uint64_t(digit);
    }
    repeat = 1;
    if (text.size() == 16)
        return true;
    const std::string_view number = text.substr(17);
    if (text[16] != '.' || number.empty() || number.size() > 9 || number[0] == '0')
        return false;
    uint32_t value = 0;
    for (char c : number) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + uint32_t(c - '0');
    }
    if (value < 2)
        return false;
    repeat = value;
    return true;
}

// A container is left out when it is one of its own ancestors: a playlist that lists
// itself, or a folder reached again through a link.
bool RepeatsAncestor(const Node& container, const ChildEntry& entry)
{
    if (!IsContainerKind(entry.kind))
        return false;
    const uint64_t fileKey = entry.fileKey.empty() ? 0 : Fnv(entry.fileKey);
    for (const Node* node = &container; node; node = node->parent) {
        if (fileKey && node->fileKeyHash == fileKey)
            return true;
        if (node->kind != NodeKind::Root && node->kind != NodeKind::Class && node->HasUrl(entry.url))
            return true;
    }
    return false;
}

} // namespace

std::string Node::Id() const
{
    if (kind == NodeKind::Root)
        return ContentIndex::c_RootId;
    if (kind == NodeKind::Class || !parent)
        return segment < 2 ? c_ClassIds[segment] : std::string();
    std::string id = parent->Id();
    id += '/';
    AppendSegment(id, segment, repeat);
    return id;
}

std::string Node::Url() const
{
    if (!urlBelowParent || !parent)
        return urlText;
    std::string url = parent->Url();
    url += '/';
    url += urlText;
    return url;
}

bool Node::HasUrl(std::string_view url) const
{
    if (!urlBelowParent || !parent)
        return url == urlText;
    const size_t length = urlText.size();
    if (url.size() <= length || url.substr(url.size() - length) != urlText || url[url.size() - length - 1] != '/')
        return false;
    return parent->HasUrl(url.substr(0, url.size() - length - 1));
}

size_t ContentIndex::KeyHash::operator()(const Key& key) const noexcept
{
    // The segment is a hash already; the parent and the repeat only need mixing in.
    return size_t(key.segment ^ (uint64_t(reinterpret_cast<uintptr_t>(key.parent)) * 0x9e3779b97f4a7c15ull)
        ^ (uint64_t(key.repeat) << 48));
}

ContentIndex::ContentIndex()
{
    m_root = std::make_unique<Node>();
    m_root->kind = NodeKind::Root;
    m_root->title = "Lumo";
    m_root->listed = true;
    for (const auto& [index, title] : {std::pair{0, "Music"}, std::pair{1, "Photos"}}) {
        auto node = std::make_unique<Node>();
        node->kind = NodeKind::Class;
        node->segment = uint64_t(index);
        node->title = title;
        node->parent = m_root.get();
        m_nodes.insert(node.get());
        m_root->children.push_back(std::move(node));
    }
}

Node* ContentIndex::Lookup(const Node* parent, uint64_t segment, uint32_t repeat) const
{
    const auto found = m_nodes.find(Key{parent, segment, repeat});
    return found == m_nodes.end() ? nullptr : *found;
}

Node* ContentIndex::Find(std::string_view id)
{
    if (id == c_RootId)
        return m_root.get();
    size_t slash = id.find('/');
    const std::string_view head = id.substr(0, slash);
    Node* node = head == c_MusicId ? &Music() : head == c_PhotosId ? &Photos() : nullptr;
    while (node && slash != std::string_view::npos) {
        const size_t next = id.find('/', slash + 1);
        uint64_t segment;
        uint32_t repeat;
        if (!ParseSegment(
                id.substr(slash + 1, next == std::string_view::npos ? next : next - slash - 1), segment, repeat))
            return nullptr;
        node = Lookup(node, segment, repeat);
        slash = next;
    }
    return node;
}

std::vector<std::string> ContentIndex::AncestorIds(std::string_view id)
{
    std::vector<std::string> ids;
    size_t slash = id.find('/');
    const std::string_view head = id.substr(0, slash);
    if (head != c_MusicId && head != c_PhotosId)
        return ids;
    while (slash != std::string_view::npos) {
        ids.emplace_back(id.substr(0, slash));
        slash = id.find('/', slash + 1);
    }
    return ids;
}

uint64_t ContentIndex::SegmentHash(std::string_view url)
{
    return Fnv(url);
}

std::string ContentIndex::Segment(std::string_view url)
{
    std::string text;
    AppendSegment(text, Fnv(url), 1);
    return text;
}

std::unique_ptr<Node> ContentIndex::NewChild(
    Node& container, const std::string& containerUrl, const ChildEntry& entry, uint64_t segment, uint32_t repeat)
{
    auto node = std::make_unique<Node>();
    node->parent = &container;
    node->segment = segment;
    node->repeat = repeat;
    node->kind = entry.kind;
    node->title = entry.title;
    node->fileKeyHash = entry.fileKey.empty() ? 0 : Fnv(entry.fileKey);
    // Most URLs are their folder's and a name: only the name is held.
    const size_t length = containerUrl.size();
    if (length && entry.url.size() > length + 1 && entry.url.compare(0, length, containerUrl) == 0
        && entry.url[length] == '/') {
        node->urlBelowParent = true;
        node->urlText = entry.url.substr(length + 1);
    } else {
        node->urlText = entry.url;
    }
    return node;
}

void ContentIndex::Unregister(Node& node, std::vector<std::string>* removedIds)
{
    for (auto& child : node.children)
        Unregister(*child, removedIds);
    if (removedIds)
        removedIds->push_back(node.Id());
    m_nodes.erase(&node);
}

void ContentIndex::Forget(Node& container, std::vector<std::string>* removedIds)
{
    ++m_generation;
    for (auto& child : container.children)
        Unregister(*child, removedIds);
    container.children.clear();
    container.listed = false;
}

void ContentIndex::Retitle(Node& node, std::string title)
{
    ++m_generation;
    node.title = std::move(title);
}

bool ContentIndex::ApplyListing(
    Node& container, const std::vector<ChildEntry>& entries, std::vector<std::string>* removedIds)
{
    // The children there now, to be taken over by the entries that keep them.
    std::vector<std::unique_ptr<Node>> previous = std::move(container.children);
    container.children.clear();
    std::vector<const Node*> previousOrder;
    previousOrder.reserve(previous.size());
    for (const auto& child : previous)
        previousOrder.push_back(child.get());
    // Where each of them is in previous, by its place in the index.
    std::unordered_map<const Node*, size_t> previousAt;
    previousAt.reserve(previous.size());
    for (size_t index = 0; index < previous.size(); ++index)
        previousAt.emplace(previous[index].get(), index);

    const std::string containerUrl = container.Url();
    bool changed = !container.listed;
    std::unordered_map<uint64_t, uint32_t> uses;
    for (const ChildEntry& entry : entries) {
        if (RepeatsAncestor(container, entry))
            continue;
        // A playlist may hold one song twice: the second gets the next id in order.
        const uint64_t segment = Fnv(entry.url);
        const uint32_t repeat = ++uses[segment];
        std::unique_ptr<Node> node;
        Node* kept = Lookup(&container, segment, repeat);
        const auto at = kept ? previousAt.find(kept) : previousAt.end();
        if (at != previousAt.end() && kept->kind == entry.kind && kept->HasUrl(entry.url)) {
            node = std::move(previous[at->second]);
            previousAt.erase(at);
            if (node->title != entry.title) {
                node->title = entry.title;
                changed = true;
            }
        } else {
            // Same id, other kind or URL (a collision): the old node goes.
            if (at != previousAt.end()) {
                Unregister(*previous[at->second], removedIds);
                previous[at->second].reset();
                previousAt.erase(at);
            }
            node = NewChild(container, containerUrl, entry, segment, repeat);
            m_nodes.insert(node.get());
            changed = true;
        }
        container.children.push_back(std::move(node));
    }
    for (auto& node : previous) {
        if (node) {
            Unregister(*node, removedIds);
            changed = true;
        }
    }
    if (!changed) {
        // Same set; a move shows only in the order.
        for (size_t index = 0; index < container.children.size() && !changed; ++index)
            changed = index >= previousOrder.size() || container.children[index].get() != previousOrder[index];
    }
    container.listed = true;
    // A listing that changed nothing leaves what was worked out from the children standing.
    if (changed)
        ++m_generation;
    return changed;
}

Node* ContentIndex::InsertChild(Node& container, const ChildEntry& entry, size_t position)
{
    ++m_generation;
    if (!container.IsContainer() || RepeatsAncestor(container, entry))
        return nullptr;
    const uint64_t segment = Fnv(entry.url);
    if (Lookup(&container, segment, 1))
        return nullptr;
    auto node = NewChild(container, container.Url(), entry, segment, 1);
    Node* added = node.get();
    m_nodes.insert(added);
    position = std::min(position, container.children.size());
    container.children.insert(container.children.begin() + ptrdiff_t(position), std::move(node));
    return added;
}

bool ContentIndex::RemoveChild(Node& container, std::string_view url, std::vector<std::string>* removedIds)
{
    ++m_generation;
    const auto first = std::stable_partition(container.children.begin(), container.children.end(),
        [&](const std::unique_ptr<Node>& child) { return !child->HasUrl(url); });
    if (first == container.children.end())
        return false;
    for (auto gone = first; gone != container.children.end(); ++gone)
        Unregister(**gone, removedIds);
    container.children.erase(first, container.children.end());
    return true;
}
