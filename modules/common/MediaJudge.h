// Decides whether a folder holds media of the class somewhere below it: depth first, files of
// a folder before its subfolders, stopping at the first media found, never entering a folder
// that is already on the current path (symbolic link loops), skipping what cannot be read, and
// consulting and filling the memo on the way.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "FolderMemo.h"

namespace LumoModules {

enum class ChildKind { Other, Media, Folder };

struct FolderChild {
    // As the folder's container lists it ("file:///a/b").
    std::string url;
    // The local path behind it.
    std::string path;
    ChildKind kind = ChildKind::Other;
};

// Lists a folder's children with their kinds. The judge's only road to the folders.
class FolderLister {
public:
    virtual ~FolderLister() = default;
    // Calls visit with each child of the folder until visit answers false or the children end.
    // Raises ClassError when the folder cannot be listed.
    virtual void List(const std::string& folderUrl, const std::function<bool(FolderChild&)>& visit) = 0;
};

// A folder's identity, for telling loops apart from look-alike paths.
using FolderIdentity = std::pair<uint64_t, uint64_t>;

class MediaJudge {
public:
    struct Answer {
        bool hasMedia = false;
        // False when the search was cut short at a folder on the path: such an answer is not
        // remembered, as it holds only for that path.
        bool complete = true;
    };

    // memo and lister must outlive the judge; cancelled is read between children.
    MediaJudge(FolderMemo& memo, FolderLister& lister, const std::atomic<bool>& cancelled);

    // Whether the folder (url, path) holds media somewhere below. onPath: the identities of
    // the folders being listed above it (a folder with one of these is not entered). Raises
    // ClassError(1223) when cancelled.
    Answer HoldsMedia(const std::string& url, const std::string& path, std::vector<FolderIdentity>& onPath);

    // The identity of the folder at path, or nothing when it is not a readable folder.
    static bool StatFolder(const std::string& path, FolderStamp& stamp);

private:
    bool StillHolds(const MemoEntry& entry, int depth);
    Answer Search(
        const std::string& url, const std::string& path, const FolderStamp& stamp, std::vector<FolderIdentity>& onPath);

    FolderMemo& m_memo;
    FolderLister& m_lister;
    const std::atomic<bool>& m_cancelled;
};

} // namespace LumoModules
