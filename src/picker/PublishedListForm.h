// The lower pane of a media page: everything published from the page's media class, kept in
// step with the second root's notifications, and the drop and paste target that publishes more.
// Rows only ever come from the root's records; publishing from here goes through the page.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QListWidget>
#include <QUrl>
#include <QWidget>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "picker/ListRows.h"
#include "picker/UpdateInfo.h"

class MediaClass;
class MyMediaItem;
class PublishedPaneItem;
class QAction;
class QLabel;
class QMenu;
class QMimeData;
class UpdateQueue;

// The name the program's own clipboard format is registered under, and the MIME type that
// stands for it: a list of item keys, each followed by a zero byte, then a final zero byte.
inline constexpr char c_ClipboardFormatName[] = "Lumo Desktop Publisher Clipboard Format"; // untranslated: a format id
inline constexpr char c_ClipboardMimeType[] = "application/x-lumo-desktop-publisher-clipboard-format";

// The clipboard bytes of keys. An empty key would end the list early, so it is left out.
QByteArray EncodeClipboardKeys(const std::vector<std::string>& keys);
// The keys of clipboard bytes, up to the first empty key. Never reads past data: a last key
// without its zero byte ends at the data's end.
std::vector<std::string> DecodeClipboardKeys(const QByteArray& data);

// What the published list needs from the page that owns it.
class PublishedListHost {
public:
    virtual ~PublishedListHost() = default;

    // Publishes the items in order with the page's per-item dialogs, pushing one undo list when
    // recordUndo and anything was published. The items stay owned by the caller.
    virtual void PublishItemList(const QList<MyMediaItem*>& items, bool recordUndo) = 0;
    // Told of every change to the published set the list hears of.
    virtual void PublishedSetChanged() { }
    // The page's Properties update and command, for a double click.
    virtual bool CanShowProperties() = 0;
    virtual void ShowProperties() = 0;
    // Info tip texts of the properties dialogs' summaries.
    virtual std::string ContainerSummary(MyMediaItem& item) = 0;
    virtual std::string SongSummary(MyMediaItem& item) = 0;
    virtual std::string PhotoSummary(MyMediaItem& item) = 0;
};

// The list view: a drop target that paints the watermarks behind its rows.
class TPublishedListView : public QListWidget {
    Q_OBJECT

public:
    TPublishedListView(QWidget* parent, bool music);

    // The size the delegate asks for the row.
    QSize RowSizeHint(int row) const;

signals:
    void Dropped(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const bool m_music;
    // Set while the full repaint asked for by a partial one is outstanding.
    bool m_repaintPending = false;
};

class TPublishedList : public QWidget {
    Q_OBJECT

public:
    // The popup menu shows the page's unpublish and properties actions (either may be null).
    TPublishedList(QWidget* parent, PublishedListHost& page, MediaClass& mediaClass, UpdateQueue& queue,
        QAction* unpublishAction, QAction* propertiesAction);
    ~TPublishedList() override;

    // Subscribes to the published root and lists it; rows appear once Poll collects the listing.
    void Initialize();
    void Poll();
    // Empties the list without drawing it again; the published set is not touched.
    void Clear();

    // None when no row is selected.
    MyMediaItem* SelectedItem();
    // Clears items, then adds the item of every selected row in row order.
    void SelectedItems(QList<MyMediaItem*>& items);
    void SelectAll();
    // Selects the first row showing url. Without one yet (a new entry's row comes later, through
    // the queue) the row is selected when it arrives, unless another is asked for first.
    void SelectItem(LumoApi::UrlApi* url);

    // Whether the clipboard holds the program's format; false without a clipboard.
    bool CanPaste();
    // Publishes the items named on the clipboard, with undo.
    void Paste();
    // Publishes the items named by keys (clipboard bytes), with undo; none for no keys.
    void ProcessItems(const QByteArray& data);
    // Publishes the local files among urls, in order, with undo; a file no module takes gets
    // the page's publish error box, whose Cancel stops the reading.
    void DropFiles(const QList<QUrl>& urls);

    MyMediaItem* ItemOfRow(int row);
    // The row's index into PublishedItemIcons; -1 for none.
    static int IconIndexOf(QListWidgetItem* row);
    // The info tip of a row, built once per item and cached.
    QString InfoTip(int row);

    bool IsMusic() const noexcept { return m_music; }

    TPublishedListView* List;
    QMenu* PopupMenu1;
    QAction* Unpublish1;
    QAction* Properties1;
    QLabel* NoItemsText;
    // By icon index, drawn in the list's palette.
    std::vector<QIcon> PublishedItemIcons;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void DrawIcons();
    void OnNotification(std::unique_ptr<UpdateInfo> info);
    void ProcessQueuedEvent(std::unique_ptr<UpdateInfo> info);
    void AddItem(const LumoApi::ApiRef<LumoApi::UrlApi>& url);
    void RemoveItem(LumoApi::UrlApi* url);
    void Reconcile(UpdateInfo* info);
    int GetIconIndex(MyMediaItem& item);
    void UpdateNoItemsText();
    void CenterNoItemsText();
    void SetNotice(const std::string& failure);
    // Grows the cell every row is laid out in to fit the row, as a list view's list style does;
    // one cell for all spares the view from measuring every row at each layout, which made a
    // growing list of thousands slower with every row.
    void FitCell(int row);
    void ListDragDrop(const QMimeData* data);
    void ListDblClick();

    PublishedListHost& m_page;
    MediaClass& m_mediaClass;
    UpdateQueue& m_queue;
    const bool m_music;
    std::unique_ptr<MyMediaItem> m_rootItem;
    // Made with List.
    std::unique_ptr<ListRows<PublishedPaneItem>> m_rows;
    std::string m_tipKey;
    QString m_tipText;
    // Why the set cannot be read; "" while it can.
    std::string m_failure;
    // The entry to select once its row arrives; empty for none.
    std::string m_selectWhenAdded;
    // The largest row seen since the list was last empty.
    QSize m_cell;
};
