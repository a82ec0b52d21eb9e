// Matching a view's rows against a new listing: which rows stay, which go, and in which order
// the new entries come.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "picker/RowReconcile.h"

namespace {

using Keys = std::vector<std::string>;
using Indexes = std::vector<size_t>;

struct Case {
    const char* what;
    Keys rows;
    Keys listing;
    AddOrder order;
    Indexes remove;
    Indexes add;
};

TEST(PlanReconcile, RowsStayGoOrComeAsTheListingSays)
{
    const Case cases[] = {
        {"an equal listing changes nothing", {"a", "b", "c"}, {"c", "a", "b"}, AddOrder::Listing, {}, {}},
        {"keys match without regard to case", {"Song.MP3", "ALBUM"}, {"album", "song.mp3"}, AddOrder::Sorted, {}, {}},
        {"rows the listing lacks go, every one", {"a", "x", "b", "y"}, {"b", "a"}, AddOrder::Listing, {1, 3}, {}},
        {"new entries come in the listing's order", {"m"}, {"z", "m", "a", "k"}, AddOrder::Listing, {}, {0, 2, 3}},
        {"or sorted by key", {"m"}, {"z", "m", "a", "K"}, AddOrder::Sorted, {}, {2, 3, 0}},
        {"a listed key keeps one row", {"a", "A", "b"}, {"a", "b"}, AddOrder::Listing, {1}, {}},
        {"a key listed twice is added once more", {"a"}, {"a", "A"}, AddOrder::Listing, {}, {1}},
        {"a row without its item always goes", {"", "a"}, {"", "a"}, AddOrder::Listing, {0}, {0}},
        {"an empty listing empties the view", {"a", "b"}, {}, AddOrder::Sorted, {0, 1}, {}},
        {"an empty view takes everything", {}, {"b", "a"}, AddOrder::Listing, {}, {0, 1}},
        {"non-ASCII keys fold too", {"file:///Ärger"}, {"FILE:///ärger", "file:///Öl"}, AddOrder::Listing, {}, {1}},
    };
    for (const Case& test : cases) {
        const ReconcilePlan plan = PlanReconcile(test.rows, test.listing, test.order);
        EXPECT_EQ(plan.remove, test.remove) << test.what;
        EXPECT_EQ(plan.add, test.add) << test.what;
    }
}

// Twenty thousand rows against the same keys in another order: every row stays, without a
// search per row through the listing (which took minutes for a set this large).
TEST(PlanReconcile, ALargeListingInAnotherOrderKeepsEveryRow)
{
    Keys rows;
    for (int index = 0; index < 20000; ++index)
        rows.push_back("file:///music/Flat/Song " + std::to_string(index) + ".mp3");
    Keys listing(rows.rbegin(), rows.rend());
    listing[0] = "file:///music/Flat/New.mp3";
    const ReconcilePlan plan = PlanReconcile(rows, listing, AddOrder::Sorted);
    EXPECT_EQ(plan.remove, Indexes{19999});
    EXPECT_EQ(plan.add, Indexes{0});
}

} // namespace
