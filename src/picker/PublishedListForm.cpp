#include "picker/PublishedListForm.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>

#include "common/Assert.h"
#include "host/MediaClassGroup.h"
#include "host/MediaItem.h"
#include "host/ModuleGroup.h"
#include "host/Url.h"
#include "host/UrlImpl.h"
#include "picker/MediaItemDragObj.h"
#include "picker/MyMediaItem.h"
#include "picker/PaletteInk.h"
#include "picker/RowReconcile.h"
#include "picker/UpdateQueue.h"
#include "picker/Utilities.h"
#include "picker/ViewKeyboard.h"
#include "picker/ViewSupport.h"
#include "platform/MessageBox.h"

using namespace LumoApi;

namespace {

constexpr int c_CaptionLimit = 50;
constexpr int c_IconRole = Qt::UserRole + 1;
constexpr int c_IconCount = 16;
constexpr int c_IconPx = 16;
constexpr QSize c_MusicWatermark(134, 140);
constexpr QSize c_PhotoWatermark(129, 129);
constexpr QSize c_Logo(50, 70);

constexpr char c_PublishCaption[] = QT_TRANSLATE_NOOP("TMediaPage", "Publish");
constexpr char c_NotPublishable[] = QT_TRANSLATE_NOOP("TMediaPage", "'%1' is not publishable as a %2 item.");
constexpr char c_ContinuePublishing[] = QT_TRANSLATE_NOOP("TMediaPage",
    "\n\nTo continue publishing the remainder of the selected items, press OK.\nTo stop publishing items, press "
    "CANCEL.");
constexpr char c_BrokenTip[]
    = QT_TRANSLATE_NOOP("TPublishedList", "This published item is no longer accessible or has become invalid");

// The inks of the drawn glyphs. Lines and paper come from the palette, so a glyph reads on a
// dark list as on a light one; the hues that say what a thing is (a folder's yellow, the
// cross of a broken item) are the same everywhere.
struct GlyphInk {
    explicit GlyphInk(const QPalette& palette)
        : line(Mix(palette.color(QPalette::Text), palette.color(QPalette::Base), 0.3)),
          paper(palette.color(QPalette::Base)),
          metal(palette.color(QPalette::Button)),
          note(Mix(palette.color(QPalette::Text), palette.color(QPalette::Highlight), 0.35))
    {
    }
    QColor line;
    QColor paper;
    QColor metal;
    QColor note;
};

constexpr QColor c_LampHue(40, 180, 60);
constexpr QColor c_FolderHue(240, 200, 90);
constexpr QColor c_BoxHue(170, 190, 230);
constexpr QColor c_SkyHue(170, 215, 250);
constexpr QColor c_SunHue(250, 210, 40);
constexpr QColor c_HillHue(60, 140, 60);
constexpr QColor c_CrossHue(200, 30, 30);

// The glyphs below are drawn on a 16-pixel grid; every index has one so the numbering holds.
void DrawPage(QPainter& painter, const GlyphInk& ink)
{
    painter.setPen(ink.line);
    painter.setBrush(ink.paper);
    painter.drawPolygon(QPolygon({{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}}));
    painter.drawPolyline(QPolygon({{10, 1}, {10, 4}, {13, 4}}));
}

void DrawDrive(QPainter& painter, const GlyphInk& ink, bool remote)
{
    painter.setPen(ink.line);
    painter.setBrush(ink.metal);
    painter.drawRect(1, remote ? 3 : 5, 13, 6);
    painter.fillRect(11, remote ? 7 : 9, 2, 1, c_LampHue);
    if (remote) {
        painter.drawLine(7, 10, 7, 13);
        painter.drawLine(2, 14, 13, 14);
    }
}

void DrawFolder(QPainter& painter, const GlyphInk& ink)
{
    painter.setPen(Mix(ink.line, c_FolderHue, 0.4));
    painter.setBrush(c_FolderHue);
    painter.drawPolygon(QPolygon({{1, 3}, {6, 3}, {7, 5}, {14, 5}, {14, 13}, {1, 13}}));
}

void DrawBox(QPainter& painter, const GlyphInk& ink)
{
    painter.setPen(Mix(ink.line, c_BoxHue, 0.3));
    painter.setBrush(c_BoxHue);
    painter.drawRect(4, 1, 10, 9);
    painter.drawRect(1, 5, 10, 9);
}

void DrawNote(QPainter& painter, const GlyphInk& ink)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink.note);
    painter.drawEllipse(2, 10, 5, 4);
    painter.drawEllipse(9, 8, 5, 4);
    painter.fillRect(6, 2, 1, 10, ink.note);
    painter.fillRect(13, 1, 1, 9, ink.note);
    painter.fillRect(6, 1, 8, 2, ink.note);
}

void DrawPicture(QPainter& painter, const GlyphInk& ink)
{
    painter.setPen(ink.line);
    painter.setBrush(c_SkyHue);
    painter.drawRect(1, 2, 13, 11);
    painter.setPen(Qt::NoPen);
    painter.setBrush(c_SunHue);
    painter.drawEllipse(9, 4, 3, 3);
    painter.setBrush(c_HillHue);
    painter.drawPolygon(QPolygon({{2, 12}, {6, 6}, {10, 12}}));
}

void DrawCross(QPainter& painter)
{
    painter.setPen(QPen(c_CrossHue, 2));
    painter.drawLine(9, 9, 14, 14);
    painter.drawLine(14, 9, 9, 14);
}

QPixmap DrawGlyph(int index, const GlyphInk& ink, qreal ratio)
{
    QPixmap pixmap(QSize(c_IconPx, c_IconPx) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    switch (index) {
    case 2:
        DrawDrive(painter, ink, false);
        break;
    case 8:
        DrawDrive(painter, ink, true);
        break;
    case 10:
    case 14:
        DrawNote(painter, ink);
        break;
    case 11:
        DrawFolder(painter, ink);
        break;
    case 12:
        DrawBox(painter, ink);
        break;
    case 13:
    case 15:
        DrawPicture(painter, ink);
        break;
    default:
        DrawPage(painter, ink);
    }
    if (index == 14 || index == 15)
        DrawCross(painter);
    painter.end();
    return pixmap;
}

// Drawn for one and two device pixels a point, so the glyphs stay sharp on a HiDPI screen.
QIcon DrawIcon(int index, const QPalette& palette)
{
    const GlyphInk ink(palette);
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0})
        icon.addPixmap(DrawGlyph(index, ink, ratio));
    return icon;
}

// Faint, so the rows stay readable over them; in the text's colour, so they show on any
// background.
QColor WatermarkInk(const QPalette& palette)
{
    QColor ink = palette.color(QPalette::WindowText);
    ink.setAlpha(18);
    return ink;
}

void DrawMusicWatermark(QPainter& painter, const QRect& area, const QPalette& palette)
{
    const QColor ink = WatermarkInk(palette);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    const int x = area.x(), y = area.y();
    painter.drawEllipse(x + 4, y + 100, 46, 36);
    painter.drawEllipse(x + 80, y + 84, 46, 36);
    painter.drawRect(x + 40, y + 12, 10, 108);
    painter.drawRect(x + 116, y + 0, 10, 104);
    painter.drawPolygon(QPolygon({{x + 40, y + 12}, {x + 126, y + 0}, {x + 126, y + 22}, {x + 40, y + 34}}));
}

void DrawPhotoWatermark(QPainter& painter, const QRect& area, const QPalette& palette)
{
    const QColor ink = WatermarkInk(palette);
    painter.setPen(QPen(ink, 8));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(4, 14, -4, -14));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawEllipse(area.x() + 84, area.y() + 28, 20, 20);
    painter.drawPolygon(QPolygon({{area.x() + 12, area.bottom() - 18}, {area.x() + 50, area.y() + 46},
        {area.x() + 78, area.bottom() - 40}, {area.x() + 94, area.y() + 64}, {area.right() - 12, area.bottom() - 18}}));
}

void DrawLogo(QPainter& painter, const QRect& area, const QPalette& palette)
{
    QColor plate = palette.color(QPalette::Highlight);
    plate.setAlpha(40);
    QColor mark = palette.color(QPalette::HighlightedText);
    mark.setAlpha(120);
    painter.setPen(Qt::NoPen);
    painter.setBrush(plate);
    painter.drawRoundedRect(area.adjusted(6, 6, -6, -6), 8, 8);
    painter.setBrush(mark);
    painter.drawRect(area.x() + 16, area.y() + 16, 6, 36);
    painter.drawRect(area.x() + 16, area.y() + 46, 20, 6);
}

} // namespace

QByteArray EncodeClipboardKeys(const std::vector<std::string>& keys)
{
    QByteArray data;
    for (const std::string& key : keys) {
        if (key.empty())
            continue;
        data.append(key.data(), static_cast<qsizetype>(key.size()));
        data.append('\0');
    }
    data.append('\0');
    return data;
}

std::vector<std::string> DecodeClipboardKeys(const QByteArray& data)
{
    std::vector<std::string> keys;
    const char* next = data.constData();
    const char* const end = next + data.size();
    while (next < end) {
        const char* const stop = std::find(next, end, '\0');
        if (stop == next)
            break;
        keys.emplace_back(next, stop);
        next = stop == end ? end : stop + 1;
    }
    return keys;
}

TPublishedListView::TPublishedListView(QWidget* parent, bool music) : QListWidget(parent), m_music(music)
{
}

QSize TPublishedListView::RowSizeHint(int row) const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    return itemDelegate()->sizeHint(option, model()->index(row, 0));
}

void TPublishedListView::dragEnterEvent(QDragEnterEvent* event)
{
    // Every drag inside the program carries items; files from outside are taken as well.
    event->acceptProposedAction();
}

void TPublishedListView::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void TPublishedListView::dropEvent(QDropEvent* event)
{
    event->acceptProposedAction();
    emit Dropped(event->mimeData());
}

void TPublishedListView::paintEvent(QPaintEvent* event)
{
    const QRect client = viewport()->rect();
    // The watermarks are placed on the whole area: a partial paint would cut them apart when
    // scrolling, so it becomes one full repaint.
    if (!m_repaintPending && !event->region().isEmpty() && event->region() != QRegion(client)) {
        m_repaintPending = true;
        viewport()->update();
        return;
    }
    m_repaintPending = false;
    {
        QPainter painter(viewport());
        painter.fillRect(client, palette().window());
        const QSize mark = m_music ? c_MusicWatermark : c_PhotoWatermark;
        const QRect markArea(client.width() / 2 - mark.width() / 2, client.height() / 2 - mark.height() / 2,
            mark.width(), mark.height());
        if (m_music)
            DrawMusicWatermark(painter, markArea, palette());
        else
            DrawPhotoWatermark(painter, markArea, palette());
        DrawLogo(painter,
            QRect(client.width() - c_Logo.width(), client.height() - c_Logo.height(), c_Logo.width(), c_Logo.height()),
            palette());
    }
    QListWidget::paintEvent(event);
}

TPublishedList::TPublishedList(QWidget* parent, PublishedListHost& page, MediaClass& mediaClass, UpdateQueue& queue,
    QAction* unpublishAction, QAction* propertiesAction)
    : QWidget(parent),
      m_page(page),
      m_mediaClass(mediaClass),
      m_queue(queue),
      m_music(mediaClass.GetModule().Id() == "LumoMusic")
{
    setObjectName("PublishedList");
    DrawIcons();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    List = new TPublishedListView(this, m_music);
    m_rows = std::make_unique<ListRows<PublishedPaneItem>>(*List);
    List->setObjectName("List");
    List->setViewMode(QListView::ListMode);
    List->setFlow(QListView::TopToBottom);
    List->setWrapping(true);
    List->setResizeMode(QListView::Adjust);
    List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List->setIconSize(QSize(c_IconPx, c_IconPx));
    List->setFrameShape(QFrame::NoFrame);
    List->setAcceptDrops(true);
    List->setDragDropMode(QAbstractItemView::DropOnly);
    List->setContextMenuPolicy(Qt::CustomContextMenu);
    new MenuKeys(*List);
    new FocusFrameDelegate(*List);
    List->installEventFilter(this);
    List->viewport()->installEventFilter(this);
    layout->addWidget(List);

    Unpublish1 = unpublishAction ? unpublishAction : new QAction(tr("&Unpublish"), this);
    Properties1 = propertiesAction ? propertiesAction : new QAction(tr("P&roperties"), this);
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    PopupMenu1->addAction(Unpublish1);
    PopupMenu1->addAction(Properties1);

    NoItemsText = new QLabel(List->viewport());
    NoItemsText->setObjectName("NoItemsText");
    QFont font("Arial");
    font.setPixelSize(12);
    font.setItalic(true);
    NoItemsText->setFont(font);
    NoItemsText->setWordWrap(true);
    NoItemsText->setAlignment(Qt::AlignCenter);
    NoItemsText->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetNotice(std::string());

    connect(List, &TPublishedListView::Dropped, this,
        [this](const QMimeData* data) { Guarded([&] { ListDragDrop(data); }); });
    connect(List, &QListWidget::itemDoubleClicked, this, [this] { Guarded([this] { ListDblClick(); }); });
    connect(List, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& position) { PopupMenu1->popup(List->viewport()->mapToGlobal(position)); });
}

TPublishedList::~TPublishedList()
{
    List->blockSignals(true);
    Clear();
    m_rootItem.reset();
}

void TPublishedList::Clear()
{
    const bool updates = List->updatesEnabled();
    List->setUpdatesEnabled(false);
    // The items go before the rows that show them.
    m_rows->Clear();
    UpdateNoItemsText();
    List->setUpdatesEnabled(updates);
}

void TPublishedList::Initialize()
{
    m_rootItem.reset();
    m_rootItem = std::make_unique<MyMediaItem>(m_mediaClass.SecondRoot().Url(), this, m_queue);
    try {
        m_rootItem->Subscribe();
    } catch (const std::exception& error) {
        // A set that cannot be read (a damaged database, one of a later release) is shown as
        // such: the page and the window go on without it.
        Platform::ShowMessageBox(error.what(), "Lumo Publisher", Platform::MB_OK | Platform::MB_ICONERROR);
        m_rootItem.reset();
        SetNotice(error.what());
        return;
    }
    m_rootItem->StartEnumeration();
}

void TPublishedList::Poll()
{
    if (!m_rootItem)
        return;
    m_rootItem->PostRefreshNotification();
    if (m_rootItem && m_rootItem->ListingFailure() != m_failure)
        SetNotice(m_rootItem->ListingFailure());
}

// Without rows the list says how to publish, or, when the set cannot be read, that and why (the
// failure names the file): an empty list would say that nothing is published.
void TPublishedList::SetNotice(const std::string& failure)
{
    m_failure = failure;
    if (failure.empty())
        NoItemsText->setText(m_music ? tr("No music has been published. Drag music folders, playlists, and files here "
                                          "to make them accessible to Lumo DVRs.")
                                     : tr("No photos have been published. Drag photo folders and files here to make "
                                          "them accessible to Lumo DVRs."));
    else
        NoItemsText->setText(
            (m_music ? tr("The published music cannot be read. %1") : tr("The published photos cannot be read. %1"))
                .arg(QString::fromStdString(failure)));
    UpdateNoItemsText();
}

MyMediaItem* TPublishedList::SelectedItem()
{
    const QList<QListWidgetItem*> selected = List->selectedItems();
    return selected.isEmpty() ? nullptr : ItemOfRow(List->row(selected.front()));
}

void TPublishedList::SelectedItems(QList<MyMediaItem*>& items)
{
    items.clear();
    for (int row = 0; row < List->count(); ++row) {
        if (List->item(row)->isSelected()) {
            if (MyMediaItem* item = ItemOfRow(row))
                items.append(item);
        }
    }
}

void TPublishedList::SelectAll()
{
    List->selectAll();
}

void TPublishedList::SelectItem(UrlApi* url)
{
    const int row = m_rows->Find(url);
    m_selectWhenAdded = row < 0 ? TextOf(url) : std::string();
    if (row >= 0)
        List->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

bool TPublishedList::CanPaste()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    return data && data->hasFormat(c_ClipboardMimeType);
}

void TPublishedList::Paste()
{
    if (!CanPaste())
        return;
    ProcessItems(QGuiApplication::clipboard()->mimeData()->data(c_ClipboardMimeType));
}

void TPublishedList::ProcessItems(const QByteArray& data)
{
    std::vector<std::unique_ptr<MyMediaItem>> temporary;
    QList<MyMediaItem*> items;
    for (const std::string& key : DecodeClipboardKeys(data)) {
        ApiRef<UrlApi> url = MakeUrl(key);
        if (!url || TextOf(url.Get()).empty()) {
            Guarded([] { LUMO_ASSERT(false); });
            break;
        }
        temporary.push_back(std::make_unique<MyMediaItem>(url, nullptr, m_queue));
        items.append(temporary.back().get());
    }
    if (!items.isEmpty())
        m_page.PublishItemList(items, true);
}

void TPublishedList::DropFiles(const QList<QUrl>& urls)
{
    std::vector<std::unique_ptr<MyMediaItem>> temporary;
    QList<MyMediaItem*> items;
    for (qsizetype index = 0; index < urls.size(); ++index) {
        const QUrl& dropped = urls[index];
        const std::string path = dropped.isLocalFile() ? dropped.toLocalFile().toStdString() : std::string();
        try {
            // Only local files come from the file manager; anything else is not publishable.
            if (path.empty())
                throw std::runtime_error("It is not a local file");
            const Url url = FileUrlFromPath(path);
            temporary.push_back(std::make_unique<MyMediaItem>(ApiRef<UrlApi>::Share(url.Api()), nullptr, m_queue));
            items.append(temporary.back().get());
        } catch (...) {
            const bool more = index + 1 < urls.size();
            QString text = QCoreApplication::translate("TMediaPage", c_NotPublishable)
                               .arg(path.empty() ? dropped.toDisplayString() : QString::fromStdString(path),
                                   m_music ? QCoreApplication::translate("TMediaPage", "music")
                                           : QCoreApplication::translate("TMediaPage", "photos"));
            const std::string reason = ChangeFailureReason(std::current_exception(), true);
            if (!reason.empty())
                text += "\n\n" + QString::fromStdString(reason);
            if (more)
                text += QCoreApplication::translate("TMediaPage", c_ContinuePublishing);
            const int answer = Platform::ShowMessageBox(text.toUtf8().constData(),
                QCoreApplication::translate("TMediaPage", c_PublishCaption).toUtf8().constData(),
                Platform::MB_ICONWARNING | (more ? Platform::MB_OKCANCEL : Platform::MB_OK));
            if (answer == Platform::IDCANCEL)
                break;
        }
    }
    if (!items.isEmpty())
        m_page.PublishItemList(items, true);
}

MyMediaItem* TPublishedList::ItemOfRow(int row)
{
    return m_rows->ItemOf(row);
}

int TPublishedList::IconIndexOf(QListWidgetItem* row)
{
    return row ? row->data(c_IconRole).toInt() : -1;
}

QString TPublishedList::InfoTip(int row)
{
    MyMediaItem* item = ItemOfRow(row);
    if (!item)
        return QString();
    const std::string key = TextOf(item->Url().Get());
    if (!m_tipKey.empty() && key == m_tipKey)
        return m_tipText;
    MediaItem& media = item->Item();
    std::string text;
    if (media.IsContainer())
        text = m_page.ContainerSummary(*item);
    else if (media.IsAudio())
        text = m_page.SongSummary(*item);
    else if (media.IsImage())
        text = m_page.PhotoSummary(*item);
    else if (IsBroken(media))
        text = tr(c_BrokenTip).toStdString();
    // An empty tip may be one still being read: it is asked for again.
    m_tipKey = text.empty() ? std::string() : key;
    m_tipText = QString::fromStdString(text);
    return m_tipText;
}

void TPublishedList::DrawIcons()
{
    PublishedItemIcons.clear();
    for (int index = 0; index < c_IconCount; ++index)
        PublishedItemIcons.push_back(DrawIcon(index, palette()));
}

bool TPublishedList::event(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) {
        // The glyphs are drawn in the palette's colours: a new theme draws them again.
        DrawIcons();
        for (int row = 0; row < List->count(); ++row) {
            const int icon = IconIndexOf(List->item(row));
            if (icon >= 0 && icon < c_IconCount)
                List->item(row)->setIcon(PublishedItemIcons[size_t(icon)]);
        }
    }
    if (event->type() != QueuedEvent::c_Type)
        return QWidget::event(event);
    std::unique_ptr<UpdateInfo> info = static_cast<QueuedEvent*>(event)->TakeInfo();
    Guarded([&] { OnNotification(std::move(info)); });
    return true;
}

bool TPublishedList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == List && event->type() == QEvent::FocusIn) {
        if (List->selectedItems().isEmpty() && List->count() > 0)
            List->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    } else if (watched == List->viewport() && event->type() == QEvent::Resize) {
        CenterNoItemsText();
    } else if (watched == List->viewport() && event->type() == QEvent::ToolTip) {
        ShowRowTip(*List, *static_cast<QHelpEvent*>(event), [this](int row) { return InfoTip(row); });
        return true;
    } else if ((watched == List->viewport() && event->type() == QEvent::MouseButtonPress)
        || (watched == List && event->type() == QEvent::KeyPress)) {
        // The user chose for themselves; a row arriving later does not take the selection.
        m_selectWhenAdded.clear();
    }
    return QWidget::eventFilter(watched, event);
}

void TPublishedList::OnNotification(std::unique_ptr<UpdateInfo> info)
{
    if (!info) {
        LUMO_ASSERT(false);
        return;
    }
    ProcessQueuedEvent(std::move(info));
}

void TPublishedList::ProcessQueuedEvent(std::unique_ptr<UpdateInfo> info)
{
    m_page.PublishedSetChanged();
    switch (info->m_kind) {
    case ChildAdded:
        AddItem(info->m_item);
        break;
    case ChildRemoved:
        RemoveItem(info->m_item.Get());
        break;
    case ChildChanged:
        if (m_rows->Find(info->m_item.Get()) < 0)
            AddItem(info->m_item);
        break;
    case Enumerated: {
        const bool updates = List->updatesEnabled();
        List->setUpdatesEnabled(false);
        try {
            Reconcile(info.get());
        } catch (...) {
            List->setUpdatesEnabled(updates);
            throw;
        }
        List->setUpdatesEnabled(updates);
        break;
    }
    default:
        LUMO_ASSERT(false);
    }
}

void TPublishedList::AddItem(const ApiRef<UrlApi>& url)
{
    if (!url || TextOf(url.Get()).empty())
        return;
    auto item = std::make_unique<PublishedPaneItem>(url, this, m_queue);
    QString caption = QString::fromStdString(item->GetTitle());
    if (caption.size() > c_CaptionLimit)
        caption = caption.left(c_CaptionLimit) + "...";
    const int icon = GetIconIndex(*item);
    auto row = std::make_unique<QListWidgetItem>(caption);
    row->setData(c_IconRole, icon);
    if (icon >= 0)
        row->setIcon(PublishedItemIcons[static_cast<size_t>(icon)]);
    m_rows->Append(std::move(row), std::move(item));
    FitCell(List->count() - 1);
    if (!m_selectWhenAdded.empty() && TextOf(url.Get()) == m_selectWhenAdded) {
        m_selectWhenAdded.clear();
        List->setCurrentRow(List->count() - 1, QItemSelectionModel::ClearAndSelect);
    }
    UpdateNoItemsText();
}

void TPublishedList::RemoveItem(UrlApi* url)
{
    if (TextOf(url).empty())
        return;
    const int row = m_rows->Find(url);
    if (row < 0)
        return;
    m_rows->Delete(row);
    List->clearSelection();
    const int count = List->count();
    if (count > 0)
        List->setCurrentRow(std::min(row, count - 1), QItemSelectionModel::ClearAndSelect);
    UpdateNoItemsText();
}

void TPublishedList::Reconcile(UpdateInfo* info)
{
    LUMO_ASSERT(info);
    if (!info)
        return;
    LUMO_ASSERT(info->m_ChildList);
    if (!info->m_ChildList)
        return;
    const ChildList& listed = *info->m_ChildList;
    const ReconcilePlan plan = PlanReconcile(m_rows->Keys(), listed, AddOrder::Sorted);
    for (auto row = plan.remove.rbegin(); row != plan.remove.rend(); ++row)
        m_rows->Delete(int(*row));
    for (size_t entry : plan.add)
        AddItem(MakeUrl(listed[entry]));
    UpdateNoItemsText();
}

int TPublishedList::GetIconIndex(MyMediaItem& item)
{
    MediaItem& media = item.Item();
    if (media.IsContainer()) {
        const std::string drive = media.Property("DriveType");
        if (drive == "Fixed")
            return 2;
        if (drive == "Remote")
            return 8;
        return media.Property("ContentType") == "x-container/folder" ? 11 : 12;
    }
    if (media.IsAudio())
        return 10;
    if (media.IsImage())
        return 13;
    if (IsBroken(media))
        return m_music ? 14 : 15;
    return -1;
}

void TPublishedList::UpdateNoItemsText()
{
    const bool empty = List->count() == 0;
    if (empty && m_cell.isValid()) {
        m_cell = QSize();
        List->setGridSize(QSize());
    }
    // Placing the text lays it out: only when it shows.
    if (NoItemsText->isHidden() == empty)
        NoItemsText->setVisible(empty);
    if (empty)
        CenterNoItemsText();
}

void TPublishedList::FitCell(int row)
{
    const QSize hint = List->RowSizeHint(row);
    if (m_cell.isValid() && hint.width() <= m_cell.width() && hint.height() <= m_cell.height())
        return;
    m_cell = m_cell.isValid() ? m_cell.expandedTo(hint) : hint;
    List->setGridSize(m_cell);
}

void TPublishedList::CenterNoItemsText()
{
    const QRect client = List->viewport()->rect();
    const int natural = NoItemsText->fontMetrics().horizontalAdvance(NoItemsText->text()) + 2;
    const int width = std::max(1, std::min(client.width(), natural));
    NoItemsText->resize(width, NoItemsText->heightForWidth(width));
    NoItemsText->move((client.width() - NoItemsText->width()) / 2, (client.height() - NoItemsText->height()) / 2);
}

void TPublishedList::ListDragDrop(const QMimeData* data)
{
    if (const MediaItemDragObj* drag = MediaItemDragObj::From(data)) {
        m_page.PublishItemList(drag->Items(), true);
        return;
    }
    if (data && data->hasUrls())
        DropFiles(data->urls());
}

void TPublishedList::ListDblClick()
{
    if (m_page.CanShowProperties())
        m_page.ShowProperties();
}
