// The published sets of every media class in one SQLite database that a media server reads
// (schema in modules/README.md). Each change is one transaction, committed before the call
// returns, so a killed process never loses a published item and never leaves half of one.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace LumoModules {

struct PublishedEntry {
    // The item's URL as published: the entry's identity.
    std::string url;
    // The local file or folder behind it, for the media server; empty when it has none.
    std::string path;
    std::string title;
    // Microseconds since 1970 (UTC); strictly increasing within a class, so it orders the set.
    int64_t addedUs = 0;
    bool folder = false;
};

class PublishedConnection;

// One connection. Safe on several threads at once. Failures raise ClassError naming the
// database's path: 5 when the database cannot be opened or written for lack of rights, 32 when
// another process holds it longer than the busy timeout, 13 when it is damaged, written by a
// later schema or not ours, 112 when the disk is full. A damaged file is never replaced: it
// holds the user's choices.
class PublishedStore {
public:
    // path: the database file; its folder is made when missing. Opens on first use.
    explicit PublishedStore(std::string path);
    ~PublishedStore();
    PublishedStore(const PublishedStore&) = delete;
    PublishedStore& operator=(const PublishedStore&) = delete;

    const std::string& Path() const { return m_path; }

    // Adds entry.url to the class's set, stamping entry.addedUs; false (nothing changed) when
    // it is there already.
    bool Add(const std::string& classId, PublishedEntry& entry);
    // False when the url was not in the set.
    bool Remove(const std::string& classId, const std::string& url);
    std::optional<PublishedEntry> Find(const std::string& classId, const std::string& url);
    // The class's set, oldest first (ties by url).
    std::vector<PublishedEntry> List(const std::string& classId);
    // The class's urls in set order together with the connection's data version, read in one
    // transaction: the version changes whenever another connection commits.
    int64_t ReadUrls(const std::string& classId, std::vector<std::string>& urls);
    // PRAGMA data_version: cheap, no table read.
    int64_t DataVersion();

private:
    PublishedConnection& Db();
    template <class Body>
    auto Attempt(uint32_t failureCode, Body&& body);

    const std::string m_path;
    // Guards m_db and every use of it.
    std::mutex m_lock;
    std::unique_ptr<PublishedConnection> m_db;
};

} // namespace LumoModules
