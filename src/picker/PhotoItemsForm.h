// The right pane of the photos page: the items of the container chosen in the folder tree as a
// grid of thumbnails with captions, drawn one cell per timer tick and only for cells in view.
// Selection by click, Shift and Ctrl clicks, a rubber band that scrolls the view, and the
// keyboard; drags carry every selected item.
//
// The cells are painted by the scroll box rather than being widgets of their own: a folder of
// ten thousand photos must stay cheap. A tick asks the thumbnail provider for a photo and goes
// on; the answer comes back as a queued signal. A rendered photo keeps only the small JPEG its
// module delivered; its pixels are decoded again when it comes back into view after leaving the
// small cache of decoded pictures, so it never falls back to its placeholder.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QCollator>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "picker/ThumbnailProvider.h"
#include "picker/UpdateInfo.h"

class ItemIconList;
class ItemsPaneItem;
class MediaItemDragObj;
class MyMediaItem;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTimer;
class TMediaPage;
class TMediaTree;
class TPhotoItems;
class UpdateQueue;

// One item of the grid, in display order.
struct PhotoCell {
    PhotoCell();
    ~PhotoCell();

    std::unique_ptr<ItemsPaneItem> Item;
    // Never reused: a thumbnail answering for a cell that is gone finds no cell.
    uint64_t Id = 0;
    QString Title;
    bool Selected = false;
    // The state when a rubber band began.
    bool SavedSelected = false;
    bool Rendered = false;
    // Never tried again.
    bool RenderFailed = false;
    // Its thumbnail is being made.
    bool Requested = false;

    // What the cell shows, which is not always its state: a grid without the focus shows
    // its selection as unselected.
    bool FrameSelected = false;
    bool CaptionHighlighted = false;
    bool CaptionFocused = false;

    // A container shows its icon, anything else its thumbnail as the module delivered it.
    ItemIconList* IconList = nullptr;
    int IconIndex = -1;
    QByteArray Jpeg;
    // The screen's pixels per point the thumbnail was asked for.
    qreal PixelRatio = 1;
    // Decoded pixels, only while the cell is among the recently shown ones.
    QImage Picture;
    std::list<PhotoCell*>::iterator DecodedAt;
    bool Decoded = false;

    QStringList CaptionLines;
    bool CaptionLaidOut = false;
};

// The scroll box: paints the cells and hands its input to the grid.
class TPhotoScrollBox : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TPhotoScrollBox(TPhotoItems& grid);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    TPhotoItems& m_grid;
};

class TPhotoItems : public QWidget {
    Q_OBJECT

public:
    TPhotoItems(QWidget* parent, TMediaPage& page, TMediaTree& tree, UpdateQueue& queue);
    ~TPhotoItems() override;

    int Count() const noexcept { return static_cast<int>(m_cells.size()); }
    // Listed items not yet given a cell.
    int PendingCount() const noexcept { return static_cast<int>(m_pending.size()); }
    const PhotoCell& Cell(int index) const { return *m_cells.at(static_cast<size_t>(index)); }
    int Current() const noexcept { return m_current; }
    int Anchor() const noexcept { return m_anchor; }
    int NavFocus() const noexcept { return m_navFocus; }
    int Columns() const noexcept { return m_columns; }
    int Rows() const noexcept { return m_rows; }
    bool BandActive() const noexcept { return m_bandActive; }
    int ScrollStep() const noexcept { return m_scrollStep; }
    int ScrollPosition() const;
    void SetScrollPosition(int pixels);
    // Client coordinates of the cell's top-left corner.
    QPoint CellPosition(int index) const;
    // The cell under a client point; -1 for none.
    int CellAt(const QPoint& point) const;
    // The cell as it is shown now.
    QImage CellImage(int index);

    // The selection, as the keyboard, the mouse and the page change it.
    void SelectPhoto(int index, Qt::KeyboardModifiers shift);
    void SetSelectionState(int index, bool state, bool scroll);
    void HighlightItem(bool on, int index, bool scroll);
    void NavHighlightItem(int index, bool on);
    void HideAllSelections(bool hide);
    void ClearSelection();
    void SelectAll();
    void MoveFocus(int index);
    ItemsPaneItem* GetItem(int index);
    // True when the key was used.
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift);
    int PageUpTarget() const;
    int PageDownTarget() const;

    // Draws the first cell in view that has no picture yet, or asks for its thumbnail; one per
    // call.
    void RenderingTimerTimer();
    // Thumbnails asked for and not yet answered.
    int ThumbnailsOutstanding() const noexcept { return m_thumbnails->Outstanding(); }
    void OnScrollingTimer();
    // The info tip of a cell; only a broken item has one for now.
    QString InfoTip(int index);

    // How a drag leaves the grid; by default a QDrag that runs until the drop. Tests replace it.
    using DragStarter = std::function<void(std::unique_ptr<MediaItemDragObj> drag, const QImage& image)>;
    void SetDragStarter(DragStarter starter) { m_dragStarter = std::move(starter); }
    // How a photo's thumbnail is fetched: the JPEG bytes its module delivers at thumbnail size,
    // on the provider's thread. Tests replace it.
    void SetThumbnailLoader(ThumbnailProvider::Loader loader) { m_thumbnails->SetLoader(std::move(loader)); }

    TPhotoScrollBox* ScrollBox;
    QLabel* NoItemsPanel;
    QMenu* PhotoItemsPopupMenu;
    QAction* Publish1;
    QAction* Properties1;
    QTimer* ScrollingTimer;
    QTimer* RenderingTimer;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TPhotoScrollBox;

    void ShowContainer(const LumoApi::ApiRef<LumoApi::UrlApi>& url);
    void OnNotification(std::unique_ptr<UpdateInfo> info);
    void Reconcile(UpdateInfo& info);
    void AddItem(const LumoApi::ApiRef<LumoApi::UrlApi>& url);
    // Adds listed items a slice at a time so a large folder does not freeze the window.
    void PlacePending();
    bool IsPending(const std::string& key) const;
    int FindCell(LumoApi::UrlApi* url) const;
    int IndexOf(const PhotoCell* cell) const;
    void RemoveCell(int index);
    void DestroyAllCells();
    void UpdateNoItemsPanel(bool show);
    void LayoutChanged();
    void RenderImage(PhotoCell& cell);
    void OnThumbnail(quint64 ticket, const QByteArray& jpeg, const QImage& picture, bool failed);
    int FindCellById(uint64_t id) const;
    // Thumbnails asked for at this size, in pixels: sharp on a screen of several pixels per point.
    int ThumbnailSizePx() const;
    const QImage* PictureOf(PhotoCell& cell);
    void ForgetPicture(PhotoCell& cell);
    // Lets go of the pixels of the cells shown longest ago; their bytes stay.
    void TrimDecoded();
    void PaintCells(QPainter& painter, const QRect& area);
    void PaintCell(QPainter& painter, PhotoCell& cell, const QPoint& origin);
    void DrawCaption(QPainter& painter, PhotoCell& cell, const QPoint& origin);
    void RepaintCell(int index);
    void ScrollInView(int index);
    void StartDrag(PhotoCell& pressed);

    // Mouse on a cell.
    void OnMouseDown(int index, Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& at);
    void OnMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift);
    void OnMouseMove(const QPoint& at);
    void OnDblClick();
    // The rubber band on the empty area; points in client coordinates.
    void ScrollBoxMouseDown(Qt::KeyboardModifiers shift, const QPoint& at);
    void ScrollBoxMouseMove(Qt::KeyboardModifiers shift, QPoint at);
    void ScrollBoxMouseUp();
    void SelectInBand(Qt::KeyboardModifiers shift);
    QRect BandInClient() const;
    void ScrollBoxEnter();
    void ScrollBoxExit();
    void ScrollBoxResize();
    void ShowPopup(const QPoint& globalPosition);

    TMediaPage& m_page;
    TMediaTree& m_tree;
    UpdateQueue& m_queue;
    std::unique_ptr<ItemsPaneItem> m_container;
    std::vector<std::unique_ptr<PhotoCell>> m_cells;
    // Cells removed while a drag runs: the drag object still points at their items.
    std::vector<std::unique_ptr<PhotoCell>> m_removedDuringDrag;
    // Most recently shown first.
    std::list<PhotoCell*> m_decoded;
    ItemIconList* m_images = nullptr;

    int m_current = -1;
    int m_anchor = 0;
    int m_navFocus = -1;
    int m_columns = 0;
    int m_rows = 0;
    bool m_dragging = false;
    DragStarter m_dragStarter;
    std::unique_ptr<ThumbnailProvider> m_thumbnails;
    uint64_t m_nextCellId = 1;

    bool m_wasSelectedAtMouseDown = false;
    bool m_mouseDownPending = false;
    QPoint m_mouseDownAt;
    PhotoCell* m_pressedCell = nullptr;

    bool m_bandActive = false;
    // The band is on the screen: it has moved since the press.
    bool m_bandDrawn = false;
    // Content coordinates: client x, client y plus the scroll position.
    QPoint m_bandStart;
    QPoint m_bandEnd;
    int m_scrollStep = 0;
    Qt::KeyboardModifiers m_bandShift;
    int m_wheelRemainder = 0;
    // Keys of a listing still to be added, in order; they count as shown to later records.
    std::deque<std::string> m_pending;
    // The first m_unsorted pending keys are still to be put in name order, a slice at a time:
    // collating ten thousand names at once would hold up the window. Their sort keys so far.
    size_t m_unsorted = 0;
    std::vector<QCollatorSortKey> m_sortKeys;
    QCollator m_collator;
    QTimer* m_placingTimer;
};
