// What the file system says about an item's file: whether it is there, its size and dates.
#pragma once

#include <cstdint>
#include <string>

#include <lumo/Listing.h>

namespace LumoMusic {

struct FileFacts {
    // The path names nothing (or runs through something that is not a folder): the item is
    // broken. Any other failure to look (a folder without permission) leaves this false.
    bool gone = false;
    bool regular = false;
    uint64_t sizeBytes = 0;
    // Seconds since 1970; 0 when unknown. Creation is the file's birth time where the file
    // system keeps one, else the earlier of its modification and status-change times.
    int64_t creationTime = 0;
    int64_t changeTime = 0;
    bool known = false;
};

FileFacts ReadFileFacts(const std::string& path);
// The same facts from what a folder listing saw (lumo/Listing.h), without looking again.
FileFacts FactsOfListing(const LumoApi::ListedFile& record);

// The property texts: decimal seconds and bytes.
std::string DecimalText(int64_t value);

} // namespace LumoMusic
