// Reads one folder the way every listing of this module sees it: hidden entries ("." first)
// left out, symbolic links followed, and an entry listed only when it is a readable file or a
// folder the user can open. Used by the container, the watcher's snapshots and FindChild.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include <dirent.h>

namespace LumoFolders {

struct FolderEntry {
    std::string name;
    // d_type as readdir gave it; DT_UNKNOWN when the file system does not tell.
    unsigned char type;
};

// What a listed entry is, from a stat of its target (only filled when asked for).
struct EntryState {
    bool isFolder = false;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    uint64_t inode = 0;
    int64_t sizeBytes = 0;

    bool operator==(const EntryState&) const = default;
};

// One open folder. One thread at a time.
class FolderReader {
public:
    FolderReader() = default;
    ~FolderReader();
    FolderReader(const FolderReader&) = delete;
    FolderReader& operator=(const FolderReader&) = delete;

    // Opens path (absolute, symbolic links followed). Answers 0 or the errno.
    int Open(const std::string& path);
    void Close();
    bool IsOpen() const noexcept { return m_dir != nullptr; }

    // The visible entries, sorted by the bytes of their names. Checks cancel (may be null) at
    // every entry and answers ECANCELED, with a partial list, once it is set; answers the errno
    // when the folder cannot be read to its end, else 0.
    int ReadNames(std::vector<FolderEntry>& entries, const std::atomic<bool>* cancel);

    // Whether entry lists: a regular file the user may read, or a folder the user may open,
    // reached through any symbolic links; dangling links, links to this folder or to a folder
    // above it (the loops), and devices, pipes and sockets (reading one could block) do not.
    // An entry that vanished does not. With state, stats the target to fill it; otherwise
    // stats only what d_type leaves open (symbolic links, unknown types).
    bool Lists(const FolderEntry& entry, EntryState* state = nullptr);

private:
    struct FileId {
        dev_t device;
        ino_t inode;
    };
    // This folder and every folder above it, by the path as given and by the real path.
    void FindAncestors();
    bool IsAncestor(dev_t device, ino_t inode);

    DIR* m_dir = nullptr;
    std::string m_path;
    bool m_ancestorsFound = false;
    std::vector<FileId> m_ancestors;
};

} // namespace LumoFolders
