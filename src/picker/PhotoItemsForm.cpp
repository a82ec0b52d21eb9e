#include "picker/PhotoItemsForm.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "common/Assert.h"
#include "common/Exceptions.h"
#include "host/JpegDecoder.h"
#include "host/MediaItem.h"
#include "host/UrlImpl.h"
#include "picker/ItemIconList.h"
#include "picker/MediaItemDragObj.h"
#include "picker/MediaPageForm.h"
#include "picker/MediaTreeForm.h"
#include "picker/MyMediaItem.h"
#include "picker/PhotoCellGeometry.h"
#include "picker/RowReconcile.h"
#include "picker/UpdateQueue.h"
#include "picker/Utilities.h"
#include "picker/ViewSupport.h"
#include "platform/MessageBox.h"

using namespace LumoApi;
using Geometry = PhotoCellGeometry;

namespace {

constexpr int c_RenderIntervalMs = 20;
constexpr int c_ScrollIntervalMs = 50;
constexpr int c_WheelStepPx = Geometry::c_PitchYPx;
constexpr int c_WheelNotch = 120;
constexpr int c_CellCapacity = 1024;
// About 20 MB of decoded pictures: several screens of cells, so scrolling back and forth
// within them decodes nothing.
constexpr size_t c_DecodedLimit = 512;
constexpr int c_CaptionFontPx = 11;
// Adding an item asks its module for its type and title; slices this long keep the window
// painting while a listing of thousands is placed.
constexpr qint64 c_PlacingSliceNs = 8'000'000;
constexpr int c_PanelFontPx = 12;

constexpr char c_NoContent[] = "This container does not contain any publishable photo content.";
constexpr char c_NoContentNamed[] = "'%1' does not contain any publishable photo content.";

// Only Shift and Ctrl take part in selecting; the keypad flag of arrow keys must not count.
Qt::KeyboardModifiers SelectionKeys(Qt::KeyboardModifiers modifiers)
{
    return modifiers & (Qt::ShiftModifier | Qt::ControlModifier);
}

QColor Background(const QWidget& widget)
{
    return widget.palette().color(QPalette::Active, QPalette::Base);
}

QColor Highlight(const QWidget& widget)
{
    return widget.palette().color(QPalette::Active, QPalette::Highlight);
}

void DrawFocusRect(QPainter& painter, const QRect& rect)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    painter.save();
    QPen pen(Qt::black, 1, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.restore();
}

// Answers not yet delivered are few: a tick asks for no more while this many are being made, so
// scrolling fast past thousands of cells does not queue work for cells long out of view.
constexpr int c_ThumbnailsInFlight = 2;
// Names collated per look at the clock while a listing is put in order.
constexpr size_t c_SortBatch = 64;

QImage DecodeThumbnail(const QByteArray& jpeg, qreal pixelRatio)
{
    QImage picture = DecodeJpeg(reinterpret_cast<const uint8_t*>(jpeg.constData()), size_t(jpeg.size()));
    picture.setDevicePixelRatio(pixelRatio);
    return picture;
}

// Sizes in points, as the picture is drawn.
QSize PointSize(const QImage& picture)
{
    return picture.deviceIndependentSize().toSize();
}

} // namespace

PhotoCell::PhotoCell() = default;
PhotoCell::~PhotoCell() = default;

TPhotoScrollBox::TPhotoScrollBox(TPhotoItems& grid) : QAbstractScrollArea(&grid), m_grid(grid)
{
    setObjectName("ScrollBox");
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::NoFrame);
    viewport()->setMouseTracking(false);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(Geometry::c_PitchYPx / 4);
}

void TPhotoScrollBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    Guarded([&] { m_grid.PaintCells(painter, event->rect()); });
}

void TPhotoScrollBox::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const Qt::KeyboardModifiers shift = SelectionKeys(event->modifiers());
    Guarded([&] {
        const int index = m_grid.CellAt(at);
        if (index >= 0)
            m_grid.OnMouseDown(index, event->button(), shift, at);
        else
            m_grid.ScrollBoxMouseDown(shift, at);
    });
}

void TPhotoScrollBox::mouseReleaseEvent(QMouseEvent* event)
{
    const Qt::KeyboardModifiers shift = SelectionKeys(event->modifiers());
    Guarded([&] {
        // The press decides who gets the release, as a pointer grab would.
        if (m_grid.m_pressedCell)
            m_grid.OnMouseUp(event->button(), shift);
        else if (m_grid.m_bandActive)
            m_grid.ScrollBoxMouseUp();
    });
    if (event->button() == Qt::RightButton)
        Guarded([&] { m_grid.ShowPopup(event->globalPosition().toPoint()); });
}

void TPhotoScrollBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const Qt::KeyboardModifiers shift = SelectionKeys(event->modifiers());
    Guarded([&] {
        if (m_grid.m_mouseDownPending)
            m_grid.OnMouseMove(at);
        else if (m_grid.m_bandActive)
            m_grid.ScrollBoxMouseMove(shift, at);
    });
}

void TPhotoScrollBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click selects nothing.
    if (event->button() != Qt::LeftButton)
        return;
    if (m_grid.CellAt(event->position().toPoint()) >= 0)
        Guarded([&] { m_grid.OnDblClick(); });
}

void TPhotoScrollBox::wheelEvent(QWheelEvent* event)
{
    // Whole notches only, so a fine-grained wheel still moves by rows of cells.
    m_grid.m_wheelRemainder += event->angleDelta().y();
    while (m_grid.m_wheelRemainder >= c_WheelNotch) {
        m_grid.m_wheelRemainder -= c_WheelNotch;
        m_grid.SetScrollPosition(m_grid.ScrollPosition() - c_WheelStepPx);
    }
    while (m_grid.m_wheelRemainder <= -c_WheelNotch) {
        m_grid.m_wheelRemainder += c_WheelNotch;
        m_grid.SetScrollPosition(m_grid.ScrollPosition() + c_WheelStepPx);
    }
    event->accept();
}

void TPhotoScrollBox::keyPressEvent(QKeyEvent* event)
{
    bool used = false;
    Guarded([&] { used = m_grid.FormKeyDown(event->key(), SelectionKeys(event->modifiers())); });
    if (used)
        event->accept();
    else
        QAbstractScrollArea::keyPressEvent(event);
}

void TPhotoScrollBox::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    Guarded([&] { m_grid.ScrollBoxEnter(); });
}

void TPhotoScrollBox::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    // A popup menu of our own takes the focus only for a moment; the selection stays visible.
    if (event->reason() != Qt::PopupFocusReason)
        Guarded([&] { m_grid.ScrollBoxExit(); });
}

void TPhotoScrollBox::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    Guarded([&] { m_grid.ScrollBoxResize(); });
}

void TPhotoScrollBox::scrollContentsBy(int, int)
{
    viewport()->update();
}

void TPhotoScrollBox::contextMenuEvent(QContextMenuEvent* event)
{
    // A mouse's menu opens on the button's release, after the selection has settled.
    if (event->reason() != QContextMenuEvent::Mouse)
        Guarded([&] { m_grid.ShowPopup(event->globalPos()); });
    event->accept();
}

bool TPhotoScrollBox::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QAbstractScrollArea::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    QString text;
    const int index = m_grid.CellAt(help->pos());
    if (index >= 0)
        Guarded([&] { text = m_grid.InfoTip(index); });
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, viewport());
    return true;
}

TPhotoItems::TPhotoItems(QWidget* parent, TMediaPage& page, TMediaTree& tree, UpdateQueue& queue)
    : QWidget(parent), m_page(page), m_tree(tree), m_queue(queue)
{
    setObjectName("PhotoItems");
    QFont captionFont = font();
    captionFont.setPixelSize(c_CaptionFontPx);
    setFont(captionFont);
    m_cells.reserve(c_CellCapacity);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    ScrollBox = new TPhotoScrollBox(*this);
    layout->addWidget(ScrollBox);

    NoItemsPanel = new QLabel(this);
    NoItemsPanel->setObjectName("NoItemsPanel");
    NoItemsPanel->setFrameShape(QFrame::Box);
    NoItemsPanel->setAlignment(Qt::AlignCenter);
    NoItemsPanel->setWordWrap(true);
    QFont panelFont("Arial");
    panelFont.setPixelSize(c_PanelFontPx);
    panelFont.setItalic(true);
    NoItemsPanel->setFont(panelFont);
    NoItemsPanel->setText(c_NoContent);
    NoItemsPanel->hide();

    Publish1 = page.PublishAction;
    Properties1 = page.PropertiesAction;
    PhotoItemsPopupMenu = new QMenu(this);
    PhotoItemsPopupMenu->setObjectName("PhotoItemsPopupMenu");
    PhotoItemsPopupMenu->addAction(Publish1);
    PhotoItemsPopupMenu->addAction(Properties1);

    ScrollingTimer = new QTimer(this);
    ScrollingTimer->setObjectName("ScrollingTimer");
    ScrollingTimer->setInterval(c_ScrollIntervalMs);
    connect(ScrollingTimer, &QTimer::timeout, this, [this] { Guarded([this] { OnScrollingTimer(); }); });
    RenderingTimer = new QTimer(this);
    RenderingTimer->setObjectName("RenderingTimer");
    RenderingTimer->setInterval(c_RenderIntervalMs);
    connect(RenderingTimer, &QTimer::timeout, this, [this] { Guarded([this] { RenderingTimerTimer(); }); });
    RenderingTimer->start();
    m_placingTimer = new QTimer(this);
    m_placingTimer->setInterval(0);
    connect(m_placingTimer, &QTimer::timeout, this, [this] { Guarded([this] { PlacePending(); }); });

    m_dragStarter = [this](std::unique_ptr<MediaItemDragObj> drag, const QImage& image) {
        QDrag* run = new QDrag(ScrollBox);
        run->setMimeData(drag.release());
        if (!image.isNull()) {
            run->setPixmap(QPixmap::fromImage(image));
            run->setHotSpot(QPoint(image.width() / 2, image.height() / 2));
        }
        run->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
    };
    m_thumbnails = std::make_unique<ThumbnailProvider>();
    connect(m_thumbnails.get(), &ThumbnailProvider::Ready, this,
        [this](quint64 ticket, const QByteArray& jpeg, const QImage& picture, bool failed) {
            Guarded([&] { OnThumbnail(ticket, jpeg, picture, failed); });
        });
    tree.SetItemsWindow(this);
}

TPhotoItems::~TPhotoItems()
{
    RenderingTimer->stop();
    ScrollingTimer->stop();
    // First, so no thumbnail is being made for a cell about to go.
    m_thumbnails.reset();
    m_container.reset();
    DestroyAllCells();
    m_removedDuringDrag.clear();
}

int TPhotoItems::ScrollPosition() const
{
    return ScrollBox->verticalScrollBar()->value();
}

void TPhotoItems::SetScrollPosition(int pixels)
{
    // The scroll bar keeps the position in range.
    ScrollBox->verticalScrollBar()->setValue(pixels);
}

QPoint TPhotoItems::CellPosition(int index) const
{
    return Geometry::CellPosition(index, m_columns, ScrollPosition());
}

int TPhotoItems::CellAt(const QPoint& point) const
{
    const int columns = std::max(1, m_columns);
    const int x = point.x() - Geometry::c_GridMarginPx;
    const int y = point.y() + ScrollPosition() - Geometry::c_GridMarginPx;
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

QImage TPhotoItems::CellImage(int index)
{
    QImage image(Geometry::c_CellWidthPx, Geometry::c_CellHeightPx, QImage::Format_RGB32);
    image.fill(Background(*this));
    if (index < 0 || index >= Count())
        return image;
    QPainter painter(&image);
    painter.setFont(font());
    PaintCell(painter, *m_cells[size_t(index)], QPoint(0, 0));
    return image;
}

bool TPhotoItems::event(QEvent* event)
{
    switch (int(event->type())) {
    case ShowContainerEvent::c_Type: {
        const ApiRef<UrlApi> container = static_cast<ShowContainerEvent*>(event)->Container();
        Guarded([&] { ShowContainer(container); });
        return true;
    }
    case QueuedEvent::c_Type: {
        std::unique_ptr<UpdateInfo> info = static_cast<QueuedEvent*>(event)->TakeInfo();
        Guarded([&] { OnNotification(std::move(info)); });
        return true;
    }
    case CurrentItemEvent::c_Type: {
        auto* query = static_cast<CurrentItemEvent*>(event);
        query->m_item = nullptr;
        Guarded([&] { query->m_item = GetItem(m_current); });
        return true;
    }
    case SelectedItemsEvent::c_Type: {
        QList<MyMediaItem*>& items = static_cast<SelectedItemsEvent*>(event)->m_items;
        items.clear();
        for (const auto& cell : m_cells) {
            if (cell->Selected)
                items.append(cell->Item.get());
        }
        return true;
    }
    case c_SelectAllEvent:
        Guarded([this] { SelectAll(); });
        return true;
    case c_RefreshEvent:
        if (m_container)
            Guarded([this] { m_container->PostRefreshNotification(); });
        return true;
    default:
        return QWidget::event(event);
    }
}

void TPhotoItems::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    UpdateNoItemsPanel(m_cells.empty() && m_pending.empty());
}

void TPhotoItems::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    NoItemsPanel->setGeometry(rect());
}

void TPhotoItems::ShowContainer(const ApiRef<UrlApi>& url)
{
    m_container.reset();
    m_pending.clear();
    m_unsorted = 0;
    m_sortKeys.clear();
    m_placingTimer->stop();
    DestroyAllCells();
    m_current = -1;
    m_anchor = 0;
    // Indexes into the old cells mean nothing now.
    m_navFocus = -1;
    m_pressedCell = nullptr;
    m_mouseDownPending = false;
    m_wasSelectedAtMouseDown = false;
    ScrollingTimer->stop();
    m_bandActive = false;
    m_bandDrawn = false;
    LayoutChanged();
    SetScrollPosition(0);
    // Nothing is known about the new container until its listing arrives.
    NoItemsPanel->hide();
    if (!url)
        return;
    m_container = std::make_unique<ItemsPaneItem>(url, this, m_queue);
    ListAndWatch(*m_container);
}

void TPhotoItems::OnNotification(std::unique_ptr<UpdateInfo> info)
{
    if (!info) {
        LUMO_ASSERT(false);
        return;
    }
    switch (info->m_kind) {
    case ChildAdded:
        // Behind a listing still being placed, so the cells keep their arrival order.
        if (!m_pending.empty())
            m_pending.push_back(TextOf(info->m_item.Get()));
        else
            AddItem(info->m_item);
        break;
    case ChildRemoved: {
        const std::string key = TextOf(info->m_item.Get());
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
            const int index = FindCell(info->m_item.Get());
            if (index >= 0)
                RemoveCell(index);
        }
        UpdateNoItemsPanel(m_cells.empty() && m_pending.empty());
        break;
    }
    case ChildChanged:
        if (FindCell(info->m_item.Get()) < 0 && !IsPending(TextOf(info->m_item.Get())))
            AddItem(info->m_item);
        UpdateNoItemsPanel(m_cells.empty() && m_pending.empty());
        break;
    case Enumerated:
        // A listing of the container shown before this one is of no use any more.
        if (m_container && SameItem(info->m_item.Get(), m_container->Url().Get()))
            Reconcile(*info);
        break;
    default:
        LUMO_ASSERT(false);
    }
}

void TPhotoItems::Reconcile(UpdateInfo& info)
{
    if (!info.m_ChildList) {
        LUMO_ASSERT(false);
        return;
    }
    const ChildList& listed = *info.m_ChildList;
    std::vector<std::string> rows;
    rows.reserve(m_cells.size());
    for (const auto& cell : m_cells)
        rows.push_back(TextOf(cell->Item->Url().Get()));
    // New names are put in order by the placing timer, a slice at a time.
    const ReconcilePlan plan = PlanReconcile(rows, listed, AddOrder::Listing);
    for (auto cell = plan.remove.rbegin(); cell != plan.remove.rend(); ++cell)
        RemoveCell(int(*cell));
    if (!plan.remove.empty())
        LayoutChanged();
    // A newer listing replaces whatever an older one had left to place.
    m_pending.clear();
    m_sortKeys.clear();
    for (size_t entry : plan.add)
        m_pending.push_back(listed[entry]);
    m_unsorted = m_pending.size() > 1 ? m_pending.size() : 0;
    if (m_pending.empty())
        UpdateNoItemsPanel(m_cells.empty());
    else
        m_placingTimer->start();
}

void TPhotoItems::PlacePending()
{
    QElapsedTimer slice;
    slice.start();
    if (m_unsorted > 0) {
        m_sortKeys.reserve(m_unsorted);
        while (m_sortKeys.size() < m_unsorted && slice.nsecsElapsed() < c_PlacingSliceNs) {
            const size_t end = std::min(m_unsorted, m_sortKeys.size() + c_SortBatch);
            for (size_t entry = m_sortKeys.size(); entry < end; ++entry)
                m_sortKeys.push_back(SortKeyOf(m_collator, m_pending[entry]));
        }
        if (m_sortKeys.size() < m_unsorted)
            return;
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
        return;
    }
    while (!m_pending.empty() && slice.nsecsElapsed() < c_PlacingSliceNs) {
        const std::string key = std::move(m_pending.front());
        m_pending.pop_front();
        AddItem(MakeUrl(key));
    }
    if (m_pending.empty())
        m_placingTimer->stop();
    else if (!m_placingTimer->isActive())
        m_placingTimer->start();
    UpdateNoItemsPanel(m_cells.empty() && m_pending.empty());
}

bool TPhotoItems::IsPending(const std::string& key) const
{
    return std::find(m_pending.begin(), m_pending.end(), key) != m_pending.end();
}

void TPhotoItems::AddItem(const ApiRef<UrlApi>& url)
{
    if (!url || TextOf(url.Get()).empty())
        return;
    auto cell = std::make_unique<PhotoCell>();
    cell->Item = std::make_unique<ItemsPaneItem>(url, this, m_queue);
    cell->Id = m_nextCellId++;
    cell->Title = QString::fromStdString(cell->Item->GetTitle());
    m_cells.push_back(std::move(cell));
    LayoutChanged();
    RepaintCell(Count() - 1);
    UpdateNoItemsPanel(false);
}

int TPhotoItems::FindCell(UrlApi* url) const
{
    for (size_t index = 0; index < m_cells.size(); ++index) {
        if (SameItem(m_cells[index]->Item->Url().Get(), url))
            return int(index);
    }
    return -1;
}

int TPhotoItems::IndexOf(const PhotoCell* cell) const
{
    for (size_t index = 0; index < m_cells.size(); ++index) {
        if (m_cells[index].get() == cell)
            return int(index);
    }
    return -1;
}

void TPhotoItems::RemoveCell(int index)
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
    LayoutChanged();
    ScrollBox->viewport()->update();
}

void TPhotoItems::DestroyAllCells()
{
    // Answers for requests already being made find no cell and are dropped.
    if (m_thumbnails)
        m_thumbnails->CancelWaiting();
    m_decoded.clear();
    while (!m_cells.empty()) {
        std::unique_ptr<PhotoCell> cell = std::move(m_cells.back());
        m_cells.pop_back();
        cell->Decoded = false;
        if (m_dragging)
            m_removedDuringDrag.push_back(std::move(cell));
    }
    ScrollBox->viewport()->update();
}

void TPhotoItems::UpdateNoItemsPanel(bool show)
{
    if (show) {
        QString text = m_container ? QString(c_NoContent) : QString();
        if (m_container) {
            const std::string title = m_container->GetTitle();
            if (!title.empty())
                text = QString(c_NoContentNamed).arg(QString::fromStdString(title));
        }
        NoItemsPanel->setText(text);
        NoItemsPanel->setGeometry(rect());
        NoItemsPanel->raise();
    }
    NoItemsPanel->setVisible(show);
}

void TPhotoItems::LayoutChanged()
{
    QScrollBar* bar = ScrollBox->verticalScrollBar();
    const int client = ScrollBox->viewport()->height();
    bar->setPageStep(std::max(1, client));
    bar->setRange(0, std::max(0, Geometry::ContentHeight(Count(), m_columns) - client));
}

void TPhotoItems::ScrollBoxResize()
{
    const QSize client = ScrollBox->viewport()->size();
    m_rows = Geometry::RowsFor(client.height());
    const int columns = Geometry::ColumnsFor(client.width());
    const bool moved = columns != m_columns;
    m_columns = columns;
    LayoutChanged();
    if (moved)
        ScrollBox->viewport()->update();
}

void TPhotoItems::RenderingTimerTimer()
{
    if (m_cells.empty() || !ScrollBox->isVisible())
        return;
    const int columns = std::max(1, m_columns);
    const int client = ScrollBox->viewport()->height();
    const int scroll = ScrollPosition();
    // Rows that reach into [scroll, scroll + client): only their cells can be in view.
    const int firstRow
        = std::max(0, (scroll - Geometry::c_GridMarginPx - Geometry::c_CellHeightPx) / Geometry::c_PitchYPx);
    const int lastRow = std::max(0, (scroll + client - Geometry::c_GridMarginPx) / Geometry::c_PitchYPx);
    const QRect view = ScrollBox->viewport()->rect();
    const int end = std::min(Count(), (lastRow + 1) * columns);
    for (int index = firstRow * columns; index < end; ++index) {
        PhotoCell& cell = *m_cells[size_t(index)];
        if (cell.Rendered || cell.RenderFailed || cell.Requested)
            continue;
        if (!QRect(CellPosition(index), Geometry::CellRect().size()).intersects(view))
            continue;
        if (!cell.Item->IsContainer()) {
            if (m_thumbnails->Outstanding() >= c_ThumbnailsInFlight)
                return;
            cell.Requested = true;
            cell.PixelRatio = ScrollBox->viewport()->devicePixelRatioF();
            m_thumbnails->Request(cell.Id, TextOf(cell.Item->Url().Get()), ThumbnailSizePx());
            return;
        }
        try {
            RenderImage(cell);
        } catch (...) {
            cell.RenderFailed = true;
        }
        RepaintCell(index);
        return;
    }
}

void TPhotoItems::RenderImage(PhotoCell& cell)
{
    if (cell.Rendered)
        return;
    ItemIconList* list = nullptr;
    int index = -1;
    if (GetItemIcon(cell.Item->Item(), c_ItemIconLarge, list, index)) {
        if (!m_images)
            m_images = list;
        cell.IconList = list;
        cell.IconIndex = index;
    }
    cell.Rendered = true;
}

int TPhotoItems::ThumbnailSizePx() const
{
    return int(std::ceil(Geometry::c_ThumbnailPx * ScrollBox->viewport()->devicePixelRatioF()));
}

int TPhotoItems::FindCellById(uint64_t id) const
{
    for (size_t index = 0; index < m_cells.size(); ++index) {
        if (m_cells[index]->Id == id)
            return int(index);
    }
    return -1;
}

void TPhotoItems::OnThumbnail(quint64 ticket, const QByteArray& jpeg, const QImage& picture, bool failed)
{
    const int index = FindCellById(ticket);
    if (index < 0)
        return;
    PhotoCell& cell = *m_cells[size_t(index)];
    cell.Requested = false;
    if (failed) {
        cell.RenderFailed = true;
        RepaintCell(index);
        return;
    }
    QImage shown = picture;
    shown.setDevicePixelRatio(cell.PixelRatio);
    const QSize size = PointSize(shown);
    if (size.width() > Geometry::c_ThumbnailPx || size.height() > Geometry::c_ThumbnailPx) {
        // Said once, here: the paint that draws it from the corner runs again and again.
        try {
            LUMO_ASSERT(false);
        } catch (const LumoAssertException&) {
        }
    }
    cell.Jpeg = jpeg;
    ForgetPicture(cell);
    cell.Picture = std::move(shown);
    m_decoded.push_front(&cell);
    cell.DecodedAt = m_decoded.begin();
    cell.Decoded = true;
    TrimDecoded();
    cell.Rendered = true;
    RepaintCell(index);
}

void TPhotoItems::TrimDecoded()
{
    while (m_decoded.size() > c_DecodedLimit) {
        PhotoCell* oldest = m_decoded.back();
        m_decoded.pop_back();
        oldest->Picture = QImage();
        oldest->Decoded = false;
    }
}

const QImage* TPhotoItems::PictureOf(PhotoCell& cell)
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

void TPhotoItems::ForgetPicture(PhotoCell& cell)
{
    if (cell.Decoded) {
        m_decoded.erase(cell.DecodedAt);
        cell.Decoded = false;
    }
    cell.Picture = QImage();
}

void TPhotoItems::PaintCells(QPainter& painter, const QRect& area)
{
    painter.fillRect(area, Background(*this));
    painter.setFont(font());
    if (!m_cells.empty()) {
        const int columns = std::max(1, m_columns);
        const int scroll = ScrollPosition();
        const int firstRow = std::max(
            0, (area.top() + scroll - Geometry::c_GridMarginPx - Geometry::c_CellHeightPx) / Geometry::c_PitchYPx);
        const int lastRow = std::max(0, (area.bottom() + scroll - Geometry::c_GridMarginPx) / Geometry::c_PitchYPx);
        const int end = std::min(Count(), (lastRow + 1) * columns);
        for (int index = firstRow * columns; index < end; ++index) {
            const QPoint origin = CellPosition(index);
            if (!QRect(origin, Geometry::CellRect().size()).intersects(area))
                continue;
            PhotoCell& cell = *m_cells[size_t(index)];
            try {
                PaintCell(painter, cell, origin);
            } catch (...) {
                // Bytes that decoded once but not now: show the placeholder rather than fail
                // every paint.
                cell.Jpeg.clear();
                ForgetPicture(cell);
            }
        }
    }
    if (m_bandDrawn) {
        painter.save();
        painter.setClipping(false);
        DrawFocusRect(painter, BandInClient());
        painter.restore();
    }
}

void TPhotoItems::PaintCell(QPainter& painter, PhotoCell& cell, const QPoint& origin)
{
    painter.save();
    painter.translate(origin);
    painter.fillRect(Geometry::CellRect(), Background(*this));
    if (cell.Rendered) {
        QImage icon;
        const QImage* picture = nullptr;
        if (cell.IconList) {
            const int size = cell.IconList->IconSizePx();
            icon = cell.IconList->Icon(cell.IconIndex).pixmap(size, size).toImage();
            picture = icon.isNull() ? nullptr : &icon;
        } else {
            picture = PictureOf(cell);
        }
        if (picture) {
            // Too large a picture was reported when it came; here it only starts at the corner.
            const QSize size = PointSize(*picture);
            const int x = std::max(0, (Geometry::c_ThumbnailPx - size.width()) / 2);
            const int y = std::max(0, (Geometry::c_ThumbnailPx - size.height()) / 2);
            painter.save();
            painter.setClipRect(Geometry::ImageArea());
            const QPoint at = Geometry::ThumbnailRect().topLeft() + QPoint(x, y);
            painter.drawImage(at, *picture);
            painter.restore();
        }
    }
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(Geometry::FrameRect().adjusted(0, 0, -1, -1));
    QRect sides[4];
    Geometry::SelectionFrame(Geometry::ImageArea(), sides);
    const QColor frame = cell.FrameSelected ? Highlight(*this) : Background(*this);
    for (const QRect& side : sides)
        painter.fillRect(side, frame);
    DrawCaption(painter, cell, QPoint(0, 0));
    painter.restore();
}

void TPhotoItems::DrawCaption(QPainter& painter, PhotoCell& cell, const QPoint& origin)
{
    const QFontMetrics metrics(painter.font());
    const QRect strip = Geometry::CaptionStrip().translated(origin);
    if (!cell.CaptionLaidOut) {
        bool fitted = true;
        cell.CaptionLines = Geometry::FitCaption(cell.Title, metrics, strip.width(), strip.height(), fitted);
        cell.CaptionLaidOut = true;
    }
    const QColor background = cell.CaptionHighlighted ? Highlight(*this) : Background(*this);
    const QColor ink = cell.CaptionHighlighted ? QColor(255, 255, 255) : QColor(0, 0, 0);
    const int lineHeight = metrics.height();
    int widestInset = 0;
    for (qsizetype line = 0; line < cell.CaptionLines.size(); ++line) {
        const QString& text = cell.CaptionLines[line];
        const int width = metrics.horizontalAdvance(text);
        const int x = (strip.width() - width) / 2;
        widestInset = std::max(widestInset, x);
        const QRect textCell(strip.left() + x, strip.top() + int(line) * lineHeight, width, lineHeight);
        painter.fillRect(textCell, background);
        painter.setPen(ink);
        painter.drawText(textCell.left(), textCell.top() + metrics.ascent(), text);
    }
    if (!cell.CaptionHighlighted && cell.CaptionFocused) {
        QRect focus(strip.left() + widestInset, strip.top(), strip.width() - 2 * widestInset,
            int(cell.CaptionLines.size()) * lineHeight);
        DrawFocusRect(painter, focus.adjusted(-2, -2, 2, 2));
    }
}

void TPhotoItems::RepaintCell(int index)
{
    if (index < 0 || index >= Count())
        return;
    const QRect cell(CellPosition(index), Geometry::CellRect().size());
    ScrollBox->viewport()->update(cell.adjusted(-3, -3, 3, 3));
}

void TPhotoItems::ScrollInView(int index)
{
    if (index < 0 || index >= Count())
        return;
    const int top = CellPosition(index).y();
    const int bottom = top + Geometry::c_CellHeightPx;
    const int client = ScrollBox->viewport()->height();
    // The grid's margin comes along, so the first row scrolls back to the very top.
    if (top < 0)
        SetScrollPosition(ScrollPosition() + top - Geometry::c_GridMarginPx);
    else if (bottom > client)
        SetScrollPosition(ScrollPosition() + std::min(top, bottom - client + Geometry::c_GridMarginPx));
}

ItemsPaneItem* TPhotoItems::GetItem(int index)
{
    if (index == -1)
        return nullptr;
    if (index < 0 || index >= Count()) {
        LUMO_ASSERT(false);
        return nullptr;
    }
    return m_cells[size_t(index)]->Item.get();
}

void TPhotoItems::SetSelectionState(int index, bool state, bool scroll)
{
    if (index < 0 || index >= Count())
        return;
    PhotoCell& cell = *m_cells[size_t(index)];
    if (cell.Selected != state) {
        HighlightItem(state, index, scroll);
        cell.Selected = state;
    }
}

void TPhotoItems::HighlightItem(bool on, int index, bool scroll)
{
    if (index == -1)
        return;
    if (index < 0 || index >= Count()) {
        LUMO_ASSERT(false);
        return;
    }
    if (scroll)
        ScrollInView(index);
    PhotoCell& cell = *m_cells[size_t(index)];
    cell.FrameSelected = on;
    cell.CaptionHighlighted = on;
    cell.CaptionFocused = false;
    RepaintCell(index);
}

void TPhotoItems::NavHighlightItem(int index, bool on)
{
    if (index == -1)
        return;
    if (index < 0 || index >= Count()) {
        LUMO_ASSERT(false);
        return;
    }
    ScrollInView(index);
    PhotoCell& cell = *m_cells[size_t(index)];
    if (!cell.Selected) {
        cell.CaptionHighlighted = false;
        cell.CaptionFocused = on;
        RepaintCell(index);
    }
}

void TPhotoItems::HideAllSelections(bool hide)
{
    for (int index = 0; index < Count(); ++index)
        HighlightItem(!hide && m_cells[size_t(index)]->Selected, index, false);
}

void TPhotoItems::ClearSelection()
{
    for (int index = 0; index < Count(); ++index)
        SetSelectionState(index, false, false);
    m_current = -1;
}

void TPhotoItems::SelectAll()
{
    for (int index = 0; index < Count(); ++index)
        SetSelectionState(index, true, false);
}

void TPhotoItems::MoveFocus(int index)
{
    if (index < 0 || index >= Count() || index == m_current)
        return;
    NavHighlightItem(m_current, false);
    NavHighlightItem(index, true);
    m_anchor = m_current = m_navFocus = index;
}

void TPhotoItems::SelectPhoto(int index, Qt::KeyboardModifiers shift)
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

bool TPhotoItems::FormKeyDown(int key, Qt::KeyboardModifiers shift)
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
        m_page.UpdateActions();
        m_page.UpAction->trigger();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // With no current cell there is nothing to open.
        if (m_current >= 0 && m_current < Count())
            OnDblClick();
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

int TPhotoItems::PageUpTarget() const
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

int TPhotoItems::PageDownTarget() const
{
    if (m_current < 0)
        return m_current;
    const int columns = std::max(1, m_columns);
    const int rows = std::max(1, m_rows);
    const int client = ScrollBox->viewport()->height();
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

void TPhotoItems::OnMouseDown(int index, Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& at)
{
    if (button == Qt::LeftButton) {
        m_mouseDownPending = true;
        m_mouseDownAt = at;
    }
    ScrollBox->setFocus(Qt::MouseFocusReason);
    // Moving the focus may have run other handlers; the cell is looked up again.
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

void TPhotoItems::OnMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift)
{
    PhotoCell* pressed = m_pressedCell;
    if (button == Qt::LeftButton)
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

void TPhotoItems::OnMouseMove(const QPoint& at)
{
    if (!m_mouseDownPending || !m_pressedCell)
        return;
    const int threshold = QApplication::startDragDistance();
    if (std::abs(at.x() - m_mouseDownAt.x()) <= threshold && std::abs(at.y() - m_mouseDownAt.y()) <= threshold)
        return;
    StartDrag(*m_pressedCell);
}

void TPhotoItems::StartDrag(PhotoCell& pressed)
{
    QList<MyMediaItem*> items;
    for (const auto& cell : m_cells) {
        if (cell->Selected)
            items.append(cell->Item.get());
    }
    const QImage image = CellImage(IndexOf(&pressed));
    m_dragging = true;
    try {
        m_dragStarter(std::make_unique<MediaItemDragObj>(items), image);
    } catch (...) {
        m_dragging = false;
        throw;
    }
    m_dragging = false;
    // The drag took the button's release: the press is over.
    m_mouseDownPending = false;
    m_wasSelectedAtMouseDown = false;
    m_pressedCell = nullptr;
    m_removedDuringDrag.clear();
}

void TPhotoItems::OnDblClick()
{
    if (m_current < 0 || m_current >= Count()) {
        LUMO_ASSERT(false);
        return;
    }
    ItemsPaneItem& item = *m_cells[size_t(m_current)]->Item;
    if (item.IsContainer()) {
        m_tree.SelectChild(item.Url().Get());
        return;
    }
    if (m_page.CanShowProperties())
        m_page.ShowProperties();
}

void TPhotoItems::ScrollBoxMouseDown(Qt::KeyboardModifiers shift, const QPoint& at)
{
    ScrollBox->setFocus(Qt::MouseFocusReason);
    m_bandActive = true;
    m_bandDrawn = false;
    m_bandShift = shift;
    for (const auto& cell : m_cells)
        cell->SavedSelected = cell->Selected;
    m_bandStart = m_bandEnd = QPoint(at.x(), at.y() + ScrollPosition());
}

void TPhotoItems::ScrollBoxMouseMove(Qt::KeyboardModifiers shift, QPoint at)
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
    const QSize client = ScrollBox->viewport()->size();
    m_scrollStep = Geometry::AutoScrollStep(at.y(), client.height());
    const bool overshoot = at.y() < 0 || at.y() > client.height() - 1;
    bool tick = false;
    if (overshoot && !ScrollingTimer->isActive()) {
        ScrollingTimer->setInterval(c_ScrollIntervalMs);
        ScrollingTimer->start();
        tick = true;
    } else if (!overshoot) {
        ScrollingTimer->stop();
    }
    at.setY(std::clamp(at.y(), 0, std::max(0, client.height() - 1)));
    at.setX(std::clamp(at.x(), 0, std::max(0, client.width() - 1)));
    m_bandEnd = QPoint(at.x(), at.y() + ScrollPosition());
    SelectInBand(shift);
    ScrollBox->viewport()->update();
    if (tick)
        OnScrollingTimer();
}

void TPhotoItems::OnScrollingTimer()
{
    if (!m_bandActive) {
        ScrollingTimer->stop();
        return;
    }
    SetScrollPosition(ScrollPosition() + m_scrollStep);
    const int client = ScrollBox->viewport()->height();
    m_bandEnd.setY(ScrollPosition() + (m_scrollStep < 1 ? 0 : client - 1));
    // The cells the band reaches while scrolling are taken at once, not at the next move.
    SelectInBand(m_bandShift);
    ScrollBox->viewport()->update();
}

void TPhotoItems::ScrollBoxMouseUp()
{
    ScrollingTimer->stop();
    m_bandActive = false;
    if (m_bandDrawn) {
        m_bandDrawn = false;
        ScrollBox->viewport()->update();
    } else {
        ClearSelection();
    }
}

void TPhotoItems::SelectInBand(Qt::KeyboardModifiers shift)
{
    const int left = std::min(m_bandStart.x(), m_bandEnd.x());
    const int right = std::max(m_bandStart.x(), m_bandEnd.x());
    const int top = std::min(m_bandStart.y(), m_bandEnd.y());
    const int bottom = std::max(m_bandStart.y(), m_bandEnd.y());
    const QRect band(left, top, right - left, bottom - top);
    const bool toggle = shift.testFlag(Qt::ControlModifier);
    const int scroll = ScrollPosition();
    for (int index = 0; index < Count(); ++index) {
        PhotoCell& cell = *m_cells[size_t(index)];
        const QRect content(CellPosition(index) + QPoint(0, scroll), Geometry::CellRect().size());
        const bool inside = Geometry::BandTarget(content).intersects(band);
        const bool state = inside ? (toggle ? !cell.SavedSelected : true) : cell.SavedSelected;
        SetSelectionState(index, state, false);
    }
}

QRect TPhotoItems::BandInClient() const
{
    const int scroll = ScrollPosition();
    const QPoint a(m_bandStart.x(), m_bandStart.y() - scroll);
    const QPoint b(m_bandEnd.x(), m_bandEnd.y() - scroll);
    return QRect(
        QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())), QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

void TPhotoItems::ScrollBoxEnter()
{
    HideAllSelections(false);
}

void TPhotoItems::ScrollBoxExit()
{
    HideAllSelections(true);
}

void TPhotoItems::ShowPopup(const QPoint& globalPosition)
{
    m_page.UpdateActions();
    PhotoItemsPopupMenu->popup(globalPosition);
}

QString TPhotoItems::InfoTip(int index)
{
    if (index < 0 || index >= Count())
        return QString();
    ItemsPaneItem& item = *m_cells[size_t(index)]->Item;
    if (IsBroken(item.Item()))
        return QString::fromStdString(item.Property("SourceLocation"));
    return QString::fromStdString(item.IsContainer() ? m_page.ContainerSummary(item) : m_page.PhotoSummary(item));
}
