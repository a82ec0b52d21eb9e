#include "picker/PhotoGridModel.h"

#include <algorithm>
#include <cmath>

#include <QElapsedTimer>

#include "common/Assert.h"
#include "host/JpegDecoder.h"
#include "host/UrlImpl.h"
#include "picker/ItemIconList.h"
#include "picker/MyMediaItem.h"
#include "picker/PhotoCellGeometry.h"
#include "picker/RowReconcile.h"
#include "picker/ViewSupport.h"

using namespace LumoApi;
using Geometry = PhotoCellGeometry;

namespace {

constexpr int c_CellCapacity = 1024;
// About 20 MB of decoded pictures: several screens of cells, so scrolling back and forth
// within them decodes nothing.
constexpr size_t c_DecodedLimit = 512;
// Names collated per look at the clock while a listing is put in order.
constexpr size_t c_SortBatch = 64;
// Listed names or cells matched, and cells removed, per look at the clock while a listing is
// matched against the cells. A removal moves every cell after it, so it counts for more.
constexpr size_t c_MatchBatch = 256;
constexpr size_t c_RemoveBatch = 16;

// Only Shift and Ctrl take part in selecting; the keypad flag of arrow keys must not count.
Qt::KeyboardModifiers SelectionKeys(Qt::KeyboardModifiers modifiers)
{
    return modifiers & (Qt::ShiftModifier | Qt::ControlModifier);
}

QImage DecodeThumbnail(const QByteArray& jpeg, qreal pixelRatio)
{
    QImage picture = DecodeJpeg(reinterpret_cast<const uint8_t*>(jpeg.constData()), size_t(jpeg.size()));
    picture.setDevicePixelRatio(pixelRatio);
    return picture;
}

} // namespace

PhotoCell::PhotoCell() = default;
PhotoCell::~PhotoCell() = default;

PhotoGridModel::PhotoGridModel(PhotoGridView& view, QObject& target, UpdateQueue& queue)
    : m_view(view), m_target(target), m_queue(queue)
{
    m_cells.reserve(c_CellCapacity);
}

PhotoGridModel::~PhotoGridModel()
{
    m_decoded.clear();
    m_cells.clear();
    m_removedDuringDrag.clear();
}

ItemsPaneItem* PhotoGridModel::GetItem(int index)
{
    if (index == -1)
        return nullptr;
    if (index < 0 || index >= Count()) {
        LUMO_ASSERT(false);
        return nullptr;
    }
    return m_cells[size_t(index)]->Item.get();
}

int PhotoGridModel::FindCellById(uint64_t id) const
{
    for (size_t index = 0; index < m_cells.size(); ++index) {
        if (m_cells[index]->Id == id)
            return int(index);
    }
    return -1;
}

void PhotoGridModel::SetLayout(int columns, int rows)
{
    m_columns = columns;
    m_rows = rows;
}

QPoint PhotoGridModel::CellPosition(int index) const
{
    return Geometry::CellPosition(index, m_columns, m_view.ScrollPosition());
}

int PhotoGridModel::CellAt(const QPoint& point) const
{
    const int columns = std::max(1, m_columns);
    const int x = point.x() - Geometry::c_GridMarginPx;
    const int y = point.y() + m_view.ScrollPosition() - Geometry::c_GridMarginPx;
    if (x < 0 || y < 0)
        return -1;
    const int column = x / Geometry::c_PitchXPx;
    const int row = y / Geometry::c_PitchYPx;
    if (column >= columns || x % Geometry::c_PitchXPx >= Geometry::c_CellWidthPx
        || y % Geometry::c_PitchYPx >= Geometry::c_CellHeightPx)
        return -1;
    const int index = row * columns + column;
    return index < Count() ? index : -1;
}

void PhotoGridModel::Clear()
{
    m_reconcile.reset();
    m_listing.reset();
    m_toRemove.clear();
    m_toAdd.clear();
    m_deferred.clear();
    m_pending.clear();
    m_unsorted = 0;
    m_sortKeys.clear();
    m_decoded.clear();
    while (!m_cells.empty()) {
        std::unique_ptr<PhotoCell> cell = std::move(m_cells.back());
        m_cells.pop_back();
        cell->Decoded = false;
        if (m_dragging)
            m_removedDuringDrag.push_back(std::move(cell));
    }
    m_current = -1;
    m_anchor = 0;
    // Indexes into the old cells mean nothing now.
    m_navFocus = -1;
    m_pressedCell = nullptr;
    m_mouseDownPending = false;
    m_wasSelectedAtMouseDown = false;
    m_bandActive = false;
    m_bandDrawn = false;
    m_view.CountChanged();
    m_view.RepaintAll();
}

void PhotoGridModel::Apply(UpdateInfo& info)
{
    if (m_listing || !m_deferred.empty()) {
        auto later = std::make_unique<UpdateInfo>(info.m_kind, info.m_item, std::move(info.m_ChildList));
        later->m_node = info.m_node;
        m_deferred.push_back(std::move(later));
        return;
    }
    ApplyNow(info);
}

void PhotoGridModel::ApplyNow(UpdateInfo& info)
{
    switch (info.m_kind) {
    case ChildAdded:
        // Behind a listing still being placed, so the cells keep their arrival order.
        if (!m_pending.empty())
            m_pending.push_back(TextOf(info.m_item.Get()));
        else
            AddItem(info.m_item);
        break;
    case ChildRemoved: {
        const std::string key = TextOf(info.m_item.Get());
        auto pending = std::find(m_pending.begin(), m_pending.end(), key);
        if (pending != m_pending.end()) {
            const size_t at = size_t(pending - m_pending.begin());
            if (at < m_unsorted) {
                --m_unsorted;
                if (at < m_sortKeys.size())
                    m_sortKeys.erase(m_sortKeys.begin() + std::ptrdiff_t(at));
            }
            m_pending.erase(pending);
        } else {
            const int index = FindCell(info.m_item.Get());
            if (index >= 0)
                RemoveCell(index);
        }
        break;
    }
    case ChildChanged:
        if (FindCell(info.m_item.Get()) < 0 && !IsPending(TextOf(info.m_item.Get())))
            AddItem(info.m_item);
        break;
    case Enumerated:
        Reconcile(info);
        break;
    default:
        LUMO_ASSERT(false);
    }
}

void PhotoGridModel::Reconcile(UpdateInfo& info)
{
    if (!info.m_ChildList) {
        LUMO_ASSERT(false);
        return;
    }
    // A newer listing replaces whatever an older one had left to place.
    m_pending.clear();
    m_sortKeys.clear();
    m_unsorted = 0;
    m_listing = std::move(info.m_ChildList);
    m_reconcile = std::make_unique<ReconcileSteps>(*m_listing, m_cells.size());
    // An empty grid's plan is ready at once.
    StepReconcile();
}

bool PhotoGridModel::StepReconcile()
{
    if (m_reconcile) {
        const bool planned = m_reconcile->Advance(
            [this](size_t row) { return TextOf(m_cells[row]->Item->Url().Get()); }, c_MatchBatch);
        if (!planned)
            return false;
        ReconcilePlan plan = m_reconcile->TakePlan();
        m_reconcile.reset();
        m_toRemove = std::move(plan.remove);
        m_toAdd = std::move(plan.add);
    }
    // From the back, so the indexes still to remove stay right.
    for (size_t step = 0; step < c_RemoveBatch && !m_toRemove.empty(); ++step) {
        RemoveCell(int(m_toRemove.back()));
        m_toRemove.pop_back();
    }
    if (!m_toRemove.empty())
        return false;
    // New names are put in order by PlaceSome, a slice at a time.
    for (size_t entry : m_toAdd)
        m_pending.push_back(std::move((*m_listing)[entry]));
    m_toAdd.clear();
    m_listing.reset();
    m_unsorted = m_pending.size() > 1 ? m_pending.size() : 0;
    // The records that came meanwhile, up to the next listing.
    while (!m_listing && !m_deferred.empty()) {
        const std::unique_ptr<UpdateInfo> info = std::move(m_deferred.front());
        m_deferred.pop_front();
        ApplyNow(*info);
    }
    return !m_listing;
}

bool PhotoGridModel::PlaceSome(int64_t sliceNs)
{
    QElapsedTimer slice;
    slice.start();
    if (m_listing) {
        while (!StepReconcile()) {
            if (slice.nsecsElapsed() >= sliceNs)
                return true;
        }
        // Putting in order starts with the next slice.
        return Placing();
    }
    if (m_unsorted > 0) {
        m_sortKeys.reserve(m_unsorted);
        const size_t collated = m_sortKeys.size();
        // At least a batch per slice, so even a slow machine gets on.
        do {
            const size_t end = std::min(m_unsorted, m_sortKeys.size() + c_SortBatch);
            for (size_t entry = m_sortKeys.size(); entry < end; ++entry)
                m_sortKeys.push_back(SortKeyOf(m_collator, m_pending[entry]));
        } while (m_sortKeys.size() < m_unsorted && slice.nsecsElapsed() < sliceNs);
        // The sort gets a slice of its own.
        if (m_sortKeys.size() < m_unsorted || m_sortKeys.size() > collated)
            return true;
        // The same order as a listing collated at once; records that came meanwhile stay behind.
        std::vector<size_t> byKey(m_unsorted);
        for (size_t index = 0; index < byKey.size(); ++index)
            byKey[index] = index;
        std::stable_sort(
            byKey.begin(), byKey.end(), [&](size_t a, size_t b) { return m_sortKeys[a].compare(m_sortKeys[b]) < 0; });
        std::vector<std::string> sorted;
        sorted.reserve(byKey.size());
        for (size_t index : byKey)
            sorted.push_back(std::move(m_pending[index]));
        std::move(sorted.begin(), sorted.end(), m_pending.begin());
        m_unsorted = 0;
        m_sortKeys.clear();
        // Placing starts with the next slice.
        return true;
    }
    // At least one item per slice.
    do {
        if (m_pending.empty())
            break;
        const std::string key = std::move(m_pending.front());
        m_pending.pop_front();
        AddItem(MakeUrl(key));
    } while (slice.nsecsElapsed() < sliceNs);
    return !m_pending.empty();
}

bool PhotoGridModel::IsPending(const std::string& key) const
{
    return std::find(m_pending.begin(), m_pending.end(), key) != m_pending.end();
}

void PhotoGridModel::AddItem(const ApiRef<UrlApi>& url)
{
    if (!url || TextOf(url.Get()).empty())
        return;
    auto cell = std::make_unique<PhotoCell>();
    cell->Item = std::make_unique<ItemsPaneItem>(url, &m_target, m_queue);
    cell->Id = m_nextCellId++;
    cell->Title = QString::fromStdString(cell->Item->GetTitle());
    m_cells.push_back(std::move(cell));
    m_view.CountChanged();
    m_view.RepaintCell(Count() - 1);
}

int PhotoGridModel::FindCell(UrlApi* url) const
{
    for (size_t index = 0; index < m_cells.size(); ++index) {
        if (SameItem(m_cells[index]->Item->Url().Get(), url))
            return int(index);
    }
    return -1;
}

int PhotoGridModel::IndexOf(const PhotoCell* cell) const
{
    for (size_t index = 0; index < m_cells.size(); ++index) {
        if (m_cells[index].get() == cell)
            return int(index);
    }
    return -1;
}

void PhotoGridModel::RemoveCell(int index)
{
    std::unique_ptr<PhotoCell> cell = std::move(m_cells[size_t(index)]);
    m_cells.erase(m_cells.begin() + index);
    ForgetPicture(*cell);
    if (m_pressedCell == cell.get()) {
        m_pressedCell = nullptr;
        m_mouseDownPending = false;
        m_wasSelectedAtMouseDown = false;
    }
    // Indexes past the removed cell move up with their cells; one on it is gone.
    auto shift = [index](int& value, int gone) {
        if (value > index)
            --value;
        else if (value == index)
            value = gone;
    };
    shift(m_current, -1);
    shift(m_navFocus, -1);
    shift(m_anchor, 0);
    if (m_dragging)
        m_removedDuringDrag.push_back(std::move(cell));
    m_view.CountChanged();
    m_view.RepaintAll();
}

void PhotoGridModel::SetSelectionState(int index, bool state, bool scroll)
{
    if (index < 0 || index >= Count())
        return;
    PhotoCell& cell = *m_cells[size_t(index)];
    if (cell.Selected != state) {
        HighlightItem(state, index, scroll);
        cell.Selected = state;
    }
}

void PhotoGridModel::HighlightItem(bool on, int index, bool scroll)
{
    if (index == -1)
        return;
    if (index < 0 || index >= Count()) {
        LUMO_ASSERT(false);
        return;
    }
    if (scroll)
        m_view.ScrollInView(index);
    PhotoCell& cell = *m_cells[size_t(index)];
    cell.FrameSelected = on;
    cell.CaptionHighlighted = on;
    cell.CaptionFocused = false;
    m_view.RepaintCell(index);
}

void PhotoGridModel::NavHighlightItem(int index, bool on)
{
    if (index == -1)
        return;
    if (index < 0 || index >= Count()) {
        LUMO_ASSERT(false);
        return;
    }
    m_view.ScrollInView(index);
    PhotoCell& cell = *m_cells[size_t(index)];
    if (!cell.Selected) {
        cell.CaptionHighlighted = false;
        cell.CaptionFocused = on;
        m_view.RepaintCell(index);
    }
}

void PhotoGridModel::HideAllSelections(bool hide)
{
    for (int index = 0; index < Count(); ++index)
        HighlightItem(!hide && m_cells[size_t(index)]->Selected, index, false);
}

void PhotoGridModel::ClearSelection()
{
    for (int index = 0; index < Count(); ++index)
        SetSelectionState(index, false, false);
    m_current = -1;
}

void PhotoGridModel::SelectAll()
{
    for (int index = 0; index < Count(); ++index)
        SetSelectionState(index, true, false);
}

std::vector<ItemsPaneItem*> PhotoGridModel::SelectedItems() const
{
    std::vector<ItemsPaneItem*> items;
    for (const auto& cell : m_cells) {
        if (cell->Selected)
            items.push_back(cell->Item.get());
    }
    return items;
}

void PhotoGridModel::MoveFocus(int index)
{
    if (index < 0 || index >= Count() || index == m_current)
        return;
    NavHighlightItem(m_current, false);
    NavHighlightItem(index, true);
    m_anchor = m_current = m_navFocus = index;
}

void PhotoGridModel::SelectPhoto(int index, Qt::KeyboardModifiers shift)
{
    if (index < 0 || index >= Count())
        return;
    NavHighlightItem(m_navFocus, false);
    m_navFocus = -1;
    const bool ctrl = shift.testFlag(Qt::ControlModifier);
    const bool range = shift.testFlag(Qt::ShiftModifier);
    auto selectRange = [&] {
        const int from = std::min(index, m_anchor);
        const int to = std::max(index, m_anchor);
        for (int cell = from; cell <= to; ++cell)
            SetSelectionState(cell, true, cell == index);
    };
    if (ctrl && range) {
        selectRange();
        m_current = index;
    } else if (range && m_current != -1) {
        ClearSelection();
        selectRange();
        m_current = index;
    } else if (ctrl) {
        SetSelectionState(index, !m_cells[size_t(index)]->Selected, true);
        m_anchor = m_current = index;
    } else {
        ClearSelection();
        SetSelectionState(index, true, true);
        m_anchor = m_current = index;
    }
}

bool PhotoGridModel::KeyDown(int key, Qt::KeyboardModifiers shift)
{
    shift = SelectionKeys(shift);
    const int columns = std::max(1, m_columns);
    if (shift == Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_Left:
            MoveFocus(m_current - 1);
            return true;
        case Qt::Key_Up:
            MoveFocus(m_current - columns);
            return true;
        case Qt::Key_Right:
            MoveFocus(m_current + 1);
            return true;
        case Qt::Key_Down:
            MoveFocus(m_current + columns);
            return true;
        case Qt::Key_Space:
            NavHighlightItem(m_current, false);
            SelectPhoto(m_current, shift);
            return true;
        default:
            break;
        }
    }
    const Qt::KeyboardModifiers s = shift & ~Qt::KeyboardModifiers(Qt::ControlModifier);
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        break;
    default:
        return false;
    }
    NavHighlightItem(m_navFocus, false);
    m_navFocus = -1;
    switch (key) {
    case Qt::Key_Backspace:
        m_view.GoUp();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // With no current cell there is nothing to open.
        if (m_current >= 0 && m_current < Count())
            m_view.OpenCurrent();
        break;
    case Qt::Key_Space:
        SelectPhoto(m_current, s);
        break;
    case Qt::Key_PageUp:
        SelectPhoto(PageUpTarget(), s);
        break;
    case Qt::Key_PageDown:
        SelectPhoto(PageDownTarget(), s);
        break;
    case Qt::Key_End:
        SelectPhoto(Count() - 1, s);
        break;
    case Qt::Key_Home:
        SelectPhoto(0, s);
        break;
    case Qt::Key_Left:
        SelectPhoto(m_current - 1, s);
        break;
    case Qt::Key_Up:
        SelectPhoto(m_current - columns, s);
        break;
    case Qt::Key_Right:
        SelectPhoto(m_current + 1, s);
        break;
    case Qt::Key_Down:
        SelectPhoto(m_current == -1 ? 0 : m_current + columns, s);
        break;
    default:
        break;
    }
    return true;
}

int PhotoGridModel::PageUpTarget() const
{
    if (m_current < 0)
        return m_current;
    const int columns = std::max(1, m_columns);
    // A view too short for a whole row still moves by one.
    const int rows = std::max(1, m_rows);
    int index = m_current;
    int found = m_current;
    while (index >= 0) {
        if (CellPosition(index).y() + Geometry::c_CellHeightPx < 0)
            break;
        found = index;
        index -= columns;
    }
    if (index < 0)
        return m_current % columns;
    if (found == m_current) {
        found = m_current - rows * columns;
        if (found < 0)
            found = m_current % columns;
    }
    return found;
}

int PhotoGridModel::PageDownTarget() const
{
    if (m_current < 0)
        return m_current;
    const int columns = std::max(1, m_columns);
    const int rows = std::max(1, m_rows);
    const int client = m_view.ClientHeight();
    int index = m_current;
    int found = m_current;
    while (true) {
        if (index >= Count()) {
            found = index;
            break;
        }
        if (CellPosition(index).y() >= client)
            break;
        found = index;
        index += columns;
    }
    if (found == m_current)
        found += rows * columns;
    while (found > Count() - 1)
        found -= columns;
    return found;
}

void PhotoGridModel::Press(int index, Qt::KeyboardModifiers shift, bool holdsButton)
{
    if (holdsButton)
        m_mouseDownPending = true;
    if (index < 0 || index >= Count()) {
        LUMO_ASSERT(false);
        return;
    }
    PhotoCell& cell = *m_cells[size_t(index)];
    m_pressedCell = &cell;
    m_wasSelectedAtMouseDown = cell.Selected;
    if (!cell.Selected)
        SelectPhoto(index, shift);
}

void PhotoGridModel::Release(Qt::KeyboardModifiers shift, bool releasesButton)
{
    PhotoCell* pressed = m_pressedCell;
    if (releasesButton)
        m_mouseDownPending = false;
    if (m_wasSelectedAtMouseDown && !m_dragging) {
        m_wasSelectedAtMouseDown = false;
        const int index = IndexOf(pressed);
        if (index < 0) {
            LUMO_ASSERT(false);
            return;
        }
        SelectPhoto(index, shift);
    }
    if (!m_mouseDownPending)
        m_pressedCell = nullptr;
}

void PhotoGridModel::EndDrag()
{
    m_dragging = false;
    // The drag took the button's release: the press is over.
    m_mouseDownPending = false;
    m_wasSelectedAtMouseDown = false;
    m_pressedCell = nullptr;
    m_removedDuringDrag.clear();
}

void PhotoGridModel::BeginBand(Qt::KeyboardModifiers shift, const QPoint& at)
{
    m_bandActive = true;
    m_bandDrawn = false;
    m_bandShift = shift;
    for (const auto& cell : m_cells)
        cell->SavedSelected = cell->Selected;
    m_bandStart = m_bandEnd = at;
}

void PhotoGridModel::MoveBand(Qt::KeyboardModifiers shift, const QPoint& at)
{
    if (!m_bandActive)
        return;
    m_bandShift = shift;
    if (!m_bandDrawn) {
        // A plain band replaces the selection; Ctrl or Shift add to it.
        if (!(shift & (Qt::ControlModifier | Qt::ShiftModifier))) {
            ClearSelection();
            for (const auto& cell : m_cells)
                cell->SavedSelected = false;
        }
        m_bandDrawn = true;
    }
    m_bandEnd = at;
    SelectInBand(shift);
}

void PhotoGridModel::FollowScroll(int contentY)
{
    m_bandEnd.setY(contentY);
    // The cells the band reaches while scrolling are taken at once, not at the next move.
    SelectInBand(m_bandShift);
}

bool PhotoGridModel::EndBand()
{
    m_bandActive = false;
    if (m_bandDrawn) {
        m_bandDrawn = false;
        return true;
    }
    ClearSelection();
    return false;
}

void PhotoGridModel::SelectInBand(Qt::KeyboardModifiers shift)
{
    const int left = std::min(m_bandStart.x(), m_bandEnd.x());
    const int right = std::max(m_bandStart.x(), m_bandEnd.x());
    const int top = std::min(m_bandStart.y(), m_bandEnd.y());
    const int bottom = std::max(m_bandStart.y(), m_bandEnd.y());
    const QRect band(left, top, right - left, bottom - top);
    const bool toggle = shift.testFlag(Qt::ControlModifier);
    for (int index = 0; index < Count(); ++index) {
        PhotoCell& cell = *m_cells[size_t(index)];
        const QRect content(Geometry::CellPosition(index, m_columns, 0), Geometry::CellRect().size());
        const bool inside = Geometry::BandTarget(content).intersects(band);
        const bool state = inside ? (toggle ? !cell.SavedSelected : true) : cell.SavedSelected;
        SetSelectionState(index, state, false);
    }
}

QRect PhotoGridModel::BandInClient() const
{
    const int scroll = m_view.ScrollPosition();
    const QPoint a(m_bandStart.x(), m_bandStart.y() - scroll);
    const QPoint b(m_bandEnd.x(), m_bandEnd.y() - scroll);
    return QRect(
        QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())), QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

void PhotoGridModel::SetThumbnail(PhotoCell& cell, QByteArray jpeg, QImage picture)
{
    cell.Jpeg = std::move(jpeg);
    ForgetPicture(cell);
    cell.Picture = std::move(picture);
    m_decoded.push_front(&cell);
    cell.DecodedAt = m_decoded.begin();
    cell.Decoded = true;
    TrimDecoded();
    cell.Rendered = true;
}

void PhotoGridModel::TrimDecoded()
{
    while (m_decoded.size() > c_DecodedLimit) {
        PhotoCell* oldest = m_decoded.back();
        m_decoded.pop_back();
        oldest->Picture = QImage();
        oldest->Decoded = false;
    }
}

const QImage* PhotoGridModel::PictureOf(PhotoCell& cell)
{
    if (cell.Jpeg.isEmpty())
        return nullptr;
    if (cell.Decoded) {
        m_decoded.splice(m_decoded.begin(), m_decoded, cell.DecodedAt);
    } else {
        cell.Picture = DecodeThumbnail(cell.Jpeg, cell.PixelRatio);
        m_decoded.push_front(&cell);
        cell.DecodedAt = m_decoded.begin();
        cell.Decoded = true;
    }
    TrimDecoded();
    return &cell.Picture;
}

void PhotoGridModel::ForgetPicture(PhotoCell& cell)
{
    if (cell.Decoded) {
        m_decoded.erase(cell.DecodedAt);
        cell.Decoded = false;
    }
    cell.Picture = QImage();
}
