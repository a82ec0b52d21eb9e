// Prepared statements and their uses on an SQLite connection, for the modules that keep a
// database (the disk cache, the published sets). A failure throws SqliteError; the caller turns
// its code into a last error (SqliteErrorCode).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include <sqlite3.h>

namespace LumoModules {

struct SqliteError {
    SqliteError(int code, std::string text = std::string()) : code(code), text(std::move(text)) { }

    int code;
    // SQLite's words, for the log; may be empty.
    std::string text;
};

// SQLite's answer for a file that is not a sound database, as opposed to one it cannot reach.
inline bool IsDamage(int code)
{
    code &= 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

// Moves a damaged database to "<path>.bad", its log beside it for a look: a log left under the
// old name would be replayed into the new file.
inline void SetAside(const std::string& path)
{
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(path + ".bad" + suffix, ignored);
        std::filesystem::rename(path + suffix, path + ".bad" + suffix, ignored);
        std::filesystem::remove(path + suffix, ignored);
    }
}

inline void Exec(sqlite3* db, const char* sql)
{
    if (const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr); rc != SQLITE_OK)
        throw SqliteError{rc, sqlite3_errmsg(db)};
}

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabaseHandle = std::unique_ptr<sqlite3, DatabaseCloser>;

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : m_db(db)
    {
        if (const int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
            rc != SQLITE_OK)
            throw SqliteError{rc, sqlite3_errmsg(db)};
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3* Db() const { return m_db; }
    sqlite3_stmt* Get() const { return m_stmt; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// One use of a prepared statement; leaves it reset and unbound for the next use, whatever happens.
class Query {
public:
    explicit Query(Statement& statement) : m_db(statement.Db()), m_stmt(statement.Get()) { }
    ~Query()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int index, int64_t value) { return Check(sqlite3_bind_int64(m_stmt, index, value)); }
    // text must outlive the query.
    Query& Bind(int index, const char* text)
    {
        return Check(sqlite3_bind_text(m_stmt, index, text, -1, SQLITE_STATIC));
    }
    // text must outlive the query. Paths are bytes: their length is passed, not looked for.
    Query& Bind(int index, const std::string& text)
    {
        return Check(sqlite3_bind_text(m_stmt, index, text.data(), int(text.size()), SQLITE_STATIC));
    }
    // bytes must outlive the query. A null pointer would bind NULL, so an empty block binds an
    // empty blob.
    Query& BindBlob(int index, const uint8_t* bytes, uint32_t sizeBytes)
    {
        return Check(sizeBytes ? sqlite3_bind_blob64(m_stmt, index, bytes, sizeBytes, SQLITE_STATIC)
                               : sqlite3_bind_zeroblob(m_stmt, index, 0));
    }

    // True with a row to read, false when done.
    bool Step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw SqliteError{rc, sqlite3_errmsg(m_db)};
    }
    void Run()
    {
        while (Step()) { }
    }

    int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    int Type(int column) const { return sqlite3_column_type(m_stmt, column); }
    std::string Text(int column) const
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return text ? std::string(text, size_t(sqlite3_column_bytes(m_stmt, column))) : std::string();
    }
    // Valid until the next Step or the end of the query.
    const uint8_t* Blob(int column, size_t& sizeBytes) const
    {
        const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(m_stmt, column));
        sizeBytes = size_t(sqlite3_column_bytes(m_stmt, column));
        return bytes;
    }

private:
    Query& Check(int rc)
    {
        if (rc != SQLITE_OK)
            throw SqliteError{rc, sqlite3_errmsg(m_db)};
        return *this;
    }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
};

} // namespace LumoModules
