#include "server/FactsStore.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

#include <sqlite3.h>

#include "platform/System.h"
#include "server/ContentLoader.h"
#include "support/Sqlite.h"

using LumoModules::DatabaseHandle;
using LumoModules::Exec;
using LumoModules::IsDamage;
using LumoModules::Query;
using LumoModules::SetAside;
using LumoModules::SqliteError;
using LumoModules::Statement;

namespace {

// Raised with every change to the columns or to what is read into them: a file of another
// version is made again rather than read.
constexpr int c_SchemaVersion = 1;
// A code of ours for a file of another schema version.
constexpr int c_OtherVersion = -1;
// The store's thread may hold the write lock for one batch; lookups never wait for it in WAL
// mode, except while a crashed writer's log is recovered.
constexpr int c_WriteBusyMs = 2000;
constexpr int c_ReadBusyMs = 100;
// Each connection's page cache: lookups touch a few pages per item.
constexpr int c_CacheKiB = 1024;
constexpr size_t c_BatchRows = 256;
constexpr auto c_BatchDelay = std::chrono::milliseconds(1000);
// Rows not seen for this long are dropped at start-up; a row used is marked seen at most once
// in this many days, so that lookups are reads, not writes.
constexpr int64_t c_ForgetAfterDays = 60;
constexpr int64_t c_SeenEveryDays = 3;
// About 100 MB of rows; beyond it the least recently seen go first.
constexpr int64_t c_MaxRows = 400000;
// File systems keep times coarsely (a clock tick; two seconds on FAT): a file written this
// recently may be written again without its time moving.
constexpr int64_t c_SettledNs = 3'000'000'000;

constexpr const char c_Setup[] = "PRAGMA journal_mode=WAL;"
                                 "PRAGMA synchronous=NORMAL;"
                                 "PRAGMA journal_size_limit=16777216;";

constexpr const char c_Schema[] = R"(
CREATE TABLE IF NOT EXISTS facts(
    key INTEGER PRIMARY KEY,
    url TEXT NOT NULL,
    kind INTEGER NOT NULL,
    size INTEGER NOT NULL,
    modified_ns INTEGER NOT NULL,
    changed_ns INTEGER NOT NULL,
    inode INTEGER NOT NULL,
    device INTEGER NOT NULL,
    seen_day INTEGER NOT NULL,
    mime TEXT NOT NULL,
    artist TEXT NOT NULL,
    album TEXT NOT NULL,
    genre TEXT NOT NULL,
    year INTEGER NOT NULL,
    track INTEGER NOT NULL,
    duration_ms INTEGER NOT NULL,
    bit_rate_kbps INTEGER NOT NULL,
    sample_rate_hz INTEGER NOT NULL,
    channels INTEGER NOT NULL,
    embedded_cover INTEGER NOT NULL,
    lpcm_mime TEXT NOT NULL,
    lpcm_bytes INTEGER NOT NULL,
    width INTEGER NOT NULL,
    height INTEGER NOT NULL,
    capture_sec INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS facts_by_day ON facts(seen_day);
PRAGMA user_version = 1;
)";

constexpr const char c_Columns[] = "url, kind, size, modified_ns, changed_ns, inode, device, seen_day, mime, artist, "
                                   "album, genre, year, track, duration_ms, bit_rate_kbps, sample_rate_hz, channels, "
                                   "embedded_cover, lpcm_mime, lpcm_bytes, width, height, capture_sec";

int64_t Nanoseconds(const timespec& time)
{
    return int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

int64_t NowNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

int64_t Today()
{
    return int64_t(std::time(nullptr)) / 86400;
}

void RemoveFiles(const std::string& path)
{
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(path + suffix, ignored);
}

} // namespace

bool IdentityOf(const std::string& path, FileIdentity& identity)
{
    struct stat info { };
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    identity.sizeBytes = int64_t(info.st_size);
    identity.modifiedNs = Nanoseconds(info.st_mtim);
    identity.changedNs = Nanoseconds(info.st_ctim);
    identity.inode = uint64_t(info.st_ino);
    identity.device = uint64_t(info.st_dev);
    return true;
}

// What the store's thread writes: a row of facts, or (touchOnly) a row's seen day.
struct FactsStore::Row {
    int64_t key = 0;
    std::string url;
    NodeKind kind = NodeKind::Song;
    FileIdentity identity;
    ItemFacts facts;
    bool touchOnly = false;
};

// A connection and its prepared statements; the handle is declared first so that it is closed
// after every statement is finalised.
class FactsStore::Db {
public:
    Db(const std::string& path, int busyMs) : m_handle(Open(path)) { sqlite3_busy_timeout(Handle(), busyMs); }

    sqlite3* Handle() const { return m_handle.get(); }

private:
    // Waits only briefly for a lock: the first open delays the start of serving.
    static DatabaseHandle Open(const std::string& path)
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(
            path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        DatabaseHandle db(raw);
        if (rc != SQLITE_OK)
            throw SqliteError{rc, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)};
        sqlite3_busy_timeout(raw, c_ReadBusyMs);
        Exec(raw, c_Setup);
        Exec(raw, ("PRAGMA cache_size=-" + std::to_string(c_CacheKiB)).c_str());
        Exec(raw, "BEGIN IMMEDIATE");
        try {
            int64_t found = 0;
            {
                Statement versionQuery(raw, "PRAGMA user_version");
                Query version(versionQuery);
                found = version.Step() ? version.Int(0) : 0;
            }
            if (found != 0 && found != c_SchemaVersion)
                throw SqliteError{c_OtherVersion, "schema version " + std::to_string(found)};
            if (found == 0)
                Exec(raw, c_Schema);
            {
                // Reads pages of the file, so that a damaged one shows here rather than in an answer.
                Statement probeQuery(raw, "SELECT MAX(seen_day) FROM facts");
                Query(probeQuery).Run();
            }
            Exec(raw, "COMMIT");
        } catch (...) {
            sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        return db;
    }

    DatabaseHandle m_handle;

public:
    Statement begin{Handle(), "BEGIN"};
    Statement beginWrite{Handle(), "BEGIN IMMEDIATE"};
    Statement commit{Handle(), "COMMIT"};
    Statement find{Handle(), (std::string("SELECT ") + c_Columns + " FROM facts WHERE key = ?1").c_str()};
    Statement put{Handle(),
        (std::string("INSERT OR REPLACE INTO facts(key, ") + c_Columns
            + ") VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, "
              "?21, ?22, ?23, ?24, ?25)")
            .c_str()};
    Statement touch{Handle(), "UPDATE facts SET seen_day = ?2 WHERE key = ?1"};
    Statement forget{Handle(), "DELETE FROM facts WHERE seen_day < ?1"};
    Statement count{Handle(), "SELECT COUNT(*) FROM facts"};
    Statement dropOldest{Handle(), "DELETE FROM facts WHERE key IN (SELECT key FROM facts ORDER BY seen_day LIMIT ?1)"};
};

namespace {

// Ends a transaction the caller did not commit.
class Transaction {
public:
    Transaction(sqlite3* db, Statement& begin) : m_db(db) { Query(begin).Run(); }
    ~Transaction()
    {
        if (!m_done)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit(Statement& commit)
    {
        Query(commit).Run();
        m_done = true;
    }

private:
    sqlite3* m_db;
    bool m_done = false;
};

} // namespace

std::string FactsStore::DefaultFolder()
{
    const std::string base = Platform::UserCacheFolder();
    return base.empty() ? base : base + "/Lumo Desktop";
}

FactsStore::FactsStore(std::string folder, WarnFunction warn) : m_warn(std::move(warn))
{
    if (folder.empty())
        return;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        m_warn("Cannot create " + folder + " (" + error.message() + "); the server reads every file's details afresh");
        return;
    }
    const std::string path = folder + "/" + c_FileName;
    for (int attempt = 0; attempt < 2 && !m_read; ++attempt) {
        try {
            m_write = std::make_unique<Db>(path, c_WriteBusyMs);
            m_read = std::make_unique<Db>(path, c_ReadBusyMs);
        } catch (const SqliteError& failure) {
            m_read.reset();
            m_write.reset();
            const bool otherVersion = failure.code == c_OtherVersion;
            if (attempt == 0 && (otherVersion || IsDamage(failure.code))) {
                if (otherVersion) {
                    RemoveFiles(path);
                } else {
                    SetAside(path);
                    m_warn("The server's store of file details " + path + " could not be used (" + failure.text
                        + "); moved it to " + path + ".bad and started a new one");
                }
                continue;
            }
            m_warn("The server's store of file details " + path + " cannot be used (" + failure.text
                + "); the server reads every file's details afresh");
            return;
        }
    }
    if (!m_read)
        return;
    m_path = path;
    m_thread = std::thread([this] { Run(); });
}

FactsStore::~FactsStore()
{
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_queueLock);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    m_read.reset();
    m_write.reset();
    if (m_damaged && !m_failedPath.empty())
        SetAside(m_failedPath);
}

std::string FactsStore::Location() const
{
    std::lock_guard<std::mutex> lock(m_queueLock);
    return m_path;
}

void FactsStore::Failed(const char* doing, int code, const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_queueLock);
    const bool damaged = IsDamage(code);
    const int primary = code & 0xff;
    // A busy file is someone else's moment; anything else will fail again.
    const bool passing = primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
    if (!m_warned && !m_path.empty()) {
        m_warned = true;
        m_warn("The server's store of file details " + m_path + " failed " + doing + " (" + text + ")"
            + (passing ? "; the details are read from the files meanwhile"
                       : "; the server reads every file's details afresh until it starts again"));
    }
    if (damaged) {
        m_damaged = true;
        m_failedPath = m_path;
    }
    if (!passing) {
        m_path.clear();
        m_queue.clear();
    }
}

std::vector<std::shared_ptr<ItemFacts>> FactsStore::Lookup(const std::vector<Want>& wants)
{
    std::vector<std::shared_ptr<ItemFacts>> found(wants.size());
    if (wants.empty() || Location().empty())
        return found;
    const int64_t today = Today();
    std::vector<Row> touches;
    {
        std::lock_guard<std::mutex> lock(m_readLock);
        try {
            Transaction transaction(m_read->Handle(), m_read->begin);
            for (size_t index = 0; index < wants.size(); ++index) {
                const Want& want = wants[index];
                const int64_t key = int64_t(ContentIndex::SegmentHash(want.url));
                Query row(m_read->find);
                row.Bind(1, key);
                if (!row.Step() || row.Text(0) != want.url || row.Int(1) != int64_t(want.kind))
                    continue;
                const FileIdentity kept{row.Int(2), row.Int(3), row.Int(4), uint64_t(row.Int(5)), uint64_t(row.Int(6))};
                if (!(kept == want.identity))
                    continue;
                auto facts = std::make_shared<ItemFacts>();
                facts->sizeBytes = kept.sizeBytes;
                facts->modifiedSec = kept.ModifiedSec();
                facts->mime = row.Text(8);
                facts->artist = row.Text(9);
                facts->album = row.Text(10);
                facts->genre = row.Text(11);
                facts->year = int(row.Int(12));
                facts->trackNumber = int(row.Int(13));
                facts->durationMs = int(row.Int(14));
                facts->bitRateKbps = int(row.Int(15));
                facts->sampleRateHz = int(row.Int(16));
                facts->channels = int(row.Int(17));
                facts->embeddedCover = row.Int(18) != 0;
                facts->lpcmMime = row.Text(19);
                facts->lpcmBytes = row.Int(20);
                facts->width = int(row.Int(21));
                facts->height = int(row.Int(22));
                facts->captureSec = row.Int(23);
                found[index] = std::move(facts);
                if (row.Int(7) + c_SeenEveryDays <= today) {
                    Row touch;
                    touch.key = key;
                    touch.touchOnly = true;
                    touches.push_back(std::move(touch));
                }
            }
            transaction.Commit(m_read->commit);
        } catch (const SqliteError& failure) {
            Failed("to read", failure.code, failure.text);
            return std::vector<std::shared_ptr<ItemFacts>>(wants.size());
        }
    }
    if (!touches.empty()) {
        std::lock_guard<std::mutex> lock(m_queueLock);
        if (!m_path.empty()) {
            for (Row& touch : touches)
                m_queue.push_back(std::move(touch));
            m_queued += touches.size();
        }
    }
    return found;
}

void FactsStore::Keep(const std::string& url, NodeKind kind, const FileIdentity& identity, const ItemFacts& facts)
{
    if (identity.modifiedNs > NowNs() - c_SettledNs)
        return;
    Row row;
    row.key = int64_t(ContentIndex::SegmentHash(url));
    row.url = url;
    row.kind = kind;
    row.identity = identity;
    row.facts = facts;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        if (m_path.empty())
            return;
        m_queue.push_back(std::move(row));
        ++m_queued;
        wake = m_idle || m_queue.size() == c_BatchRows;
    }
    if (wake)
        m_wake.notify_all();
}

void FactsStore::Flush()
{
    std::unique_lock<std::mutex> lock(m_queueLock);
    if (!m_thread.joinable())
        return;
    const uint64_t target = m_queued;
    m_flushing = true;
    m_wake.notify_all();
    m_written.wait(lock, [&] { return (m_pruned && m_done >= target) || m_path.empty(); });
    m_flushing = false;
}

void FactsStore::Run()
{
    Platform::LowerThisThreadsPriority();
    Prune();
    std::unique_lock<std::mutex> lock(m_queueLock);
    m_pruned = true;
    m_written.notify_all();
    for (;;) {
        m_idle = true;
        m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        m_idle = false;
        // A batch waits for company a moment, unless someone waits for it.
        if (!m_stopping && !m_flushing && m_queue.size() < c_BatchRows)
            m_wake.wait_for(
                lock, c_BatchDelay, [&] { return m_stopping || m_flushing || m_queue.size() >= c_BatchRows; });
        std::vector<Row> rows;
        rows.swap(m_queue);
        const uint64_t upTo = m_queued;
        const bool last = m_stopping;
        lock.unlock();
        if (!rows.empty())
            Write(rows);
        lock.lock();
        // Rows dropped after a failure count as done.
        m_done = m_queue.empty() ? m_queued : upTo;
        m_written.notify_all();
        if (last && m_queue.empty())
            return;
    }
}

void FactsStore::Write(std::vector<Row>& rows)
{
    const int64_t today = Today();
    try {
        Transaction transaction(m_write->Handle(), m_write->beginWrite);
        for (const Row& row : rows) {
            if (row.touchOnly) {
                Query(m_write->touch).Bind(1, row.key).Bind(2, today).Run();
                continue;
            }
            const ItemFacts& facts = row.facts;
            Query put(m_write->put);
            put.Bind(1, row.key)
                .Bind(2, row.url)
                .Bind(3, int64_t(row.kind))
                .Bind(4, row.identity.sizeBytes)
                .Bind(5, row.identity.modifiedNs)
                .Bind(6, row.identity.changedNs)
                .Bind(7, int64_t(row.identity.inode))
                .Bind(8, int64_t(row.identity.device))
                .Bind(9, today)
                .Bind(10, facts.mime)
                .Bind(11, facts.artist)
                .Bind(12, facts.album)
                .Bind(13, facts.genre)
                .Bind(14, int64_t(facts.year))
                .Bind(15, int64_t(facts.trackNumber))
                .Bind(16, int64_t(facts.durationMs))
                .Bind(17, int64_t(facts.bitRateKbps))
                .Bind(18, int64_t(facts.sampleRateHz))
                .Bind(19, int64_t(facts.channels))
                .Bind(20, int64_t(facts.embeddedCover ? 1 : 0))
                .Bind(21, facts.lpcmMime)
                .Bind(22, facts.lpcmBytes)
                .Bind(23, int64_t(facts.width))
                .Bind(24, int64_t(facts.height))
                .Bind(25, facts.captureSec);
            put.Run();
        }
        transaction.Commit(m_write->commit);
    } catch (const SqliteError& failure) {
        Failed("to write", failure.code, failure.text);
    }
}

void FactsStore::Prune()
{
    try {
        Transaction transaction(m_write->Handle(), m_write->beginWrite);
        Query(m_write->forget).Bind(1, Today() - c_ForgetAfterDays).Run();
        int64_t rows = 0;
        {
            Query count(m_write->count);
            if (count.Step())
                rows = count.Int(0);
        }
        // Down to nine tenths, so that the next starts do not each drop a few.
        if (rows > c_MaxRows)
            Query(m_write->dropOldest).Bind(1, rows - c_MaxRows * 9 / 10).Run();
        transaction.Commit(m_write->commit);
    } catch (const SqliteError& failure) {
        Failed("to drop old rows", failure.code, failure.text);
    }
}

std::vector<std::shared_ptr<ItemFacts>> ReadFactsThrough(
    FactsStore* store, const std::vector<FactsWant>& wants, const FactsReader& read)
{
    std::vector<std::shared_ptr<ItemFacts>> result(wants.size());
    if (store) {
        std::vector<FactsStore::Want> probes;
        std::vector<size_t> at;
        std::vector<std::string> paths;
        for (size_t index = 0; index < wants.size(); ++index) {
            FactsStore::Want probe{wants[index].url, wants[index].kind, {}};
            std::string path = LocalPathOfItem(probe.url);
            if (!IdentityOf(path, probe.identity))
                continue;
            probes.push_back(std::move(probe));
            at.push_back(index);
            paths.push_back(std::move(path));
        }
        std::vector<std::shared_ptr<ItemFacts>> kept = store->Lookup(probes);
        for (size_t index = 0; index < kept.size(); ++index) {
            std::shared_ptr<ItemFacts>& facts = kept[index];
            if (!facts)
                continue;
            facts->path = std::move(paths[index]);
            // What lies beside the song is not the song's: looked for again, as a read would.
            if (probes[index].kind == NodeKind::Song && !facts->embeddedCover)
                facts->coverPath = FindCoverFile(facts->path);
            result[at[index]] = std::move(facts);
        }
    }
    for (size_t index = 0; index < wants.size(); ++index) {
        if (result[index])
            continue;
        FileIdentity identity;
        result[index] = read(wants[index].url, wants[index].kind, identity);
        if (store && result[index] && identity.sizeBytes >= 0)
            store->Keep(wants[index].url, wants[index].kind, identity, *result[index]);
    }
    return result;
}
