// One tab of the main window: the folder tree, the items of the chosen folder and the published
// list, and everything that changes what is published: publish and unpublish with per-item
// dialogs, the undo stack, and copying items to the clipboard in the program's own format.
// The media class keeps the published set; the page only drives it and records what it did.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QEvent>
#include <QList>
#include <QString>
#include <QWidget>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "picker/PublishedListForm.h"

class MediaClass;
class MyMediaItem;
class SongTipReader;
class QAction;
class QLabel;
class QSplitter;
class TMediaTree;
class UpdateQueue;

// Questions the page asks its items view; a view that does not answer has no items.
class CurrentItemEvent : public QEvent {
public:
    static constexpr QEvent::Type c_Type = QEvent::Type(0x8002); // UM_CURRENT_ITEM

    CurrentItemEvent() : QEvent(c_Type) { }
    // Borrowed from the view; none when nothing has the focus.
    MyMediaItem* m_item = nullptr;
};

class SelectedItemsEvent : public QEvent {
public:
    static constexpr QEvent::Type c_Type = QEvent::Type(0x8005); // UM_SELECTED_ITEMS

    explicit SelectedItemsEvent(QList<MyMediaItem*>& items) : QEvent(c_Type), m_items(items) { }
    // Borrowed from the view, in selection order.
    QList<MyMediaItem*>& m_items;
};

// What the items view is busy with, for the status bar.
class ItemsStatusEvent : public QEvent {
public:
    static constexpr QEvent::Type c_Type = QEvent::Type(0x8010);

    ItemsStatusEvent() : QEvent(c_Type) { }
    // The title of the container whose listing is still coming; empty when none is.
    QString m_listing;
    // Pictures the view has still to make for the cells in sight.
    int m_thumbnails = 0;
    // The view has work in hand on the interface thread, such as a listing being placed.
    bool m_busy = false;
};

inline constexpr QEvent::Type c_SelectAllEvent = QEvent::Type(0x8004); // UM_SELECT_ALL
// The items view polls its own items.
inline constexpr QEvent::Type c_RefreshEvent = QEvent::Type(0x8006); // UM_REFRESH

class TMediaPage : public QWidget, public PublishedListHost {
    Q_OBJECT

public:
    enum Panel { apNone = 0, apTree = 1, apItems = 2, apPublished = 3 };
    // What one item's change left to undo: 'P' published, the entry Publish returned; 'U'
    // unpublished, the reference Unpublish returned. Kept as data, so a key of any length
    // and with any characters comes back whole.
    struct UndoRecord {
        char operation;
        std::string key;
        bool operator==(const UndoRecord&) const = default;
    };
    // One record per changed item, all with the same operation.
    using UndoList = std::vector<UndoRecord>;

    // idle is the main window's idle processing, run by the tree while a node opens.
    TMediaPage(QWidget* parent, MediaClass& mediaClass, UpdateQueue& queue, std::function<bool()> idle);
    ~TMediaPage() override;

    // Lists both roots and sets the titles.
    void Initialize();
    // For the main window's idle handler, before it drains the queue.
    void Idle();
    // Runs every action's enabling rule.
    void UpdateActions();

    // "&Undo", or "&Undo Publish" / "&Undo Unpublish" for the newest undo list.
    QString UndoCaption() const;
    bool CanUndo() const noexcept { return !m_undoStack.empty(); }
    void Undo();
    const std::vector<UndoList>& UndoStack() const noexcept { return m_undoStack; }

    void PublishItemList(const QList<MyMediaItem*>& items, bool recordUndo) override;
    void UnpublishItemList(const QList<MyMediaItem*>& items, bool recordUndo);
    bool CanShowProperties() override;
    void ShowProperties() override;
    void PublishedSetChanged() override;
    // The info tips of the views.
    std::string ContainerSummary(MyMediaItem& item) override;
    std::string SongSummary(MyMediaItem& item) override;
    std::string PhotoSummary(MyMediaItem& item) override;

    QString TreeTitle() const;
    QString PublishedTitle() const;
    void NamePanesForScreenReaders();
    // Nothing for none; a box for a broken item.
    void ShowItemProperties(MyMediaItem* item);

    // For the status bar: what the items view is busy with, how many items the active pane
    // has selected, and what the newest publish or unpublish came to ("" before the first).
    ItemsStatusEvent ItemsStatus();
    int SelectedCount();
    QString LastChangeResult() const { return m_lastChangeResult; }

    MyMediaItem* FocusedItem();
    // Clears items first; stays empty with no active pane.
    void SelectedItems(QList<MyMediaItem*>& items);

    bool IsMusic() const noexcept { return m_music; }
    UpdateQueue& Queue() noexcept { return m_queue; }

    // Where the splitters stand: the tree's width and the top half's height, in pixels. A page
    // never shown keeps what it was told, as its splitters have not been laid out.
    // On a screen too short for the page's minimum: both halves give up their share of pixels.
    void GiveUpHeight(int pixels);
    int TreeWidth() const;
    void SetTreeWidth(int pixels);
    int TopHalfHeight() const;
    void SetTopHalfHeight(int pixels);

    // Follows the focus into and out of the panes; while the focus is in the menu bar, a menu,
    // a tool bar or a dialog it stays with the pane that had it. Commands that need a pane
    // check it.
    int ActivePanel = apNone;

    QWidget* TopHalfPanel;
    QLabel* MediaTreeTitle;
    QSplitter* ItemBrowserSplitter;
    QWidget* MediaTreePanel;
    QWidget* MediaItemsPanel;
    QSplitter* HeightSplitter;
    QWidget* BottomHalfPanel;
    QLabel* PublishedListTitle;
    QWidget* PublishedListPanel;

    TMediaTree* MediaTree;
    // The song list or photo grid, which the page asks by events; a plain widget, which has no
    // items, until the subclass sets its own.
    QWidget* ItemsView;
    TPublishedList* PublishedList;

    QAction* PublishAction;
    QAction* UnpublishAction;
    QAction* ClearAction;
    QAction* OpenAction;
    QAction* RenameAction;
    QAction* PropertiesAction;
    QAction* FileDropAction;
    QAction* FileCopyAction;
    QAction* SelectAllAction;
    QAction* UpAction;

protected:
    void showEvent(QShowEvent* event) override;
    // Takes view (a child of MediaItemsPanel) in place of the current items view.
    void SetItemsView(QWidget* view);

private:
    bool CanPublish();
    bool CanUnpublish();
    bool CanSelectAll() const;
    bool CanGoUp();
    void PublishActionExecute();
    void UnpublishActionExecute();
    void FileCopyActionExecute();
    void SelectAllActionExecute();
    void UpActionExecute();
    void PublishItem(LumoApi::UrlApi* url, UndoList* undo);
    void UnpublishItem(LumoApi::UrlApi* url, UndoList* undo);

    // The selection last asked about and the answer. The references are held so that their
    // addresses cannot be taken over by other items.
    class CheckCache {
    public:
        // Asks about the items in turn until one may change; the same selection as last time
        // gets the answer kept. An item whose question raises counts as a no, and an answer
        // that rests on such a no is not kept.
        bool Answer(const QList<MyMediaItem*>& items, const std::function<bool(LumoApi::UrlApi*)>& ask);
        void Forget();

    private:
        std::vector<LumoApi::ApiRef<LumoApi::UrlApi>> m_urls;
        bool m_known = false;
        bool m_result = false;
    };
    // Whether the selection on the matching side holds an item that may change.
    bool CanChange(bool published, CheckCache& cache, bool (MediaClass::*check)(LumoApi::UrlApi*) const);

    enum class Change { Publish, Unpublish };
    // One change per item; a failing item asks whether to go on while more follow.
    void ChangeItemList(const QList<MyMediaItem*>& items, bool recordUndo, Change change);
    void PushRecord(char operation, LumoApi::UrlApi* url, UndoList* undo);
    void FocusChanged(QWidget* now);
    void SongTipRead();

    MediaClass& m_mediaClass;
    UpdateQueue& m_queue;
    const bool m_music;
    std::vector<UndoList> m_undoStack;
    QString m_lastChangeResult;
    CheckCache m_publishCheck;
    CheckCache m_unpublishCheck;
    // The published list saw the set change; the answers are forgotten once its records are in.
    bool m_publishedSetChanged = false;
    bool m_laidOut = false;
    int m_treeWidth;
    int m_topHalfHeight;
    // Made at the first song tip.
    std::unique_ptr<SongTipReader> m_songTips;
};

// The logon name with its first character upper-cased.
std::string CapitalizedName(std::string name);
