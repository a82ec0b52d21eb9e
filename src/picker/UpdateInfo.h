// One change for a view, made on any thread and applied on the interface thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Url.h>

class QTreeWidgetItem;

enum UpdateKind : uint8_t {
    ChildAdded = 1,
    ChildRemoved = 2,
    ChildChanged = 3,
    Enumerated = 4,
};

// The URL texts of a container's children, in the order the container gave them.
using ChildList = std::vector<std::string>;

struct UpdateInfo {
    UpdateInfo(uint8_t kind, LumoApi::ApiRef<LumoApi::UrlApi> item, std::unique_ptr<ChildList> children = nullptr)
        : m_kind(kind), m_item(std::move(item)), m_ChildList(std::move(children))
    {
    }

    uint8_t m_kind;
    // Kinds 1 to 3: the child; kind 4: the container that was listed.
    LumoApi::ApiRef<LumoApi::UrlApi> m_item;
    // The tree node under which the change happened; none outside the tree and for its root.
    QTreeWidgetItem* m_node = nullptr;
    // Kind 4 only.
    std::unique_ptr<ChildList> m_ChildList;
};

// Two references name the same item when their URL texts are equal; two empty ones are equal.
bool SameItem(LumoApi::UrlApi* a, LumoApi::UrlApi* b);
