// A bounded cache keyed by text that forgets its least recently used entries in batches, so
// the cost of finding them is paid once per batch rather than on every store.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Holds no lock: every owner guards it with its own.
template <class T>
class MruCache {
public:
    // Called with its context for each value a clean-up drops, after the entry left the map.
    using EvictionCallback = void (*)(void* context, T& value);

    explicit MruCache(int32_t capacity)
        : m_slack(std::max<int32_t>(std::max<int32_t>(capacity, 0) / 10, 1)),
          m_highWater(std::max<int32_t>(capacity, 0) + m_slack)
    {
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
        const auto found = m_map.find(key);
        if (found == m_map.end())
            return false;
        found->second.Stamp = m_clock++;
        value = found->second.Value;
        return true;
    }

    // Stores value under key as the most recently used entry. Only a new key can make room by
    // dropping the Slack least recently used entries; replacing a value never drops any.
    void Store(const std::string& key, T value)
    {
        auto found = m_map.find(key);
        if (found == m_map.end()) {
            Clean();
            found = m_map.try_emplace(key).first;
        }
        found->second.Value = std::move(value);
        found->second.Stamp = m_clock++;
    }

    // Calls visit(key, value) for every entry, in key order, without marking any as used.
    template <class Visit>
    void ForEach(Visit&& visit)
    {
        for (auto& [key, info] : m_map)
            visit(key, info.Value);
    }

    size_t Count() const noexcept { return m_map.size(); }
    int32_t Slack() const noexcept { return m_slack; }
    int32_t HighWater() const noexcept { return m_highWater; }
    uint64_t Clock() const noexcept { return m_clock; }

private:
    struct MapInfo {
        T Value{};
        // The Clock value of the last use. 64 bits: a 32-bit clock would wrap in a long
        // session and make the newest entries look the oldest.
        uint64_t Stamp = 0;
    };
    using Map = std::map<std::string, MapInfo>;

    struct CleanInfo {
        typename Map::iterator Entry;
        uint64_t Stamp;
    };

    void Clean()
    {
        if (m_map.size() < static_cast<size_t>(m_highWater))
            return;
        std::vector<CleanInfo> infos;
        infos.reserve(m_map.size());
        for (auto entry = m_map.begin(); entry != m_map.end(); ++entry)
            infos.push_back({entry, entry->second.Stamp});
        const size_t drop = std::min(infos.size(), static_cast<size_t>(m_slack));
        std::partial_sort(infos.begin(), infos.begin() + drop, infos.end(),
            [](const CleanInfo& a, const CleanInfo& b) { return a.Stamp < b.Stamp; });

        // Keys, not iterators, from here on: a callback may come back into this cache.
        std::vector<std::string> keys;
        keys.reserve(drop);
        for (size_t i = 0; i < drop; ++i)
            keys.push_back(infos[i].Entry->first);
        infos.clear();

        for (const std::string& key : keys) {
            const auto found = m_map.find(key);
            if (found == m_map.end())
                continue;
            // Out of the map before the callback runs, so a callback that raises cannot leave
            // an entry whose value it already disposed of.
            T value = std::move(found->second.Value);
            m_map.erase(found);
            if (m_evict)
                m_evict(m_evictContext, value);
        }
    }

    const int32_t m_slack;
    const int32_t m_highWater;
    uint64_t m_clock = 0;
    EvictionCallback m_evict = nullptr;
    void* m_evictContext = nullptr;
    Map m_map;
};
