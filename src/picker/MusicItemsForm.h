// The right-hand pane of the music page: the songs, playlists and sub-folders of the container
// selected in the folder tree, kept in step with that container's records. The page asks it for
// its focus and selection by events; a notice stands in for the list while it is empty.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <QList>
#include <QListWidget>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "picker/ListRows.h"
#include "picker/UpdateInfo.h"

class ItemsPaneItem;
class MyMediaItem;
class QAction;
class QLabel;
class QMenu;
class QMimeData;
class TMediaPage;
class TMediaTree;
class UpdateQueue;

// The list view; it only adds the drag object of the selection.
class TMusicItemsView : public QListWidget {
    Q_OBJECT

public:
    TMusicItemsView(QWidget* parent, std::function<QMimeData*()> dragObject);

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;

protected:
    // Drags only ever copy: a move would let the view drop rows behind the items' backs.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    std::function<QMimeData*()> m_dragObject;
};

class TMusicItems : public QWidget {
    Q_OBJECT

public:
    // Registers itself with the tree as the pane it tells which container to show; the popup
    // menu shows the page's publish and properties actions.
    TMusicItems(QWidget* parent, TMediaPage& page, TMediaTree& tree, UpdateQueue& queue);
    ~TMusicItems() override;

    // None when the row is unknown.
    MyMediaItem* ItemOfRow(int row);
    // The container being shown; none before the tree named one.
    MyMediaItem* ContainerItem() const noexcept;
    // The info tip of a row, built once per item and cached.
    QString InfoTip(int row);

    TMusicItemsView* List;
    QLabel* NoItemsPanel;
    QMenu* MusicItemsPopupMenu;
    QAction* Publish1;
    QAction* Play1;
    QAction* Properties1;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowContainer(const LumoApi::ApiRef<LumoApi::UrlApi>& url);
    void OnNotification(std::unique_ptr<UpdateInfo> info);
    void AddItem(const LumoApi::ApiRef<LumoApi::UrlApi>& url);
    void Reconcile(const ChildList& listed);
    void Clear();
    MyMediaItem* SelectedItem();
    void SelectedItems(QList<MyMediaItem*>& items);
    QMimeData* MakeDragObject();
    // The list is empty and its container's listing came.
    bool NoticeWanted() const;
    void UpdateNoItemsPanel(bool show);
    void ListDblClick();
    void ListEnter();

    TMediaPage& m_page;
    QPointer<TMediaTree> m_tree;
    UpdateQueue& m_queue;
    std::unique_ptr<ItemsPaneItem> m_container;
    // Set from showing a container until its listing arrives: the notice waits for it.
    bool m_listing = false;
    // Made with List.
    std::unique_ptr<ListRows<ItemsPaneItem>> m_rows;
    // Held, not just compared by address, so another item cannot take over the cached tip.
    LumoApi::ApiRef<LumoApi::UrlApi> m_tipItem;
    QString m_tipText;
};
