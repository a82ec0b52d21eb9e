// Remembers whether a folder holds media of the class somewhere below it, so that opening a
// large tree a second time reads folder stamps instead of every file. An answer is kept with
// the folder's stamp and with what it rests on: a positive one with the child that held media
// (a file, or a folder whose own answer is positive), a negative one with the paths of every
// subfolder (whose own answers are negative). Adding a file changes only its own folder's
// stamp, so an answer is trusted only when every answer it rests on still holds.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace LumoModules {

struct FolderStamp {
    int64_t mtimeNs = 0;
    // Changes with the mode too: a folder made readable again is read again.
    int64_t ctimeNs = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FolderStamp&) const = default;
};

struct MemoEntry {
    FolderStamp stamp;
    bool hasMedia = false;
    // With hasMedia: the path of the child that holds media, and whether it is a folder.
    std::string witness;
    bool witnessIsFolder = false;
    // Without hasMedia: the paths of every subfolder.
    std::vector<std::string> subfolders;
};

// Where answers outlive the process (the host's disk cache). Lookups of absent keys are
// common and must be cheap.
class MemoBacking {
public:
    virtual ~MemoBacking() = default;
    // The bytes stored under key with tag, or nothing.
    virtual std::optional<std::string> Load(const std::string& key, uint32_t tag) = 0;
    // Failures are not reported: a lost answer is found again.
    virtual void Save(const std::string& key, const std::string& bytes, uint32_t tag) = 0;
};

// Safe on several threads at once.
class FolderMemo {
public:
    // filter: the class's filter text; answers made for another filter are never used.
    // backing may be null (memory only) and must outlive the memo.
    FolderMemo(const std::string& filter, MemoBacking* backing);

    // The answer for path if it was made for this stamp.
    std::optional<MemoEntry> Find(const std::string& path, const FolderStamp& stamp);
    void Store(const std::string& path, const MemoEntry& entry);

    // For tests: encoding round trip.
    static std::string Encode(const MemoEntry& entry, uint64_t filterHash);
    static std::optional<MemoEntry> Decode(const std::string& bytes, uint64_t filterHash);

private:
    uint32_t TagOf(const FolderStamp& stamp) const;

    const uint64_t m_filterHash;
    MemoBacking* const m_backing;
    // Guards m_entries.
    std::mutex m_lock;
    std::unordered_map<std::string, MemoEntry> m_entries;
};

} // namespace LumoModules
