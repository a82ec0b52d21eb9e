// Matching the rows a view shows against a new listing of their container, the same way in
// every view: which rows stay, which go, and which listed keys are new.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <QCollator>

enum class AddOrder {
    Listing, // as the container listed them
    Sorted,  // by key, without regard to case, in the locale's collation
};

struct ReconcilePlan {
    // Rows to delete, by their index before any deletion, ascending.
    std::vector<size_t> remove;
    // Listing entries to add, by their index in the listing, in the order to add them.
    std::vector<size_t> add;
};

// rows: the key of each row in display order ("" for a row that has lost its item; it always
// goes). A row stays when the listing holds its key without regard to case; each listed key
// keeps at most one row, the first it meets. Costs a hash look-up per row and per entry, so a
// listing of tens of thousands takes milliseconds; only new entries are collated, and only
// when order is Sorted.
ReconcilePlan PlanReconcile(
    const std::vector<std::string>& rows, const std::vector<std::string>& listing, AddOrder order);

// The key AddOrder::Sorted orders by, for a view that collates a listing a slice at a time.
QCollatorSortKey SortKeyOf(const QCollator& collator, const std::string& key);
