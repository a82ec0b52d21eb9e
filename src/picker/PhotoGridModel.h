// The photo grid without its window: the cells in display order, how a listing and the
// container's records become cells, the selection with its rules, the keyboard's table, the
// press on a cell and the rubber band's arithmetic, and the cells' pictures. What it needs of
// the screen it asks of a PhotoGridView; what must be shown again it tells it.
#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCollator>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "picker/UpdateInfo.h"

class ItemIconList;
class ItemsPaneItem;
class ReconcileSteps;
class QObject;
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

// What the model asks of the window that shows it.
class PhotoGridView {
public:
    virtual int ScrollPosition() const = 0;
    virtual int ClientHeight() const = 0;
    virtual void RepaintCell(int index) = 0;
    virtual void RepaintAll() = 0;
    virtual void ScrollInView(int index) = 0;
    // The number of cells changed: the scroll range follows.
    virtual void CountChanged() = 0;
    // The keyboard's Backspace and Enter.
    virtual void GoUp() = 0;
    virtual void OpenCurrent() = 0;

protected:
    ~PhotoGridView() = default;
};

class PhotoGridModel {
public:
    // Items are made with target and queue for their records.
    PhotoGridModel(PhotoGridView& view, QObject& target, UpdateQueue& queue);
    ~PhotoGridModel();
    PhotoGridModel(const PhotoGridModel&) = delete;
    PhotoGridModel& operator=(const PhotoGridModel&) = delete;

    int Count() const noexcept { return static_cast<int>(m_cells.size()); }
    // Listed items not yet given a cell, once their listing is matched against the cells.
    int PendingCount() const noexcept { return static_cast<int>(m_pending.size()); }
    const PhotoCell& Cell(int index) const { return *m_cells.at(static_cast<size_t>(index)); }
    PhotoCell& Cell(int index) { return *m_cells.at(static_cast<size_t>(index)); }
    ItemsPaneItem* GetItem(int index);
    int FindCellById(uint64_t id) const;

    // The layout the window gives the cells.
    void SetLayout(int columns, int rows);
    int Columns() const noexcept { return m_columns; }
    int Rows() const noexcept { return m_rows; }
    // The cell under a client point; -1 for none.
    int CellAt(const QPoint& point) const;
    QPoint CellPosition(int index) const;

    // The container's records. All cells go; nothing is known until the listing comes.
    void Clear();
    // A record about the container shown; a listing must be of that container. While a listing
    // is being matched against the cells, later records wait and are applied after it, in order.
    void Apply(UpdateInfo& info);
    // True while a listing is being matched against the cells or listed items wait for a cell.
    bool Placing() const noexcept { return m_listing || !m_deferred.empty() || !m_pending.empty(); }
    // Matches a listing against the cells, puts its new items in order and adds them, for at
    // most sliceNs (or one small step); false when done.
    bool PlaceSome(int64_t sliceNs);

    // The selection, as the keyboard, the mouse and the page change it.
    int Current() const noexcept { return m_current; }
    int Anchor() const noexcept { return m_anchor; }
    int NavFocus() const noexcept { return m_navFocus; }
    void SelectPhoto(int index, Qt::KeyboardModifiers shift);
    void SetSelectionState(int index, bool state, bool scroll);
    void HighlightItem(bool on, int index, bool scroll);
    void NavHighlightItem(int index, bool on);
    void HideAllSelections(bool hide);
    void ClearSelection();
    void SelectAll();
    void MoveFocus(int index);
    std::vector<ItemsPaneItem*> SelectedItems() const;
    // True when the key was used.
    bool KeyDown(int key, Qt::KeyboardModifiers shift);
    int PageUpTarget() const;
    int PageDownTarget() const;

    // A press on a cell; the release; a cell pressed and not yet released (null for none).
    void Press(int index, Qt::KeyboardModifiers shift, bool holdsButton);
    void Release(Qt::KeyboardModifiers shift, bool releasesButton);
    PhotoCell* Pressed() const noexcept { return m_pressedCell; }
    bool ButtonHeld() const noexcept { return m_mouseDownPending; }
    // A drag of the selection runs: cells removed meanwhile are kept until it ends.
    void BeginDrag() noexcept { m_dragging = true; }
    void EndDrag();
    bool Dragging() const noexcept { return m_dragging; }

    // The rubber band, in content coordinates (client y plus the scroll position).
    void BeginBand(Qt::KeyboardModifiers shift, const QPoint& at);
    // The first move clears a plain band's selection.
    void MoveBand(Qt::KeyboardModifiers shift, const QPoint& at);
    // The band's end follows the scrolling to contentY.
    void FollowScroll(int contentY);
    // True when the band was on the screen.
    bool EndBand();
    bool BandActive() const noexcept { return m_bandActive; }
    bool BandDrawn() const noexcept { return m_bandDrawn; }
    Qt::KeyboardModifiers BandShift() const noexcept { return m_bandShift; }
    QRect BandInClient() const;

    // The cells' pictures: a decoded thumbnail arrives; its pixels as drawn now (null for
    // none), decoded again from its bytes when they were let go.
    void SetThumbnail(PhotoCell& cell, QByteArray jpeg, QImage picture);
    const QImage* PictureOf(PhotoCell& cell);
    void ForgetPicture(PhotoCell& cell);

private:
    void ApplyNow(UpdateInfo& info);
    void Reconcile(UpdateInfo& info);
    // One small step of matching a listing against the cells; true when it is done and its new
    // items wait to be put in order.
    bool StepReconcile();
    void AddItem(const LumoApi::ApiRef<LumoApi::UrlApi>& url);
    bool IsPending(const std::string& key) const;
    int FindCell(LumoApi::UrlApi* url) const;
    int IndexOf(const PhotoCell* cell) const;
    void RemoveCell(int index);
    void SelectInBand(Qt::KeyboardModifiers shift);
    // Lets go of the pixels of the cells shown longest ago; their bytes stay.
    void TrimDecoded();

    PhotoGridView& m_view;
    QObject& m_target;
    UpdateQueue& m_queue;
    std::vector<std::unique_ptr<PhotoCell>> m_cells;
    // Cells removed while a drag runs: the drag object still points at their items.
    std::vector<std::unique_ptr<PhotoCell>> m_removedDuringDrag;
    // Most recently shown first.
    std::list<PhotoCell*> m_decoded;
    uint64_t m_nextCellId = 1;

    int m_current = -1;
    int m_anchor = 0;
    int m_navFocus = -1;
    int m_columns = 0;
    int m_rows = 0;
    bool m_dragging = false;

    bool m_wasSelectedAtMouseDown = false;
    bool m_mouseDownPending = false;
    PhotoCell* m_pressedCell = nullptr;

    bool m_bandActive = false;
    // The band is on the screen: it has moved since the press.
    bool m_bandDrawn = false;
    QPoint m_bandStart;
    QPoint m_bandEnd;
    Qt::KeyboardModifiers m_bandShift;

    // A listing being matched against the cells, a step at a time: matching ten thousand names
    // at once would hold up the window. The cells do not change meanwhile: records wait.
    std::unique_ptr<ChildList> m_listing;
    std::unique_ptr<ReconcileSteps> m_reconcile;
    // The plan's cells still to remove, ascending, and the listing's entries to add.
    std::vector<size_t> m_toRemove;
    std::vector<size_t> m_toAdd;
    std::deque<std::unique_ptr<UpdateInfo>> m_deferred;

    // Keys of a listing still to be added, in order; they count as shown to later records.
    std::deque<std::string> m_pending;
    // The first m_unsorted pending keys are still to be put in name order, a slice at a time:
    // collating ten thousand names at once would hold up the window. Their sort keys so far.
    size_t m_unsorted = 0;
    std::vector<QCollatorSortKey> m_sortKeys;
    QCollator m_collator;
};
