#include "server/ContentIndex.h"

#include <algorithm>
#include <cstdio>

namespace {

std::unique_ptr<Node> NewNode(std::string id, std::string title, NodeKind kind, Node* parent)
{
    auto node = std::make_unique<Node>();
    node->id = std::move(id);
    node->title = std::move(title);
    node->kind = kind;
    node->parent = parent;
    return node;
}

// A container is left out when it is one of its own ancestors: a playlist that lists
// itself, or a folder reached again through a link.
bool RepeatsAncestor(const Node& container, const ChildEntry& entry)
{
    if (!IsContainerKind(entry.kind))
        return false;
    for (const Node* node = &container; node; node = node->parent) {
        if (!node->url.empty() && node->url == entry.url)
            return true;
        if (!entry.fileKey.empty() && node->fileKey == entry.fileKey)
            return true;
    }
    return false;
}

} // namespace

ContentIndex::ContentIndex()
{
    m_root = NewNode(c_RootId, "Lumo", NodeKind::Root, nullptr);
    m_root->listed = true;
    for (const auto& [id, title] : {std::pair{c_MusicId, "Music"}, std::pair{c_PhotosId, "Photos"}}) {
        auto node = NewNode(id, title, NodeKind::Class, m_root.get());
        m_nodes[node->id] = node.get();
        m_root->children.push_back(std::move(node));
    }
    m_nodes[m_root->id] = m_root.get();
}

Node* ContentIndex::Find(std::string_view id)
{
    const auto found = m_nodes.find(id);
    return found == m_nodes.end() ? nullptr : found->second;
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

std::string ContentIndex::Segment(std::string_view url)
{
    // FNV-1a: stable across runs and builds, unlike std::hash.
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : url) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

void ContentIndex::Unregister(Node& node, std::vector<std::string>* removedIds)
{
    for (auto& child : node.children)
        Unregister(*child, removedIds);
    m_nodes.erase(node.id);
    if (removedIds)
        removedIds->push_back(node.id);
}

void ContentIndex::Forget(Node& container, std::vector<std::string>* removedIds)
{
    for (auto& child : container.children)
        Unregister(*child, removedIds);
    container.children.clear();
    container.listed = false;
}

bool ContentIndex::ApplyListing(
    Node& container, const std::vector<ChildEntry>& entries, std::vector<std::string>* removedIds)
{
    // The nodes there now, by id, to be taken over by the entries that keep them.
    std::unordered_map<std::string, std::unique_ptr<Node>> previous;
    std::vector<std::string> previousOrder;
    for (auto& child : container.children) {
        previousOrder.push_back(child->id);
        previous.emplace(child->id, std::move(child));
    }
    container.children.clear();

    bool changed = !container.listed;
    std::unordered_map<std::string, int> uses;
    for (const ChildEntry& entry : entries) {
        if (RepeatsAncestor(container, entry))
            continue;
        // A playlist may hold one song twice: the second gets the next id in order.
        const std::string segment = Segment(entry.url);
        const int use = ++uses[segment];
        const std::string id = container.id + "/" + segment + (use > 1 ? "." + std::to_string(use) : "");
        std::unique_ptr<Node> node;
        const auto kept = previous.find(id);
        if (kept != previous.end() && kept->second->kind == entry.kind && kept->second->url == entry.url) {
            node = std::move(kept->second);
            previous.erase(kept);
            if (node->title != entry.title) {
                node->title = entry.title;
                changed = true;
            }
        } else {
            node = NewNode(id, entry.title, entry.kind, &container);
            node->url = entry.url;
            node->fileKey = entry.fileKey;
            // Same id, other kind or URL (a collision): the old node goes.
            if (kept != previous.end()) {
                Unregister(*kept->second, removedIds);
                previous.erase(kept);
            }
            m_nodes[node->id] = node.get();
            changed = true;
        }
        container.children.push_back(std::move(node));
    }
    for (auto& [id, node] : previous) {
        Unregister(*node, removedIds);
        changed = true;
    }
    if (!changed) {
        // Same set; a move shows only in the order.
        for (size_t index = 0; index < container.children.size() && !changed; ++index)
            changed = index >= previousOrder.size() || container.children[index]->id != previousOrder[index];
    }
    container.listed = true;
    return changed;
}

Node* ContentIndex::InsertChild(Node& container, const ChildEntry& entry, size_t position)
{
    if (!container.IsContainer() || RepeatsAncestor(container, entry))
        return nullptr;
    std::string id = container.id + "/" + Segment(entry.url);
    if (m_nodes.count(id))
        return nullptr;
    auto node = NewNode(std::move(id), entry.title, entry.kind, &container);
    node->url = entry.url;
    node->fileKey = entry.fileKey;
    Node* added = node.get();
    m_nodes[added->id] = added;
    position = std::min(position, container.children.size());
    container.children.insert(container.children.begin() + ptrdiff_t(position), std::move(node));
    return added;
}

bool ContentIndex::RemoveChild(Node& container, std::string_view url, std::vector<std::string>* removedIds)
{
    const auto first = std::stable_partition(container.children.begin(), container.children.end(),
        [&](const std::unique_ptr<Node>& child) { return child->url != url; });
    if (first == container.children.end())
        return false;
    for (auto gone = first; gone != container.children.end(); ++gone)
        Unregister(**gone, removedIds);
    container.children.erase(first, container.children.end());
    return true;
}
