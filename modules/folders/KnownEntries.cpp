#include "KnownEntries.h"

#include <algorithm>
#include <chrono>
#include <mutex>

namespace LumoFolders {

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for the host to decide a listing's children, short enough that a folder that
// became a file is seen as one soon.
constexpr std::chrono::seconds c_Memory{5};
// Listings of the folders shown side by side, and the one being walked into.
constexpr size_t c_Listings = 8;

struct Listing {
    std::string folder;
    std::shared_ptr<const std::vector<FolderEntry>> entries;
    Clock::time_point when;
};

// Guards g_listings.
std::mutex g_listingsLock;
std::vector<Listing> g_listings;

} // namespace

void RememberListing(const std::string& folder, std::shared_ptr<const std::vector<FolderEntry>> entries)
{
    const Clock::time_point now = Clock::now();
    std::shared_ptr<const std::vector<FolderEntry>> dropped;
    std::lock_guard<std::mutex> lock(g_listingsLock);
    std::erase_if(g_listings, [&](const Listing& listing) { return listing.folder == folder; });
    if (g_listings.size() >= c_Listings) {
        dropped = std::move(g_listings.front().entries);
        g_listings.erase(g_listings.begin());
    }
    g_listings.push_back(Listing{folder, std::move(entries), now});
}

std::optional<bool> RecallEntry(std::string_view path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view folder = slash == 0 ? std::string_view("/") : path.substr(0, slash);
    const std::string_view name = path.substr(slash + 1);
    const Clock::time_point now = Clock::now();

    std::lock_guard<std::mutex> lock(g_listingsLock);
    for (const Listing& listing : g_listings) {
        if (listing.folder != folder || now - listing.when > c_Memory)
            continue;
        const std::vector<FolderEntry>& entries = *listing.entries;
        auto found = std::lower_bound(entries.begin(), entries.end(), name,
            [](const FolderEntry& entry, std::string_view wanted) { return entry.name < wanted; });
        if (found == entries.end() || found->name != name)
            return std::nullopt;
        // Links and unknown types need the stat after all.
        if (found->type == DT_DIR)
            return true;
        if (found->type == DT_REG)
            return false;
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace LumoFolders
