#include "PublishedStore.h"

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

#include "ModuleGuard.h"
#include "support/Sqlite.h"
#include "support/SystemCodes.h"

namespace LumoModules {

namespace {

constexpr int c_SchemaVersion = 1;
// Another process holds the write lock for one publish at a time; a media server reading a
// large set holds no lock that blocks a writer in WAL mode.
constexpr int c_BusyTimeoutMs = 10000;

// WAL lets a media server read while we write; the file remembers it. synchronous=NORMAL loses
// no committed transaction when a process is killed (the log is in the system's cache), only
// the last ones on a power cut, and the database stays consistent then too. Its only flushes
// to disk are at checkpoints: a log of 8192 pages between them halves the time of publishing a
// large selection, and the log is cut back to 32 MB after each. These hold per connection.
constexpr const char c_Journal[] = "PRAGMA journal_mode=WAL;";
constexpr const char c_Setup[] = "PRAGMA synchronous=NORMAL;"
                                 "PRAGMA wal_autocheckpoint=8192;"
                                 "PRAGMA journal_size_limit=33554432;";

constexpr const char c_Schema[] = R"(
CREATE TABLE IF NOT EXISTS published(
    class TEXT NOT NULL,
    url TEXT NOT NULL,
    path TEXT NOT NULL,
    title TEXT NOT NULL,
    added INTEGER NOT NULL,
    folder INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY(class, url));
CREATE INDEX IF NOT EXISTS published_in_order ON published(class, added, url);
PRAGMA user_version = 1;
)";

int64_t NowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// One value of a query that answers one row.
int64_t ReadNumber(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (const int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr); rc != SQLITE_OK)
        throw SqliteError{rc};
    const int step = sqlite3_step(stmt);
    const int64_t value = step == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    if (step != SQLITE_ROW)
        throw SqliteError{step};
    return value;
}

// The table as this release reads it; a file of another program's, however numbered, is not.
void RequireOurTable(sqlite3* db)
{
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v2(
        db, "SELECT class, url, path, title, added, folder FROM published LIMIT 0", -1, &stmt, nullptr);
    sqlite3_finalize(stmt);
    if (rc == SQLITE_ERROR)
        throw SqliteError{SQLITE_NOTADB};
    if (rc != SQLITE_OK)
        throw SqliteError{rc};
}

// SQLite makes the log and its index with the database's permissions: while the database was
// read-only they were made read-only, and they would refuse every change once it is writable
// again. Only our own files are mended, and only their permissions.
void MendSideFilePermissions(const std::string& path)
{
    struct stat database { };
    if (stat(path.c_str(), &database) != 0 || access(path.c_str(), W_OK) != 0)
        return;
    for (const char* suffix : {"-shm", "-wal"}) {
        const std::string side = path + suffix;
        struct stat info { };
        if (lstat(side.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid()
            && access(side.c_str(), W_OK) != 0)
            chmod(side.c_str(), database.st_mode & 0666);
    }
}

DatabaseHandle OpenDatabase(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    MendSideFilePermissions(path);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(
        path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    DatabaseHandle db(raw);
    if (rc != SQLITE_OK)
        throw SqliteError{rc};
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, c_BusyTimeoutMs);

    // Nothing is changed in a file before it is known to be ours: a later release's, another
    // program's or a damaged one stays exactly as it was. Only reads until then, so a reader
    // never waits for a writer.
    int64_t version = ReadNumber(raw, "PRAGMA user_version");
    if (version == 0 && ReadNumber(raw, "SELECT COUNT(*) FROM sqlite_master") == 0) {
        Exec(raw, c_Journal);
        Exec(raw, "BEGIN IMMEDIATE");
        try {
            // Another process may have made it in the meantime.
            version = ReadNumber(raw, "PRAGMA user_version");
            if (version == 0 && ReadNumber(raw, "SELECT COUNT(*) FROM sqlite_master") == 0) {
                Exec(raw, c_Schema);
                version = c_SchemaVersion;
            }
            Exec(raw, "COMMIT");
        } catch (...) {
            sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
    if (version != c_SchemaVersion)
        throw SqliteError{SQLITE_NOTADB};
    RequireOurTable(raw);
    if (!sqlite3_db_readonly(raw, "main"))
        Exec(raw, c_Journal);
    Exec(raw, c_Setup);
    return db;
}

} // namespace

// The handle is declared first so that it is closed after every statement is finalised.
class PublishedConnection {
public:
    explicit PublishedConnection(const std::string& path) : m_handle(OpenDatabase(path)) { }
    sqlite3* Handle() const { return m_handle.get(); }

private:
    DatabaseHandle m_handle;

public:
    Statement begin{Handle(), "BEGIN IMMEDIATE"};
    Statement beginRead{Handle(), "BEGIN"};
    Statement commit{Handle(), "COMMIT"};
    // added: now, but always past the class's newest entry, so the order is the order of
    // publishing even when clocks of two processes disagree or step back.
    Statement insert{Handle(),
        "INSERT INTO published(class, url, path, title, added, folder) "
        "VALUES(?1, ?2, ?3, ?4, MAX(?5, COALESCE((SELECT MAX(added) FROM published WHERE class = ?1), 0) + 1), ?6) "
        "ON CONFLICT(class, url) DO NOTHING RETURNING added"};
    Statement remove{Handle(), "DELETE FROM published WHERE class = ?1 AND url = ?2"};
    Statement find{Handle(), "SELECT url, path, title, added, folder FROM published WHERE class = ?1 AND url = ?2"};
    Statement list{
        Handle(), "SELECT url, path, title, added, folder FROM published WHERE class = ?1 ORDER BY added, url"};
    Statement listUrls{Handle(), "SELECT url FROM published WHERE class = ?1 ORDER BY added, url"};
    Statement dataVersion{Handle(), "PRAGMA data_version"};
};

namespace {

class Transaction {
public:
    Transaction(PublishedConnection& db, Statement& begin) : m_db(db) { Query(begin).Run(); }
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
    PublishedConnection& m_db;
    bool m_committed = false;
};

PublishedEntry EntryOf(const Query& row)
{
    PublishedEntry entry;
    entry.url = row.Text(0);
    entry.path = row.Text(1);
    entry.title = row.Text(2);
    entry.addedUs = row.Int(3);
    entry.folder = row.Int(4) != 0;
    return entry;
}

} // namespace

PublishedStore::PublishedStore(std::string path) : m_path(std::move(path))
{
}

PublishedStore::~PublishedStore() = default;

PublishedConnection& PublishedStore::Db()
{
    if (!m_db)
        m_db = std::make_unique<PublishedConnection>(m_path);
    return *m_db;
}

template <class Body>
auto PublishedStore::Attempt(uint32_t failureCode, Body&& body)
{
    std::lock_guard<std::mutex> lock(m_lock);
    try {
        return body(Db());
    } catch (const SqliteError& error) {
        // A connection that failed to open is tried again on the next call (m_db stays
        // null): the folder may appear, the other process may let go. The failure is the
        // database's, not the item's: it is named.
        throw ClassError(LumoModules::SqliteErrorCode(error.code, failureCode), m_path);
    }
}

bool PublishedStore::Add(const std::string& classId, PublishedEntry& entry)
{
    return Attempt(LumoApi::ERROR_CANTWRITE, [&](PublishedConnection& db) {
        Transaction transaction(db, db.begin);
        bool added = false;
        {
            Query insert(db.insert);
            insert.Bind(1, classId)
                .Bind(2, entry.url)
                .Bind(3, entry.path)
                .Bind(4, entry.title)
                .Bind(5, NowUs())
                .Bind(6, entry.folder ? 1 : 0);
            if (insert.Step()) {
                entry.addedUs = insert.Int(0);
                added = true;
            }
            insert.Run();
        }
        transaction.Commit();
        return added;
    });
}

bool PublishedStore::Remove(const std::string& classId, const std::string& url)
{
    return Attempt(LumoApi::ERROR_CANTWRITE, [&](PublishedConnection& db) {
        Transaction transaction(db, db.begin);
        Query(db.remove).Bind(1, classId).Bind(2, url).Run();
        const bool removed = sqlite3_changes(db.Handle()) > 0;
        transaction.Commit();
        return removed;
    });
}

std::optional<PublishedEntry> PublishedStore::Find(const std::string& classId, const std::string& url)
{
    return Attempt(LumoApi::ERROR_CANTREAD, [&](PublishedConnection& db) -> std::optional<PublishedEntry> {
        Query find(db.find);
        find.Bind(1, classId).Bind(2, url);
        if (!find.Step())
            return std::nullopt;
        return EntryOf(find);
    });
}

std::vector<PublishedEntry> PublishedStore::List(const std::string& classId)
{
    return Attempt(LumoApi::ERROR_CANTREAD, [&](PublishedConnection& db) {
        std::vector<PublishedEntry> entries;
        Query list(db.list);
        list.Bind(1, classId);
        while (list.Step())
            entries.push_back(EntryOf(list));
        return entries;
    });
}

int64_t PublishedStore::ReadUrls(const std::string& classId, std::vector<std::string>& urls)
{
    return Attempt(LumoApi::ERROR_CANTREAD, [&](PublishedConnection& db) {
        Transaction transaction(db, db.beginRead);
        int64_t version = 0;
        {
            Query query(db.dataVersion);
            if (query.Step())
                version = query.Int(0);
        }
        urls.clear();
        {
            Query list(db.listUrls);
            list.Bind(1, classId);
            while (list.Step())
                urls.push_back(list.Text(0));
        }
        transaction.Commit();
        return version;
    });
}

int64_t PublishedStore::DataVersion()
{
    return Attempt(LumoApi::ERROR_CANTREAD, [&](PublishedConnection& db) {
        Query query(db.dataVersion);
        return query.Step() ? query.Int(0) : int64_t(0);
    });
}

} // namespace LumoModules
