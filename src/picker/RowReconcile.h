// Matching the rows a view shows against a new listing of their container, the same way in
// every view: which rows stay, which go, and which listed keys are new.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <QCollator>
#include <QHash>
#include <QString>

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

// The same matching as PlanReconcile with AddOrder::Listing, done a few entries or rows at a
// time, so that a view can spread a listing of tens of thousands over its slices of work. The
// rows must not change between the first step and the plan; the listing must outlive the steps.
class ReconcileSteps {
public:
    ReconcileSteps(const std::vector<std::string>& listing, size_t rowCount);

    // Handles up to work entries or rows, asking rowKey for the key of a row ("" for a row
    // without an item); true once the plan is ready.
    bool Advance(const std::function<std::string(size_t)>& rowKey, size_t work);
    ReconcilePlan TakePlan() { return std::move(m_plan); }

private:
    const std::vector<std::string>& m_listing;
    const size_t m_rowCount;
    // Entries with the same key are chained in listing order; a row claims the first one left.
    QHash<QString, size_t> m_first;
    QHash<QString, size_t> m_tail;
    std::vector<size_t> m_next;
    std::vector<bool> m_taken;
    size_t m_entry = 0;
    size_t m_row = 0;
    bool m_done = false;
    ReconcilePlan m_plan;
};

// The key AddOrder::Sorted orders by, for a view that collates a listing a slice at a time.
QCollatorSortKey SortKeyOf(const QCollator& collator, const std::string& key);
