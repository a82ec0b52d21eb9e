// The facts of items read in earlier runs, kept in one SQLite file in the user's cache folder,
// so that a start does not parse every song's tags again. It is a cache of facts only: what is
// published comes from the modules' listings, and a row is used only for an item a listing
// gave. A row holds the file's identity as it was when read (size, modification and change
// times in ns, inode, device); a file changed, replaced or touched since is read again.
//
// Lookups run on any thread and never wait for a write: they share one read connection behind
// a lock, held for one batch of point queries, while new facts are queued and written in
// batches by the store's own thread on a second connection (WAL: readers and the writer do
// not block each other). Whatever goes wrong
// with the file (damaged, locked, read-only, missing folder) costs the cache, never an
// answer: the store logs once and the files are read as without it. A damaged file is moved
// to "<file>.bad" and made again.
//
// Layout (schema version 1): facts(key = hash of the URL, url, kind, identity, seen day, the
// facts' columns), indexed by seen day, which start-up uses to drop rows not seen for long.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/ContentIndex.h"

// A file as a stat sees it; two equal identities mean the file was not written, replaced or
// touched in between.
struct FileIdentity {
    int64_t sizeBytes = -1;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    uint64_t inode = 0;
    uint64_t device = 0;

    bool operator==(const FileIdentity&) const = default;
    // As stat's whole seconds give it (rounded down, also before 1970).
    int64_t ModifiedSec() const
    {
        return modifiedNs >= 0 ? modifiedNs / 1'000'000'000 : -((-modifiedNs + 999'999'999) / 1'000'000'000);
    }
};

// The identity of the regular file at path; false when there is none.
bool IdentityOf(const std::string& path, FileIdentity& identity);

class FactsStore {
public:
    using WarnFunction = std::function<void(const std::string& text)>;

    static constexpr const char c_FileName[] = "ServerFacts.db";

    // Opens or creates the store in folder (created when missing); an empty folder gives a
    // store that keeps nothing. Rows not seen for long, and the oldest beyond a cap, are
    // dropped on the store's thread, behind the first answers.
    FactsStore(std::string folder, WarnFunction warn);
    // Writes what is queued, then closes.
    ~FactsStore();
    FactsStore(const FactsStore&) = delete;
    FactsStore& operator=(const FactsStore&) = delete;

    // "$XDG_CACHE_HOME/Lumo Desktop" (else ~/.cache/…), beside the disk cache; empty when
    // there is no home.
    static std::string DefaultFolder();

    struct Want {
        std::string url;
        NodeKind kind = NodeKind::Song;
        // The file as it is now; a row is used only when it was read from this very file.
        FileIdentity identity;
    };
    // The facts kept for each want, null where none fit; in one read transaction. Any thread.
    std::vector<std::shared_ptr<ItemFacts>> Lookup(const std::vector<Want>& wants);

    // Queues facts just read from the file of identity for the store's thread. Facts of a
    // file written in the last few seconds are not kept: a write within the same tick of the
    // file system's clock would leave its identity as it was. Any thread, never waits.
    void Keep(const std::string& url, NodeKind kind, const FileIdentity& identity, const ItemFacts& facts);

    // Waits until the rows of start-up are dropped and everything queued so far is written
    // (tests).
    void Flush();

    // The database file; "" once the store keeps nothing.
    std::string Location() const;

private:
    struct Row;
    class Db;

    void Run();
    void Write(std::vector<Row>& rows);
    void Prune();
    void Failed(const char* doing, int code, const std::string& text);

    const WarnFunction m_warn;

    // Guards the read connection; held only for one lookup.
    mutable std::mutex m_readLock;
    std::unique_ptr<Db> m_read;

    // Guards everything below: the queue between callers and the store's thread.
    mutable std::mutex m_queueLock;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::vector<Row> m_queue;
    uint64_t m_queued = 0;
    uint64_t m_done = 0;
    bool m_stopping = false;
    bool m_pruned = false;
    // The store's thread waits for a first row: the next one wakes it.
    bool m_idle = false;
    // Someone waits in Flush: the batch goes at once.
    bool m_flushing = false;
    // The path while the store works; cleared when it stops keeping anything.
    std::string m_path;
    bool m_warned = false;
    // Set when a query found the file damaged: it is moved aside when closed.
    bool m_damaged = false;
    std::string m_failedPath;

    // Used only by the store's thread (and the constructor before it starts).
    std::unique_ptr<Db> m_write;
    std::thread m_thread;
};

// The facts of each want: from the store where the file is as it was, else from read (which
// also gives the identity the file had when it was read), queued then for the store. store
// may be null. read answers null for an item that cannot be read.
using FactsReader = std::function<std::shared_ptr<ItemFacts>(const std::string& url, NodeKind kind, FileIdentity&)>;
struct FactsWant {
    std::string url;
    NodeKind kind = NodeKind::Song;
};
std::vector<std::shared_ptr<ItemFacts>> ReadFactsThrough(
    FactsStore* store, const std::vector<FactsWant>& wants, const FactsReader& read);
