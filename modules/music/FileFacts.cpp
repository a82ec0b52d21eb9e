#include "FileFacts.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#include "support/ListedFacts.h"

namespace LumoMusic {

FileFacts ReadFileFacts(const std::string& path)
{
    FileFacts facts;
    struct statx info { };
    if (statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        facts.gone = errno == ENOENT || errno == ENOTDIR;
        return facts;
    }
    facts.known = true;
    facts.regular = S_ISREG(info.stx_mode);
    facts.sizeBytes = info.stx_size;
    facts.changeTime = info.stx_mtime.tv_sec;
    if (info.stx_mask & STATX_BTIME)
        facts.creationTime = info.stx_btime.tv_sec;
    else
        facts.creationTime = std::min<int64_t>(info.stx_mtime.tv_sec, info.stx_ctime.tv_sec);
    return facts;
}

FileFacts FactsOfListing(const LumoApi::ListedFile& record)
{
    FileFacts facts;
    facts.known = true;
    facts.regular = record.fileType == LumoApi::c_ListedRegular;
    facts.sizeBytes = record.sizeBytes;
    facts.changeTime = LumoModules::WholeSeconds(record.modifiedNs);
    if (record.flags & LumoApi::c_ListedBirthTime)
        facts.creationTime = LumoModules::WholeSeconds(record.createdNs);
    else
        facts.creationTime
            = std::min(LumoModules::WholeSeconds(record.modifiedNs), LumoModules::WholeSeconds(record.changedNs));
    return facts;
}

std::string DecimalText(int64_t value)
{
    return std::to_string(value);
}

} // namespace LumoMusic
