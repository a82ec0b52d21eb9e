// The rows of a list widget, each owning the item it shows. An item always goes before its
// row, so nothing reached through a row can outlive it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QHelpEvent>
#include <QListWidget>
#include <QToolTip>

#include <lumo/Url.h>

#include "common/Assert.h"
#include "picker/UpdateInfo.h"
#include "picker/ViewSupport.h"

template <class Item>
class ListRows {
public:
    explicit ListRows(QListWidget& list) : m_list(list) { }
    ListRows(const ListRows&) = delete;
    ListRows& operator=(const ListRows&) = delete;

    // None for a row without an item.
    Item* ItemOf(int row) const
    {
        auto found = m_items.find(m_list.item(row));
        return found == m_items.end() ? nullptr : found->second.get();
    }

    // The first row showing url's item; -1 when none does.
    int Find(LumoApi::UrlApi* url) const
    {
        for (int row = 0; row < m_list.count(); ++row) {
            Item* item = ItemOf(row);
            if (item && SameItem(item->Url().Get(), url))
                return row;
        }
        return -1;
    }

    // The text key of every row's item, in row order; "" for a row without one.
    std::vector<std::string> Keys() const
    {
        std::vector<std::string> keys;
        keys.reserve(size_t(m_list.count()));
        for (int row = 0; row < m_list.count(); ++row) {
            Item* item = ItemOf(row);
            keys.push_back(item ? TextOf(item->Url().Get()) : std::string());
        }
        return keys;
    }

    void Append(std::unique_ptr<QListWidgetItem> row, std::unique_ptr<Item> item)
    {
        m_items.emplace(row.get(), std::move(item));
        m_list.addItem(row.release());
    }

    // A row without an item is a fault of ours; the row goes all the same.
    void Delete(int row)
    {
        if (m_items.erase(m_list.item(row)) == 0)
            Guarded([] { LUMO_ASSERT(false); });
        delete m_list.takeItem(row);
    }

    void Clear()
    {
        m_items.clear();
        m_list.clear();
    }

private:
    QListWidget& m_list;
    std::map<QListWidgetItem*, std::unique_ptr<Item>> m_items;
};

// Answers a tool-tip event of list's viewport with the tip of the row under the pointer;
// none hides the tip.
inline void ShowRowTip(QListWidget& list, const QHelpEvent& help, const std::function<QString(int)>& tipOf)
{
    QString text;
    if (QListWidgetItem* row = list.itemAt(help.pos()))
        Guarded([&] { text = tipOf(list.row(row)); });
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help.globalPos(), text, list.viewport());
}
