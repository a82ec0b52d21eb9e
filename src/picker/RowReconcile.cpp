#include "picker/RowReconcile.h"

#include <algorithm>

#include <QCollator>
#include <QHash>
#include <QString>

namespace {

QString FoldedKey(const std::string& key)
{
    return QString::fromStdString(key).toCaseFolded();
}

} // namespace

QCollatorSortKey SortKeyOf(const QCollator& collator, const std::string& key)
{
    // Collated after folding: this Qt's sort keys ignore the collator's case setting.
    return collator.sortKey(FoldedKey(key));
}

ReconcilePlan PlanReconcile(
    const std::vector<std::string>& rows, const std::vector<std::string>& listing, AddOrder order)
{
    constexpr size_t c_None = size_t(-1);
    // Entries with the same key are chained in listing order; a row claims the first one left.
    QHash<QString, size_t> first;
    first.reserve(qsizetype(listing.size()));
    std::vector<size_t> next(listing.size(), c_None);
    {
        QHash<QString, size_t> tail;
        tail.reserve(qsizetype(listing.size()));
        for (size_t entry = 0; entry < listing.size(); ++entry) {
            const QString key = FoldedKey(listing[entry]);
            auto found = tail.find(key);
            if (found == tail.end()) {
                first.insert(key, entry);
                tail.insert(key, entry);
            } else {
                next[*found] = entry;
                *found = entry;
            }
        }
    }
    std::vector<bool> taken(listing.size(), false);
    ReconcilePlan plan;
    for (size_t row = 0; row < rows.size(); ++row) {
        auto found = rows[row].empty() ? first.end() : first.find(FoldedKey(rows[row]));
        if (found == first.end() || *found == c_None) {
            plan.remove.push_back(row);
            continue;
        }
        taken[*found] = true;
        *found = next[*found];
    }
    for (size_t entry = 0; entry < listing.size(); ++entry) {
        if (!taken[entry])
            plan.add.push_back(entry);
    }
    if (order == AddOrder::Sorted && plan.add.size() > 1) {
        QCollator collator;
        std::vector<QCollatorSortKey> keys;
        keys.reserve(plan.add.size());
        for (size_t entry : plan.add)
            keys.push_back(SortKeyOf(collator, listing[entry]));
        std::vector<size_t> byKey(plan.add.size());
        for (size_t index = 0; index < byKey.size(); ++index)
            byKey[index] = index;
        std::stable_sort(byKey.begin(), byKey.end(), [&](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
        std::vector<size_t> sorted;
        sorted.reserve(byKey.size());
        for (size_t index : byKey)
            sorted.push_back(plan.add[index]);
        plan.add = std::move(sorted);
    }
    return plan;
}
