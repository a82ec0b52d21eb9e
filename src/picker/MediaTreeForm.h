// The left pane of a media page: the folders under the first root of the page's media class.
// Nodes are listed lazily when opened, kept current while open, and forgotten when closed;
// selecting one tells the right pane which container to show.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QEvent>
#include <QList>
#include <QPointer>
#include <QTreeWidget>
#include <QWidget>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "picker/UpdateInfo.h"

class ItemIconList;
class MediaClass;
class MediaItem;
class MediaTreeItem;
class MyMediaItem;
class QAction;
class QMenu;
class UpdateQueue;

// Tells the right pane to show a container. It carries the container's reference, not the
// tree's item: the event is posted, and the node may be deleted before it arrives.
class ShowContainerEvent : public QEvent {
public:
    static constexpr QEvent::Type c_Type = QEvent::Type(0x8000); // UM_SHOW_CONTAINER

    explicit ShowContainerEvent(LumoApi::ApiRef<LumoApi::UrlApi> container)
        : QEvent(c_Type), m_container(std::move(container))
    {
    }
    const LumoApi::ApiRef<LumoApi::UrlApi>& Container() const noexcept { return m_container; }

private:
    LumoApi::ApiRef<LumoApi::UrlApi> m_container;
};

// The tree view itself; it only adds the drag object of the selection.
class TMediaTreeView : public QTreeWidget {
    Q_OBJECT

public:
    TMediaTreeView(QWidget* parent, std::function<QMimeData*()> dragObject);

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    // Drags only ever copy: after a move the view would take the node out behind our back.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    std::function<QMimeData*()> m_dragObject;
};

class TMediaTree : public QWidget {
    Q_OBJECT

public:
    // publishAction is the page's, shown first in the popup menu (may be null: the tree's own
    // then stands in). idle is the main window's idle processing, run while a node opens.
    TMediaTree(QWidget* parent, QAction* publishAction, MediaClass& mediaClass, UpdateQueue& queue,
        std::function<bool()> idle);
    ~TMediaTree() override;

    // Lists the root afresh; its nodes appear once Poll collects the listing.
    void Initialize();
    // Collects finished listings of the root and of every node.
    void Poll();
    // The enabled states and captions of the popup menu's actions.
    void UpdateActions();

    // None when no node is selected.
    MyMediaItem* SelectedItem();
    void SelectedItems(QList<MyMediaItem*>& items);
    // The root item for no node; null for a node the tree does not know.
    MyMediaItem* ItemOfNode(QTreeWidgetItem* node);
    void SetItemsWindow(QObject* window);
    // Opens the selected node and selects its child named url; false when there is no
    // selection or no such child.
    bool SelectChild(LumoApi::UrlApi* url);

    bool IsMusic() const noexcept { return m_music; }

    TMediaTreeView* Tree;
    QMenu* MediaTreePopupMenu;
    QAction* PublishAction;
    QAction* ExpandAction;
    QAction* PropertiesAction;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The page kind decides which special folders show.
    bool m_music;

private:
    void ProcessQueuedEvent(std::unique_ptr<UpdateInfo> info);
    void MergeChildren(QTreeWidgetItem* node, const ChildList& children);
    void AddItem(const LumoApi::ApiRef<LumoApi::UrlApi>& url, QTreeWidgetItem* parent);
    void RemoveItem(LumoApi::UrlApi* url, QTreeWidgetItem* treeNode);
    // Deletes the items of node and of everything under it, then the node.
    void DeleteNode(QTreeWidgetItem* node);
    void DeleteChildren(QTreeWidgetItem* node);
    // Runs deletion, then tells the pane once where the selection ended, if it moved.
    void DeleteQuietly(const std::function<void()>& deletion);
    int GetIconIndex(MediaItem& item, bool open);
    void SetIcon(QTreeWidgetItem* node, bool open);
    bool PassesFolderFilter(MyMediaItem& item);
    QTreeWidgetItem* SelectedNode() const;
    bool IsKnownNode(QTreeWidgetItem* node) const;
    // Whether a node for url under parent may be opened.
    bool OffersChildren(QTreeWidgetItem* parent, LumoApi::UrlApi* url);

    void TreeExpanded(QTreeWidgetItem* node);
    void TreeCollapsed(QTreeWidgetItem* node);
    void TreeChange();
    void ExpandActionExecute();
    void PropertiesActionExecute();
    void ShowPopup(const QPoint& position);

    MediaClass& m_mediaClass;
    UpdateQueue& m_queue;
    std::function<bool()> m_idle;
    bool m_programmaticExpand = false;
    std::unique_ptr<MediaTreeItem> RootItem;
    // Every node's item; a node leaves the tree only after its item (and its children's) went.
    std::map<QTreeWidgetItem*, std::unique_ptr<MediaTreeItem>> m_items;
    // The shared small icon list, once an icon was asked for; never freed here.
    ItemIconList* m_images = nullptr;
    QPointer<QObject> m_itemsWindow;
};
