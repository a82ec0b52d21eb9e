// Binds a menu item or button to the action that runs it: the item follows the action's
// enabled state and runs its handler, and takes its caption and shortcut too unless it keeps
// its own. The main window's items are rebound this way to the active media page's actions.
#pragma once

#include <QObject>
#include <QPointer>

class QAction;

class ActionLink : public QObject {
    Q_OBJECT
public:
    enum class Caption {
        Follow, // caption and shortcut come from the bound action
        Keep,   // the item keeps its own caption and shortcut
    };

    // Owned by item. Until bound the item is disabled.
    ActionLink(QAction* item, Caption caption);

    // Follows source from now on; null unbinds and disables the item.
    void Bind(QAction* source);
    QAction* Source() const { return m_source; }
    QAction* Item() const { return m_item; }

private:
    void Sync();

    QAction* m_item;
    Caption m_caption;
    QPointer<QAction> m_source;
    QMetaObject::Connection m_changed;
    QMetaObject::Connection m_destroyed;
};
