// The right pane of the photos page: the items of the container chosen in the folder tree as a
// grid of thumbnails with captions, drawn one cell per timer tick and only for cells in view.
// Selection by click, Shift and Ctrl clicks, a rubber band that scrolls the view, and the
// keyboard; drags carry every selected item. The cells and their rules are the PhotoGridModel's;
// this window paints them and turns input into the model's calls.
//
// The cells are painted by the scroll box rather than being widgets of their own: a folder of
// ten thousand photos must stay cheap. A tick asks the thumbnail provider for a photo and goes
// on; the answer comes back as a queued signal. A rendered photo keeps only the small JPEG its
// module delivered; its pixels are decoded again when it comes back into view after leaving the
// small cache of decoded pictures, so it never falls back to its placeholder.
#pragma once

#include <functional>
#include <memory>

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "picker/PhotoGridAccessible.h"
#include "picker/PhotoGridModel.h"
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

// The scroll box: paints the cells and hands its input to the grid.
class TPhotoScrollBox : public QAbstractScrollArea, public AccessibleGrid {
    Q_OBJECT

public:
    explicit TPhotoScrollBox(TPhotoItems& grid);

    int AccessibleCount() const override;
    QString AccessibleCaption(int index) const override;
    QRect AccessibleRect(int index) const override;
    bool AccessibleSelected(int index) const override;
    int AccessibleCurrent() const override;
    void AccessibleSelect(int index) override;
    void AccessibleOpen(int index) override;

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

class TPhotoItems : public QWidget, private PhotoGridView {
    Q_OBJECT

public:
    TPhotoItems(QWidget* parent, TMediaPage& page, TMediaTree& tree, UpdateQueue& queue);
    ~TPhotoItems() override;

    PhotoGridModel& Model() noexcept { return *m_model; }
    int Count() const noexcept { return m_model->Count(); }
    // Listed items not yet given a cell.
    int PendingCount() const noexcept { return m_model->PendingCount(); }
    const PhotoCell& Cell(int index) const { return m_model->Cell(index); }
    int Current() const noexcept { return m_model->Current(); }
    int Anchor() const noexcept { return m_model->Anchor(); }
    int NavFocus() const noexcept { return m_model->NavFocus(); }
    int Columns() const noexcept { return m_model->Columns(); }
    int Rows() const noexcept { return m_model->Rows(); }
    bool BandActive() const noexcept { return m_model->BandActive(); }
    int ScrollStep() const noexcept { return m_scrollStep; }
    int ScrollPosition() const override;
    void SetScrollPosition(int pixels);
    // Client coordinates of the cell's top-left corner.
    QPoint CellPosition(int index) const { return m_model->CellPosition(index); }
    // Where a menu opened from the keyboard appears, in client coordinates: below the current
    // cell while it is in sight, else the top-left corner.
    QPoint MenuAnchor() const;
    // Cells in sight whose picture is still to be made.
    int ThumbnailsPending() const;
    // The cell under a client point; -1 for none.
    int CellAt(const QPoint& point) const { return m_model->CellAt(point); }
    // The cell as it is shown now.
    QImage CellImage(int index);

    // The selection, as the keyboard, the mouse and the page change it.
    void SelectPhoto(int index, Qt::KeyboardModifiers shift) { m_model->SelectPhoto(index, shift); }
    void ClearSelection() { m_model->ClearSelection(); }
    void SelectAll() { m_model->SelectAll(); }
    // True when the key was used.
    bool FormKeyDown(int key, Qt::KeyboardModifiers shift) { return m_model->KeyDown(key, shift); }

    // Draws the first cell in view that has no picture yet, or asks for its thumbnail; one per
    // call. A tick of the timer that finds nothing to do stops the timer, so a window at rest
    // is not woken fifty times a second; the next paint of the grid starts it again, as
    // whatever brings a cell into view or changes one repaints it.
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

    // What the model asks of the window.
    int ClientHeight() const override;
    void RepaintCell(int index) override;
    void RepaintAll() override;
    void ScrollInView(int index) override;
    void CountChanged() override;
    void GoUp() override;
    void OpenCurrent() override;

    void ShowContainer(const LumoApi::ApiRef<LumoApi::UrlApi>& url);
    void OnNotification(std::unique_ptr<UpdateInfo> info);
    // Adds listed items a slice at a time so a large folder does not freeze the window.
    void PlacePending();
    void UpdateNoItemsPanel(bool show);
    void RenderImage(PhotoCell& cell);
    void OnThumbnail(quint64 ticket, const QByteArray& jpeg, const QImage& picture, bool failed);
    // Thumbnails asked for at this size, in pixels: sharp on a screen of several pixels per point.
    int ThumbnailSizePx() const;
    void PaintCells(QPainter& painter, const QRect& area);
    // From the grid's paint: the rendering timer runs again if a tick had stopped it.
    void WakeRendering();
    void PaintCell(QPainter& painter, PhotoCell& cell, const QPoint& origin);
    void DrawCaption(QPainter& painter, PhotoCell& cell, const QPoint& origin);
    void DrawFocusRect(QPainter& painter, const QRect& rect) const;
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
    void ScrollBoxEnter();
    void ScrollBoxExit();
    void ScrollBoxResize();
    void ShowPopup(const QPoint& globalPosition);

    TMediaPage& m_page;
    TMediaTree& m_tree;
    UpdateQueue& m_queue;
    std::unique_ptr<ItemsPaneItem> m_container;
    std::unique_ptr<PhotoGridModel> m_model;
    ItemIconList* m_images = nullptr;

    DragStarter m_dragStarter;
    std::unique_ptr<ThumbnailProvider> m_thumbnails;
    QPoint m_mouseDownAt;
    int m_scrollStep = 0;
    int m_wheelRemainder = 0;
    QTimer* m_placingTimer;
    // The rendering timer was stopped by a tick that found nothing to do.
    bool m_renderingAsleep = false;
};
