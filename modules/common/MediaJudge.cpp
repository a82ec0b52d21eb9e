#include "MediaJudge.h"

#include <algorithm>
#include <sys/stat.h>

#include "ModuleGuard.h"

namespace LumoModules {

namespace {

// Deeper chains of remembered answers are searched again rather than trusted: it bounds the
// check, and real collections are far shallower.
constexpr int c_MaxTrustDepth = 128;

FolderIdentity IdentityOf(const FolderStamp& stamp)
{
    return {stamp.device, stamp.inode};
}

} // namespace

MediaJudge::MediaJudge(FolderMemo& memo, FolderLister& lister, const std::atomic<bool>& cancelled)
    : m_memo(memo), m_lister(lister), m_cancelled(cancelled)
{
}

bool MediaJudge::StatFolder(const std::string& path, FolderStamp& stamp)
{
    struct stat info { };
    // stat follows symbolic links: a link to a folder is judged as that folder.
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    stamp.mtimeNs = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.ctimeNs = int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    stamp.device = uint64_t(info.st_dev);
    stamp.inode = uint64_t(info.st_ino);
    return true;
}

bool MediaJudge::StillHolds(const MemoEntry& entry, int depth)
{
    if (depth > c_MaxTrustDepth)
        return false;
    // An unchanged stamp means the same names, so every subfolder is one of those listed.
    // The witness file is looked at all the same: a link's target may have gone.
    if (entry.hasMedia && !entry.witnessIsFolder) {
        struct stat info { };
        return stat(entry.witness.c_str(), &info) == 0;
    }
    auto holds = [&](const std::string& childPath, bool wanted) {
        FolderStamp stamp;
        if (!StatFolder(childPath, stamp))
            return false;
        const std::optional<MemoEntry> child = m_memo.Find(childPath, stamp);
        return child && child->hasMedia == wanted && StillHolds(*child, depth + 1);
    };
    if (entry.hasMedia)
        return holds(entry.witness, true);
    return std::all_of(entry.subfolders.begin(), entry.subfolders.end(),
        [&](const std::string& child) { return holds(child, false); });
}

MediaJudge::Answer MediaJudge::HoldsMedia(
    const std::string& url, const std::string& path, std::vector<FolderIdentity>& onPath)
{
    if (m_cancelled.load(std::memory_order_relaxed))
        throw ClassError(LumoApi::ERROR_CANCELLED);
    FolderStamp stamp;
    if (!StatFolder(path, stamp))
        return {false, true};
    if (std::find(onPath.begin(), onPath.end(), IdentityOf(stamp)) != onPath.end())
        return {false, false};
    if (const std::optional<MemoEntry> known = m_memo.Find(path, stamp); known && StillHolds(*known, 0))
        return {known->hasMedia, true};
    onPath.push_back(IdentityOf(stamp));
    try {
        const Answer answer = Search(url, path, stamp, onPath);
        onPath.pop_back();
        return answer;
    } catch (...) {
        onPath.pop_back();
        throw;
    }
}

MediaJudge::Answer MediaJudge::Search(
    const std::string& url, const std::string& path, const FolderStamp& stamp, std::vector<FolderIdentity>& onPath)
{
    MemoEntry entry;
    entry.stamp = stamp;
    std::vector<FolderChild> subfolders;
    try {
        m_lister.List(url, [&](FolderChild& child) {
            if (m_cancelled.load(std::memory_order_relaxed))
                throw ClassError(LumoApi::ERROR_CANCELLED);
            if (child.kind == ChildKind::Media) {
                entry.hasMedia = true;
                entry.witness = child.path;
                return false;
            }
            if (child.kind == ChildKind::Folder)
                subfolders.push_back(std::move(child));
            return true;
        });
    } catch (const ClassError& error) {
        if (error.Code() == LumoApi::ERROR_CANCELLED)
            throw;
        // A folder that cannot be listed now holds nothing we can show; it is asked again
        // next time, as the failure may pass.
        return {false, false};
    }
    if (entry.hasMedia) {
        m_memo.Store(path, entry);
        return {true, true};
    }
    bool complete = true;
    for (const FolderChild& subfolder : subfolders) {
        const Answer answer = HoldsMedia(subfolder.url, subfolder.path, onPath);
        if (answer.hasMedia) {
            entry.hasMedia = true;
            entry.witness = subfolder.path;
            entry.witnessIsFolder = true;
            m_memo.Store(path, entry);
            return {true, true};
        }
        complete = complete && answer.complete;
        entry.subfolders.push_back(subfolder.path);
    }
    if (complete)
        m_memo.Store(path, entry);
    return {false, complete};
}

} // namespace LumoModules
