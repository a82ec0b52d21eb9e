// Driving the main window as a person would: its menus, its folder tree, and the environment
// of the user it runs for.
#pragma once

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>

#include "app/LumoConnectPublisher.h"
#include "picker/MediaPageForm.h"
#include "picker/MediaTreeForm.h"
#include "support/WaitUntil.h"

// Sets an environment variable for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

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
