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
#include "picker/ViewKeyboard.h"
#include "picker/ViewSupport.h"
#include "platform/MessageBox.h"

using namespace LumoApi;
using Geometry = PhotoCellGeometry;

namespace {

constexpr int c_RenderIntervalMs = 20;
constexpr int c_ScrollIntervalMs = 50;
constexpr int c_WheelStepPx = Geometry::c_PitchYPx;
constexpr int c_WheelNotch = 120;
constexpr int c_CaptionFontPx = 11;
// Adding an item asks its module for its type and title; slices this long keep the window
// painting while a listing of thousands is placed.
constexpr qint64 c_PlacingSliceNs = 8'000'000;
constexpr int c_PanelFontPx = 12;

constexpr char c_NoContent[]
    = QT_TRANSLATE_NOOP("TPhotoItems", "This container does not contain any publishable photo content.");
constexpr char c_NoContentNamed[]
    = QT_TRANSLATE_NOOP("TPhotoItems", "'%1' does not contain any publishable photo content.");

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

// Captions, frames and the focus rectangle: the palette's ink, so a dark theme shows them too.
QColor Ink(const QWidget& widget, bool highlighted)
{
    return widget.palette().color(QPalette::Active, highlighted ? QPalette::HighlightedText : QPalette::Text);
}

// Answers not yet delivered are few: a tick asks for no more while this many are being made, so
// scrolling fast past thousands of cells does not queue work for cells long out of view.
constexpr int c_ThumbnailsInFlight = 2;

// Sizes in points, as the picture is drawn.
QSize PointSize(const QImage& picture)
{
    return picture.deviceIndependentSize().toSize();
}

} // namespace

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
    Guarded([&] {
        m_grid.WakeRendering();
        m_grid.PaintCells(painter, event->rect());
    });
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
        if (m_grid.m_model->Pressed())
            m_grid.OnMouseUp(event->button(), shift);
        else if (m_grid.m_model->BandActive())
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
        if (m_grid.m_model->ButtonHeld())
            m_grid.OnMouseMove(at);
        else if (m_grid.m_model->BandActive())
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
    if (IsMenuKey(*event)) {
        Guarded([&] { m_grid.ShowPopup(viewport()->mapToGlobal(m_grid.MenuAnchor())); });
        event->accept();
        return;
    }
    bool used = false;
    Guarded([&] { used = m_grid.FormKeyDown(event->key(), SelectionKeys(event->modifiers())); });
    if (used) {
        NotifyGridFocus(this, m_grid.Current());
        NotifyGridSelection(this);
        event->accept();
    } else
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
    if (event->reason() == QContextMenuEvent::Keyboard)
        Guarded([&] { m_grid.ShowPopup(viewport()->mapToGlobal(m_grid.MenuAnchor())); });
    else if (event->reason() != QContextMenuEvent::Mouse)
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
    InstallPhotoGridAccessibility();
    QFont captionFont = font();
    captionFont.setPixelSize(c_CaptionFontPx);
    setFont(captionFont);
    m_model = std::make_unique<PhotoGridModel>(static_cast<PhotoGridView&>(*this), *this, queue);

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
    NoItemsPanel->setText(tr(c_NoContent));
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
    // The scroll box's last events (its focus leaving) still reach the model.
    delete ScrollBox;
    ScrollBox = nullptr;
    m_container.reset();
    m_model.reset();
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

QImage TPhotoItems::CellImage(int index)
{
    QImage image(Geometry::c_CellWidthPx, Geometry::c_CellHeightPx, QImage::Format_RGB32);
    image.fill(Background(*this));
    if (index < 0 || index >= Count())
        return image;
    QPainter painter(&image);
    painter.setFont(font());
    PaintCell(painter, m_model->Cell(index), QPoint(0, 0));
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
        Guarded([&] { query->m_item = m_model->GetItem(m_model->Current()); });
        return true;
    }
    case SelectedItemsEvent::c_Type: {
        QList<MyMediaItem*>& items = static_cast<SelectedItemsEvent*>(event)->m_items;
        items.clear();
        for (ItemsPaneItem* item : m_model->SelectedItems())
            items.append(item);
        return true;
    }
    case ItemsStatusEvent::c_Type: {
        auto* query = static_cast<ItemsStatusEvent*>(event);
        query->m_thumbnails = ThumbnailsPending();
        query->m_busy = m_model->Placing();
        if (m_container && (m_container->HasEnumeration() || m_model->Placing()))
            Guarded([&] { query->m_listing = QString::fromStdString(m_container->GetTitle()); });
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
    UpdateNoItemsPanel(m_model->Count() == 0 && !m_model->Placing());
}

void TPhotoItems::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    NoItemsPanel->setGeometry(rect());
}

void TPhotoItems::ShowContainer(const ApiRef<UrlApi>& url)
{
    m_container.reset();
    m_placingTimer->stop();
    // Answers for requests already being made find no cell and are dropped.
    m_thumbnails->CancelWaiting();
    ScrollingTimer->stop();
    m_model->Clear();
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
    // A listing of the container shown before this one is of no use any more.
    if (info->m_kind == Enumerated && !(m_container && SameItem(info->m_item.Get(), m_container->Url().Get())))
        return;
    m_model->Apply(*info);
    if (m_model->Placing())
        m_placingTimer->start();
    else
        UpdateNoItemsPanel(m_model->Count() == 0);
}

void TPhotoItems::PlacePending()
{
    if (!m_model->PlaceSome(c_PlacingSliceNs))
        m_placingTimer->stop();
    UpdateNoItemsPanel(m_model->Count() == 0 && !m_model->Placing());
}

void TPhotoItems::UpdateNoItemsPanel(bool show)
{
    if (show) {
        QString text = m_container ? tr(c_NoContent) : QString();
        if (m_container) {
            const std::string title = m_container->GetTitle();
            if (!title.empty())
                text = tr(c_NoContentNamed).arg(QString::fromStdString(title));
        }
        NoItemsPanel->setText(text);
        NoItemsPanel->setGeometry(rect());
        NoItemsPanel->raise();
    }
    NoItemsPanel->setVisible(show);
}

int TPhotoItems::ClientHeight() const
{
    return ScrollBox->viewport()->height();
}

void TPhotoItems::RepaintAll()
{
    ScrollBox->viewport()->update();
}

void TPhotoItems::CountChanged()
{
    QScrollBar* bar = ScrollBox->verticalScrollBar();
    const int client = ScrollBox->viewport()->height();
    bar->setPageStep(std::max(1, client));
    bar->setRange(0, std::max(0, Geometry::ContentHeight(Count(), Columns()) - client));
}

void TPhotoItems::GoUp()
{
    m_page.UpdateActions();
    m_page.UpAction->trigger();
}

void TPhotoItems::OpenCurrent()
{
    OnDblClick();
}

void TPhotoItems::ScrollBoxResize()
{
    const QSize client = ScrollBox->viewport()->size();
    const int columns = Geometry::ColumnsFor(client.width());
    const bool moved = columns != Columns();
    m_model->SetLayout(columns, Geometry::RowsFor(client.height()));
    CountChanged();
    if (moved)
        ScrollBox->viewport()->update();
}

QPoint TPhotoItems::MenuAnchor() const
{
    const QRect area = ScrollBox->viewport()->rect();
    const int current = m_model->Current();
    if (current >= 0 && current < Count()) {
        const QRect cell(CellPosition(current), Geometry::CellRect().size());
        if (area.intersects(cell))
            return QPoint(std::clamp(cell.center().x(), area.left(), area.right()),
                std::clamp(cell.bottom(), area.top(), area.bottom()));
    }
    return area.topLeft();
}

int TPhotoItems::ThumbnailsPending() const
{
    if (!ScrollBox->isVisible())
        return 0;
    const QRect view = ScrollBox->viewport()->rect();
    int pending = 0;
    for (int index = 0; index < Count(); ++index) {
        const PhotoCell& cell = m_model->Cell(index);
        if (!cell.Rendered && !cell.RenderFailed
            && QRect(CellPosition(index), Geometry::CellRect().size()).intersects(view))
            ++pending;
    }
    return pending;
}

int TPhotoScrollBox::AccessibleCount() const
{
    return m_grid.Count();
}

QString TPhotoScrollBox::AccessibleCaption(int index) const
{
    return m_grid.Cell(index).Title;
}

QRect TPhotoScrollBox::AccessibleRect(int index) const
{
    const QRect cell(m_grid.CellPosition(index), Geometry::CellRect().size());
    const QRect shown = cell.intersected(viewport()->rect());
    return shown.isEmpty() ? QRect() : shown.translated(viewport()->pos());
}

bool TPhotoScrollBox::AccessibleSelected(int index) const
{
    return m_grid.Cell(index).Selected;
}

int TPhotoScrollBox::AccessibleCurrent() const
{
    return m_grid.Current();
}

void TPhotoScrollBox::AccessibleSelect(int index)
{
    Guarded([&] { m_grid.SelectPhoto(index, Qt::NoModifier); });
}

void TPhotoScrollBox::AccessibleOpen(int index)
{
    Guarded([&] {
        m_grid.SelectPhoto(index, Qt::NoModifier);
        m_grid.OnDblClick();
    });
}

void TPhotoItems::RenderingTimerTimer()
{
    // Only a running timer is put to sleep, so one stopped on purpose is never started again.
    const auto rest = [this] {
        if (RenderingTimer->isActive()) {
            RenderingTimer->stop();
            m_renderingAsleep = true;
        }
    };
    if (Count() == 0 || !ScrollBox->isVisible()) {
        rest();
        return;
    }
    const int columns = std::max(1, Columns());
    const int client = ScrollBox->viewport()->height();
    const int scroll = ScrollPosition();
    // Rows that reach into [scroll, scroll + client): only their cells can be in view.
    const int firstRow
        = std::max(0, (scroll - Geometry::c_GridMarginPx - Geometry::c_CellHeightPx) / Geometry::c_PitchYPx);
    const int lastRow = std::max(0, (scroll + client - Geometry::c_GridMarginPx) / Geometry::c_PitchYPx);
    const QRect view = ScrollBox->viewport()->rect();
    const int end = std::min(Count(), (lastRow + 1) * columns);
    for (int index = firstRow * columns; index < end; ++index) {
        PhotoCell& cell = m_model->Cell(index);
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
    rest();
}

void TPhotoItems::WakeRendering()
{
    if (m_renderingAsleep) {
        m_renderingAsleep = false;
        RenderingTimer->start();
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

void TPhotoItems::OnThumbnail(quint64 ticket, const QByteArray& jpeg, const QImage& picture, bool failed)
{
    const int index = m_model->FindCellById(ticket);
    if (index < 0)
        return;
    PhotoCell& cell = m_model->Cell(index);
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
    m_model->SetThumbnail(cell, jpeg, std::move(shown));
    RepaintCell(index);
}

void TPhotoItems::PaintCells(QPainter& painter, const QRect& area)
{
    painter.fillRect(area, Background(*this));
    painter.setFont(font());
    if (Count() > 0) {
        const int columns = std::max(1, Columns());
        const int scroll = ScrollPosition();
        const int firstRow = std::max(
            0, (area.top() + scroll - Geometry::c_GridMarginPx - Geometry::c_CellHeightPx) / Geometry::c_PitchYPx);
        const int lastRow = std::max(0, (area.bottom() + scroll - Geometry::c_GridMarginPx) / Geometry::c_PitchYPx);
        const int end = std::min(Count(), (lastRow + 1) * columns);
        for (int index = firstRow * columns; index < end; ++index) {
            const QPoint origin = CellPosition(index);
            if (!QRect(origin, Geometry::CellRect().size()).intersects(area))
                continue;
            PhotoCell& cell = m_model->Cell(index);
            try {
                PaintCell(painter, cell, origin);
            } catch (...) {
                // Bytes that decoded once but not now: show the placeholder rather than fail
                // every paint.
                cell.Jpeg.clear();
                m_model->ForgetPicture(cell);
            }
        }
    }
    if (m_model->BandDrawn()) {
        painter.save();
        painter.setClipping(false);
        DrawFocusRect(painter, m_model->BandInClient());
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
            picture = m_model->PictureOf(cell);
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
    painter.setPen(Ink(*this, false));
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
    const QColor ink = Ink(*this, cell.CaptionHighlighted);
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

void TPhotoItems::DrawFocusRect(QPainter& painter, const QRect& rect) const
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    painter.save();
    painter.setPen(QPen(Ink(*this, false), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.restore();
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

void TPhotoItems::OnMouseDown(int index, Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& at)
{
    if (button == Qt::LeftButton)
        m_mouseDownAt = at;
    ScrollBox->setFocus(Qt::MouseFocusReason);
    // Moving the focus may have run other handlers; the model looks the cell up again.
    m_model->Press(index, shift, button == Qt::LeftButton);
}

void TPhotoItems::OnMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift)
{
    m_model->Release(shift, button == Qt::LeftButton);
}

void TPhotoItems::OnMouseMove(const QPoint& at)
{
    PhotoCell* pressed = m_model->Pressed();
    if (!m_model->ButtonHeld() || !pressed)
        return;
    const int threshold = QApplication::startDragDistance();
    if (std::abs(at.x() - m_mouseDownAt.x()) <= threshold && std::abs(at.y() - m_mouseDownAt.y()) <= threshold)
        return;
    StartDrag(*pressed);
}

void TPhotoItems::StartDrag(PhotoCell& pressed)
{
    QList<MyMediaItem*> items;
    for (ItemsPaneItem* item : m_model->SelectedItems())
        items.append(item);
    const QImage image = CellImage(m_model->FindCellById(pressed.Id));
    m_model->BeginDrag();
    try {
        m_dragStarter(std::make_unique<MediaItemDragObj>(items), image);
    } catch (...) {
        m_model->EndDrag();
        throw;
    }
    m_model->EndDrag();
}

void TPhotoItems::OnDblClick()
{
    const int current = m_model->Current();
    if (current < 0 || current >= Count()) {
        LUMO_ASSERT(false);
        return;
    }
    ItemsPaneItem& item = *m_model->Cell(current).Item;
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
    m_model->BeginBand(shift, QPoint(at.x(), at.y() + ScrollPosition()));
}

void TPhotoItems::ScrollBoxMouseMove(Qt::KeyboardModifiers shift, QPoint at)
{
    if (!m_model->BandActive())
        return;
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
    m_model->MoveBand(shift, QPoint(at.x(), at.y() + ScrollPosition()));
    ScrollBox->viewport()->update();
    if (tick)
        OnScrollingTimer();
}

void TPhotoItems::OnScrollingTimer()
{
    if (!m_model->BandActive()) {
        ScrollingTimer->stop();
        return;
    }
    SetScrollPosition(ScrollPosition() + m_scrollStep);
    const int client = ScrollBox->viewport()->height();
    m_model->FollowScroll(ScrollPosition() + (m_scrollStep < 1 ? 0 : client - 1));
    ScrollBox->viewport()->update();
}

void TPhotoItems::ScrollBoxMouseUp()
{
    ScrollingTimer->stop();
    if (m_model->EndBand())
        ScrollBox->viewport()->update();
}

void TPhotoItems::ScrollBoxEnter()
{
    m_model->HideAllSelections(false);
}

void TPhotoItems::ScrollBoxExit()
{
    m_model->HideAllSelections(true);
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
    ItemsPaneItem& item = *m_model->Cell(index).Item;
    if (IsBroken(item.Item()))
        return QString::fromStdString(item.Property("SourceLocation"));
    return QString::fromStdString(item.IsContainer() ? m_page.ContainerSummary(item) : m_page.PhotoSummary(item));
}
