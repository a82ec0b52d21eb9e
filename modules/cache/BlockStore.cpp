#include "BlockStore.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

#include <sqlite3.h>

#include <lumo/Errors.h>

#include "Guard.h"
#include "support/Sqlite.h"
#include "support/SystemCodes.h"

namespace LumoCache {

using LumoModules::DatabaseHandle;
using LumoModules::Exec;
using LumoModules::IsDamage;
using LumoModules::Query;
using LumoModules::SetAside;
using LumoModules::SqliteError;
using LumoModules::Statement;

namespace {

constexpr int c_SchemaVersion = 1;
// Another process may hold the write lock for the length of one store or one eviction.
constexpr int c_BusyTimeoutMs = 5000;
constexpr size_t c_MaxPendingTouches = 512;

// Memory maps stay off (SQLite's default): a database file truncated by another process would
// raise SIGBUS in a mapped read. synchronous=NORMAL in WAL mode loses no committed transaction
// when a process is killed, only on a power cut, and then the database is still consistent.
constexpr const char c_Setup[] = "PRAGMA journal_mode=WAL;"
                                 "PRAGMA synchronous=NORMAL;"
                                 "PRAGMA journal_size_limit=67108864;";

constexpr const char c_Schema[] = R"(
CREATE TABLE IF NOT EXISTS entries(
    id INTEGER PRIMARY KEY,
    key TEXT NOT NULL UNIQUE,
    tag INTEGER NOT NULL,
    size INTEGER NOT NULL,
    checksum INTEGER NOT NULL,
    last_used INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS entries_by_use ON entries(last_used);
CREATE TABLE IF NOT EXISTS blocks(id INTEGER PRIMARY KEY, data BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS totals(id INTEGER PRIMARY KEY CHECK (id = 1), bytes INTEGER NOT NULL);
INSERT OR IGNORE INTO totals(id, bytes) VALUES(1, 0);
CREATE TRIGGER IF NOT EXISTS entries_added AFTER INSERT ON entries BEGIN
    UPDATE totals SET bytes = bytes + new.size WHERE id = 1;
END;
CREATE TRIGGER IF NOT EXISTS entries_resized AFTER UPDATE OF size ON entries BEGIN
    UPDATE totals SET bytes = bytes - old.size + new.size WHERE id = 1;
END;
CREATE TRIGGER IF NOT EXISTS entries_removed AFTER DELETE ON entries BEGIN
    UPDATE totals SET bytes = bytes - old.size WHERE id = 1;
    DELETE FROM blocks WHERE id = old.id;
END;
PRAGMA user_version = 1;
)";

// Failures at open that a new file may cure. A busy database is someone else's good one.
bool FreshFileMayHelp(int code)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_FULL:
        return false;
    default:
        return true;
    }
}

// SQLite checks the structure of its pages, not the bytes of a blob; this catches a block
// whose pages were damaged on disk. Every step is a bijection of the state, so any change
// confined to one 8-byte word always shows.
uint64_t Checksum(const uint8_t* bytes, size_t sizeBytes)
{
    uint64_t hash = 0x9E3779B97F4A7C15ull ^ sizeBytes;
    auto mix = [&hash](uint64_t word) {
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    };
    size_t at = 0;
    for (; at + 8 <= sizeBytes; at += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + at, 8);
        mix(word);
    }
    if (at < sizeBytes) {
        uint64_t word = 0;
        std::memcpy(&word, bytes + at, sizeBytes - at);
        mix(word);
    }
    return hash;
}

DatabaseHandle OpenDatabase(const std::string& path)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(
        path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    DatabaseHandle db(raw);
    if (rc != SQLITE_OK)
        throw SqliteError{rc, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)};
    sqlite3_busy_timeout(raw, c_BusyTimeoutMs);
    Exec(raw, c_Setup);

    Exec(raw, "BEGIN IMMEDIATE");
    try {
        sqlite3_stmt* stmt = nullptr;
        if (const int prc = sqlite3_prepare_v2(raw, "PRAGMA user_version", -1, &stmt, nullptr); prc != SQLITE_OK)
            throw SqliteError{prc, sqlite3_errmsg(raw)};
        const int step = sqlite3_step(stmt);
        const int version = step == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : 0;
        sqlite3_finalize(stmt);
        if (step != SQLITE_ROW)
            throw SqliteError{step, sqlite3_errmsg(raw)};
        // A file written by a later release is not ours to read or patch.
        if (version != 0 && version != c_SchemaVersion)
            throw SqliteError{SQLITE_NOTADB, "schema version " + std::to_string(version)};
        if (version == 0)
            Exec(raw, c_Schema);
        Exec(raw, "COMMIT");
    } catch (...) {
        sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return db;
}

} // namespace

// An open database and its prepared statements; the handle is declared first so that it is
// closed after every statement is finalised.
class Connection {
public:
    explicit Connection(const std::string& path) : m_handle(OpenDatabase(path)) { }

    sqlite3* Handle() const { return m_handle.get(); }

private:
    DatabaseHandle m_handle;

public:
    Statement begin{Handle(), "BEGIN IMMEDIATE"};
    Statement commit{Handle(), "COMMIT"};
    Statement upsert{Handle(),
        "INSERT INTO entries(key, tag, size, checksum, last_used) VALUES(?1, ?2, ?3, ?4, ?5) "
        "ON CONFLICT(key) DO UPDATE SET tag = excluded.tag, size = excluded.size, checksum = excluded.checksum, "
        "last_used = excluded.last_used RETURNING id"};
    Statement putBlock{Handle(), "INSERT OR REPLACE INTO blocks(id, data) VALUES(?1, ?2)"};
    Statement lookup{Handle(),
        "SELECT e.id, e.tag, e.size, e.checksum, b.data FROM entries e LEFT JOIN blocks b ON b.id = e.id "
        "WHERE e.key = ?1"};
    Statement touch{Handle(), "UPDATE entries SET last_used = ?2 WHERE key = ?1"};
    Statement removeKey{Handle(), "DELETE FROM entries WHERE key = ?1"};
    Statement removeId{Handle(), "DELETE FROM entries WHERE id = ?1"};
    Statement total{Handle(), "SELECT bytes FROM totals WHERE id = 1"};
    Statement oldest{Handle(), "SELECT id, size FROM entries ORDER BY last_used, id"};
    Statement newestStamp{Handle(), "SELECT COALESCE(MAX(last_used), 0) FROM entries"};
    Statement count{Handle(), "SELECT COUNT(*) FROM entries"};
};

namespace {

// BEGIN IMMEDIATE takes the write lock at once: a deferred transaction that later wants to
// write can fail with SQLITE_BUSY without waiting when another process wrote in between.
class Transaction {
public:
    explicit Transaction(Connection& db) : m_db(db) { Query(db.begin).Run(); }
    ~Transaction()
    {
        if (!m_committed)
            sqlite3_exec(m_db.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit()
    {
        Query(m_db.commit).Run();
        m_committed = true;
    }

private:
    Connection& m_db;
    bool m_committed = false;
};

} // namespace

BlockStore::BlockStore(std::string folder, WarnFunction warn) : m_warn(std::move(warn))
{
    if (!folder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error)
            m_warn("Cannot create the disk cache folder " + folder + " (" + error.message()
                + "); cached data lasts only until the program ends");
        else
            m_path = folder + "/" + c_FileName;
    }
    // Opened on first use: a program that never caches (a listing by the command-line tool)
    // does not pay for opening the database.
}

BlockStore::~BlockStore()
{
    std::lock_guard<std::mutex> lock(m_lock);
    FlushTouches();
}

// Opening includes the first read of the entries, so that a damaged page it meets counts as a
// database that cannot be used, not as a failure of the cache.
std::unique_ptr<Connection> BlockStore::Connect(const std::string& path)
{
    auto db = std::make_unique<Connection>(path);
    {
        Query newest(db->newestStamp);
        if (newest.Step())
            m_lastStamp = std::max(m_lastStamp, newest.Int(0));
    }
    return db;
}

void BlockStore::Open()
{
    m_db.reset();
    if (!m_path.empty()) {
        std::string reason;
        try {
            m_db = Connect(m_path);
        } catch (const SqliteError& error) {
            reason = error.text;
            if (FreshFileMayHelp(error.code)) {
                SetAside(m_path);
                try {
                    m_db = Connect(m_path);
                    m_warn("Disk cache database " + m_path + " could not be used (" + reason + "); moved it to "
                        + m_path + ".bad and started a new one");
                } catch (const SqliteError& again) {
                    reason = again.text;
                }
            }
        }
        if (!m_db) {
            m_warn("Disk cache database " + m_path + " cannot be used (" + reason
                + "); cached data lasts only until the program ends");
            m_path.clear();
        }
    }
    try {
        if (!m_db)
            m_db = Connect(":memory:");
    } catch (const SqliteError& error) {
        m_db.reset();
        throw CacheError(LumoModules::SqliteErrorCode(error.code, LumoApi::ERROR_NOT_ENOUGH_MEMORY));
    }
}

void BlockStore::Recover(const std::string& reason)
{
    m_db.reset();
    m_touched.clear();
    if (!m_path.empty()) {
        SetAside(m_path);
        m_warn("Disk cache database " + m_path + " is damaged (" + reason + "); moved it to " + m_path
            + ".bad and started a new one");
    }
    Open();
}

Connection& BlockStore::Db()
{
    if (!m_db)
        Open();
    return *m_db;
}

// A store whose database turns out to be damaged starts a new one and tries once more.
template <class Body>
auto BlockStore::Attempt(uint32_t failureCode, Body&& body)
{
    try {
        return body();
    } catch (const SqliteError& error) {
        if (!IsDamage(error.code))
            throw CacheError(LumoModules::SqliteErrorCode(error.code, failureCode));
        Recover(error.text);
    }
    try {
        return body();
    } catch (const SqliteError& error) {
        throw CacheError(LumoModules::SqliteErrorCode(error.code, failureCode));
    }
}

int64_t BlockStore::NextStamp()
{
    // Wall-clock microseconds, so that stamps of several processes compare; never repeating
    // within one process, so that the order of its own uses is exact.
    const int64_t now
        = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
              .count();
    m_lastStamp = std::max(now, m_lastStamp + 1);
    return m_lastStamp;
}

void BlockStore::WriteTouches()
{
    std::unordered_map<std::string, int64_t> touched;
    touched.swap(m_touched);
    for (const auto& [key, stamp] : touched)
        Query(m_db->touch).Bind(1, key.c_str()).Bind(2, stamp).Run();
}

void BlockStore::FlushTouches() noexcept
{
    if (m_touched.empty() || !m_db)
        return;
    // Stamps are a hint for eviction: losing them to a busy or failing database costs nothing.
    try {
        Transaction transaction(*m_db);
        WriteTouches();
        transaction.Commit();
    } catch (...) {
        m_touched.clear();
    }
}

void BlockStore::Evict(uint64_t maxSizeBytes, int64_t keepId)
{
    Connection& db = *m_db;
    int64_t totalBytes = 0;
    {
        Query total(db.total);
        if (total.Step())
            totalBytes = total.Int(0);
    }
    if (totalBytes <= int64_t(maxSizeBytes))
        return;
    // Down to 90%, so that the next stores do not each pay for an eviction.
    const int64_t targetBytes = int64_t(maxSizeBytes / 10 * 9);
    std::vector<int64_t> victims;
    {
        Query oldest(db.oldest);
        while (totalBytes > targetBytes && oldest.Step()) {
            if (oldest.Int(0) == keepId)
                continue;
            victims.push_back(oldest.Int(0));
            totalBytes -= oldest.Int(1);
        }
    }
    for (const int64_t id : victims)
        Query(db.removeId).Bind(1, id).Run();
}

void BlockStore::Store(const char* key, const uint8_t* bytes, uint32_t sizeBytes, uint32_t tag, uint64_t maxSizeBytes)
{
    if (sizeBytes > maxSizeBytes)
        throw CacheError(LumoApi::ERROR_DISK_FULL);
    const int64_t checksum = int64_t(Checksum(bytes, sizeBytes));
    std::lock_guard<std::mutex> lock(m_lock);
    Attempt(LumoApi::ERROR_CANTWRITE, [&] {
        Connection& db = Db();
        Transaction transaction(db);
        // Lookups since the last store count for this eviction.
        WriteTouches();
        int64_t id = 0;
        {
            Query upsert(db.upsert);
            upsert.Bind(1, key)
                .Bind(2, int64_t(tag))
                .Bind(3, int64_t(sizeBytes))
                .Bind(4, checksum)
                .Bind(5, NextStamp());
            if (!upsert.Step())
                throw SqliteError{SQLITE_INTERNAL, "no row id for the stored block"};
            id = upsert.Int(0);
            upsert.Run();
        }
        Query(db.putBlock).Bind(1, id).BindBlob(2, bytes, sizeBytes).Run();
        Evict(maxSizeBytes, id);
        transaction.Commit();
    });
}

bool BlockStore::Lookup(const char* key, uint32_t tag, std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const bool found = Attempt(LumoApi::ERROR_CANTREAD, [&] {
        Connection& db = Db();
        int64_t damagedId = 0;
        {
            Query lookup(db.lookup);
            lookup.Bind(1, key);
            if (!lookup.Step())
                return false;
            if (tag != 0 && lookup.Int(1) != int64_t(tag))
                return false;
            size_t sizeBytes = 0;
            const uint8_t* data = lookup.Blob(4, sizeBytes);
            if (lookup.Type(4) != SQLITE_BLOB || int64_t(sizeBytes) != lookup.Int(2)
                || int64_t(Checksum(data, sizeBytes)) != lookup.Int(3)) {
                damagedId = lookup.Int(0);
            } else {
                bytes.assign(data, data + sizeBytes);
            }
        }
        if (damagedId == 0)
            return true;
        try {
            Query(db.removeId).Bind(1, damagedId).Run();
        } catch (const SqliteError&) {
            // It stays unreadable; the next lookup finds the same and tries again.
        }
        m_warn(std::string("Disk cache block \"") + key + "\" was damaged and has been removed");
        return false;
    });
    if (found) {
        m_touched[key] = NextStamp();
        if (m_touched.size() >= c_MaxPendingTouches)
            FlushTouches();
    }
    return found;
}

void BlockStore::Remove(const char* key)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_touched.erase(key);
    Attempt(LumoApi::ERROR_CANTWRITE, [&] { Query(Db().removeKey).Bind(1, key).Run(); });
}

BlockStore::Stats BlockStore::Statistics()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return Attempt(LumoApi::ERROR_CANTREAD, [&] {
        Stats stats;
        Connection& db = Db();
        {
            Query count(db.count);
            if (count.Step())
                stats.entries = uint32_t(count.Int(0));
        }
        Query total(db.total);
        if (total.Step())
            stats.bytes = uint64_t(total.Int(0));
        return stats;
    });
}

std::string BlockStore::Location()
{
    std::lock_guard<std::mutex> lock(m_lock);
    // Only an opened database tells whether the file could be used.
    try {
        Db();
    } catch (const CacheError&) {
    }
    return m_path;
}

} // namespace LumoCache
