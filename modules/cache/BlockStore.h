// The persistent, size-bounded store of byte blocks behind "DiskCacheApi": one SQLite database
// in WAL mode, shared by every thread of the process and by other processes.
//
// Layout (schema version 1):
//   entries(id, key UNIQUE, tag, size, checksum, last_used): one small row per block;
//   blocks(id, data): the bytes, apart so that refreshing last_used never rewrites them;
//   totals(bytes): the sum of entries.size, kept by triggers so every process sees one figure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace LumoCache {

class Connection;

class BlockStore {
public:
    using WarnFunction = std::function<void(const std::string& text)>;

    static constexpr const char c_FileName[] = "DiskCache.db";

    // Opens or creates the database in folder (created when missing) on first use. A database
    // that cannot be used is moved aside to "<file>.bad" and started afresh; when even that fails, or
    // folder is empty, the store lives in memory for this process. warn hears about both.
    BlockStore(std::string folder, WarnFunction warn);
    ~BlockStore();
    BlockStore(const BlockStore&) = delete;
    BlockStore& operator=(const BlockStore&) = delete;

    // Replaces key's block, then evicts the least recently used blocks down to 90% of
    // maxSizeBytes when the total exceeds it. Throws CacheError: 112 for a block larger than
    // maxSizeBytes, the mapped database error otherwise. Any thread.
    void Store(const char* key, const uint8_t* bytes, uint32_t sizeBytes, uint32_t tag, uint64_t maxSizeBytes);
    // Copies key's block into bytes; false when absent or (tag nonzero) stored with another
    // tag. Throws CacheError on failure. Any thread.
    bool Lookup(const char* key, uint32_t tag, std::vector<uint8_t>& bytes);
    // Throws CacheError on failure. Any thread.
    void Remove(const char* key);

    struct Stats {
        uint32_t entries = 0;
        uint64_t bytes = 0;
    };
    // What the store holds now. Throws CacheError on failure. Any thread.
    Stats Statistics();
    // The database file; "" while the store lives in memory.
    std::string Location();

private:
    template <class Body>
    auto Attempt(uint32_t failureCode, Body&& body);
    std::unique_ptr<Connection> Connect(const std::string& path);
    void Open();
    void Recover(const std::string& reason);
    Connection& Db();
    int64_t NextStamp();
    // Inside a transaction of the caller's.
    void WriteTouches();
    // In a transaction of its own; failures only drop the stamps.
    void FlushTouches() noexcept;
    void Evict(uint64_t maxSizeBytes, int64_t keepId);

    const WarnFunction m_warn;

    // Guards everything below. One connection behind one lock rather than one per thread:
    // SQLite admits one writer at a time anyway, lookups are short point queries, and
    // per-thread connections would outlive the threads of callers we do not control.
    std::mutex m_lock;
    // Empty once the store has fallen back to memory.
    std::string m_path;
    std::unique_ptr<Connection> m_db;
    int64_t m_lastStamp = 0;
    // Lookups only note when a key was used; the stamps reach the database with the next
    // store (or in a batch), so a lookup is a read, not a write transaction.
    std::unordered_map<std::string, int64_t> m_touched;
};

} // namespace LumoCache
