// Driving the main window as a person would: its menus, its folder tree, and the environment
// of the user it runs for.
#pragma once

#include <functional>
#include <string>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>

#include "app/LumoConnectPublisher.h"
#include "picker/MediaPageForm.h"
#include "picker/MediaTreeForm.h"
#include "support/ScopedEnvironment.h"
#include "support/WaitUntil.h"

// The item caption of menu in window's menu bar; null when there is none.
inline QAction* MenuItem(QMainWindow& window, const QString& menu, const QString& caption)
{
    for (QAction* top : window.menuBar()->actions()) {
        if (top->text() != menu)
            continue;
        for (QAction* item : top->menu()->actions()) {
            if (item->text() == caption)
                return item;
        }
    }
    return nullptr;
}

// The child of parent (a top-level item when null) showing text; null when there is none.
inline QTreeWidgetItem* NodeNamed(QTreeWidget& tree, QTreeWidgetItem* parent, const QString& text)
{
    const int count = parent ? parent->childCount() : tree.topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* node = parent ? parent->child(i) : tree.topLevelItem(i);
        if (node->text(0) == text)
            return node;
    }
    return nullptr;
}

// Waits for condition with the window's idle passes running, as its event loop runs them before
// it would block.
inline bool SettleWindow(TLumoConnectPublisher& window, const std::function<bool()>& condition)
{
    return WaitUntil([&] {
        window.RunIdle();
        return condition();
    });
}

// Chooses Music > folder in the music page's folder tree, then File > Publish; false at the first
// step that cannot be taken.
inline bool PublishMusicFolder(TLumoConnectPublisher& window, const QString& folder)
{
    TMediaPage* music = window.MusicPage();
    if (!music)
        return false;
    QTreeWidget& tree = *music->MediaTree->Tree;
    QTreeWidgetItem* musicNode = nullptr;
    if (!SettleWindow(window, [&] { return (musicNode = NodeNamed(tree, nullptr, "Music")) != nullptr; }))
        return false;
    musicNode->setExpanded(true);
    QTreeWidgetItem* folderNode = nullptr;
    if (!SettleWindow(window, [&] { return (folderNode = NodeNamed(tree, musicNode, folder)) != nullptr; }))
        return false;
    tree.setCurrentItem(folderNode);
    music->ActivePanel = TMediaPage::apTree;
    music->UpdateActions();
    QAction* publish = MenuItem(window, "&File", "&Publish");
    if (!publish || !publish->isEnabled())
        return false;
    publish->trigger();
    return true;
}
