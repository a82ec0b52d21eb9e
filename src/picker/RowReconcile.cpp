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

namespace {

constexpr size_t c_None = size_t(-1);

} // namespace

ReconcileSteps::ReconcileSteps(const std::vector<std::string>& listing, size_t rowCount)
    : m_listing(listing), m_rowCount(rowCount), m_taken(listing.size(), false)
{
    // With no rows to match, every entry is new: nothing to look up.
    if (m_rowCount == 0) {
        m_entry = listing.size();
        return;
    }
    m_first.reserve(qsizetype(listing.size()));
    m_tail.reserve(qsizetype(listing.size()));
    m_next.assign(listing.size(), c_None);
}

bool ReconcileSteps::Advance(const std::function<std::string(size_t)>& rowKey, size_t work)
{
    if (m_done)
        return true;
    for (; m_entry < m_listing.size() && work > 0; ++m_entry, --work) {
        const QString key = FoldedKey(m_listing[m_entry]);
        auto found = m_tail.find(key);
        if (found == m_tail.end()) {
            m_first.insert(key, m_entry);
            m_tail.insert(key, m_entry);
        } else {
            m_next[*found] = m_entry;
            *found = m_entry;
        }
    }
    if (m_entry < m_listing.size())
        return false;
    for (; m_row < m_rowCount && work > 0; ++m_row, --work) {
        const std::string row = rowKey(m_row);
        auto found = row.empty() ? m_first.end() : m_first.find(FoldedKey(row));
        if (found == m_first.end() || *found == c_None) {
            m_plan.remove.push_back(m_row);
            continue;
        }
        m_taken[*found] = true;
        *found = m_next[*found];
    }
    if (m_row < m_rowCount)
        return false;
    // Cheap next to the look-ups: done in one go.
    for (size_t entry = 0; entry < m_listing.size(); ++entry) {
        if (!m_taken[entry])
            m_plan.add.push_back(entry);
    }
    m_first.clear();
    m_tail.clear();
    m_done = true;
    return true;
}

ReconcilePlan PlanReconcile(
    const std::vector<std::string>& rows, const std::vector<std::string>& listing, AddOrder order)
{
    ReconcileSteps steps(listing, rows.size());
    steps.Advance([&](size_t row) { return rows[row]; }, size_t(-1));
    ReconcilePlan plan = steps.TakePlan();
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
