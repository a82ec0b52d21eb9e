#include "FileFacts.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

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

namespace {

// Whole seconds, rounded down as a stat's seconds are for times before 1970 too.
int64_t SecondsOf(int64_t nanoseconds)
{
    const int64_t seconds = nanoseconds / 1000000000;
    return nanoseconds % 1000000000 < 0 ? seconds - 1 : seconds;
}

} // namespace

FileFacts FactsOfListing(const LumoApi::ListedFile& record)
{
    FileFacts facts;
    facts.known = true;
    facts.regular = record.fileType == LumoApi::c_ListedRegular;
    facts.sizeBytes = record.sizeBytes;
    facts.changeTime = SecondsOf(record.modifiedNs);
    if (record.flags & LumoApi::c_ListedBirthTime)
        facts.creationTime = SecondsOf(record.createdNs);
    else
        facts.creationTime = std::min(SecondsOf(record.modifiedNs), SecondsOf(record.changedNs));
    return facts;
}

std::string DecimalText(int64_t value)
{
    return std::to_string(value);
}

} // namespace LumoMusic
