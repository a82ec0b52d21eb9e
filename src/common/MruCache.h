// A bounded cache keyed by text that forgets its least recently used entries in batches, so
// a burst of new keys does not pay for an eviction on every store.
#pragma once

#include <algorithm>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Holds no lock: every owner guards it with its own.
template <class T>
class MruCache {
public:
    // Called with its context for each value a clean-up drops, after the entry left the cache.
    using EvictionCallback = void (*)(void* context, T& value);

    explicit MruCache(int32_t capacity)
        : m_slack(std::max<int32_t>(std::max<int32_t>(capacity, 0) / 10, 1)),
          m_highWater(std::max<int32_t>(capacity, 0) + m_slack)
    {
        m_index.reserve(static_cast<size_t>(m_highWater) + 1);
    }

    MruCache(const MruCache&) = delete;
    MruCache& operator=(const MruCache&) = delete;

    void SetEvictionCallback(EvictionCallback callback, void* context) noexcept
    {
        m_evict = callback;
        m_evictContext = context;
    }

    // Copies the value of key out and marks it most recently used; false, changing nothing,
    // when key is absent.
    bool Lookup(const std::string& key, T& value)
    {
        const auto found = m_index.find(std::string_view(key));
        if (found == m_index.end())
            return false;
        Touch(found->second);
        value = found->second->Value;
        return true;
    }

    // Stores value under key as the most recently used entry. Only a new key can make room by
    // dropping the Slack least recently used entries; replacing a value never drops any.
    void Store(const std::string& key, T value)
    {
        auto found = m_index.find(std::string_view(key));
        if (found != m_index.end()) {
            found->second->Value = std::move(value);
            Touch(found->second);
            return;
        }
        Clean();
        m_order.push_front(Entry{key, std::move(value)});
        // The index's key views the text held by the list node, which never moves.
        m_index.emplace(std::string_view(m_order.front().Key), m_order.begin());
        ++m_clock;
    }

    // Calls visit(key, value) for every entry, in key order, without marking any as used.
    template <class Visit>
    void ForEach(Visit&& visit)
    {
        std::vector<Entry*> entries;
        entries.reserve(m_order.size());
        for (Entry& entry : m_order)
            entries.push_back(&entry);
        std::sort(entries.begin(), entries.end(), [](const Entry* a, const Entry* b) { return a->Key < b->Key; });
        for (Entry* entry : entries)
            visit(std::as_const(entry->Key), entry->Value);
    }

    size_t Count() const noexcept { return m_index.size(); }
    int32_t Slack() const noexcept { return m_slack; }
    int32_t HighWater() const noexcept { return m_highWater; }
    // Counts stores and uses; 64 bits, so it never wraps in a session.
    uint64_t Clock() const noexcept { return m_clock; }

private:
    struct Entry {
        std::string Key;
        T Value;
    };
    // Front: the most recently used.
    using List = std::list<Entry>;

    void Touch(typename List::iterator entry)
    {
        m_order.splice(m_order.begin(), m_order, entry);
        ++m_clock;
    }

    void Clean()
    {
        if (m_index.size() < static_cast<size_t>(m_highWater))
            return;
        const size_t drop = std::min(m_index.size(), static_cast<size_t>(m_slack));
        // Keys, not iterators, from here on: a callback may come back into this cache.
        std::vector<std::string> keys;
        keys.reserve(drop);
        for (auto entry = m_order.rbegin(); keys.size() < drop; ++entry)
            keys.push_back(entry->Key);

        for (const std::string& key : keys) {
            const auto found = m_index.find(std::string_view(key));
            if (found == m_index.end())
                continue;
            // Out of the cache before the callback runs, so a callback that raises cannot
            // leave an entry whose value it already disposed of.
            const typename List::iterator entry = found->second;
            T value = std::move(entry->Value);
            m_index.erase(found);
            m_order.erase(entry);
            if (m_evict)
                m_evict(m_evictContext, value);
        }
    }

    const int32_t m_slack;
    const int32_t m_highWater;
    uint64_t m_clock = 0;
    EvictionCallback m_evict = nullptr;
    void* m_evictContext = nullptr;
    List m_order;
    std::unordered_map<std::string_view, typename List::iterator> m_index;
};
