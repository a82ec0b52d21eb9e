#include "picker/MusicItemsForm.h"

#include <algorithm>
#include <exception>
#include <vector>

#include <QAction>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QToolTip>

#include "common/Assert.h"
#include "host/MediaItem.h"
#include "host/UrlImpl.h"
#include "picker/ItemIconList.h"
#include "picker/MediaItemDragObj.h"
#include "picker/MediaPageForm.h"
#include "picker/MediaTreeForm.h"
#include "picker/MyMediaItem.h"
#include "picker/RowReconcile.h"
#include "picker/UpdateQueue.h"
#include "picker/Utilities.h"
#include "picker/ViewKeyboard.h"
#include "picker/ViewSupport.h"
#include "platform/MessageBox.h"

using namespace LumoApi;

namespace {

constexpr int c_FormPointSize = 8;
constexpr int c_NoticePointSize = 9;

constexpr char c_NoMusic[]
    = QT_TRANSLATE_NOOP("TMusicItems", "This container does not contain any publishable music content.");
constexpr char c_NoMusicIn[] = QT_TRANSLATE_NOOP("TMusicItems", "'%1' does not contain any publishable music content.");

// No repaint between the steps of one change; restored also when the change raises.
class UpdateBracket {
public:
    explicit UpdateBracket(QWidget* widget) : m_widget(widget), m_enabled(widget->updatesEnabled())
    {
        m_widget->setUpdatesEnabled(false);
    }
    ~UpdateBracket() { m_widget->setUpdatesEnabled(m_enabled); }
    UpdateBracket(const UpdateBracket&) = delete;
    UpdateBracket& operator=(const UpdateBracket&) = delete;

private:
    QWidget* m_widget;
    bool m_enabled;
};

QFont DesktopFont(int pointSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(pointSize);
    return font;
}

} // namespace

TMusicItemsView::TMusicItemsView(QWidget* parent, std::function<QMimeData*()> dragObject)
    : QListWidget(parent), m_dragObject(std::move(dragObject))
{
}

QStringList TMusicItemsView::mimeTypes() const
{
    return {QString::fromLatin1(MediaItemDragObj::c_Format)};
}

QMimeData* TMusicItemsView::mimeData(const QList<QListWidgetItem*>&) const
{
    return m_dragObject();
}

void TMusicItemsView::startDrag(Qt::DropActions)
{
    QListWidget::startDrag(Qt::CopyAction);
}

TMusicItems::TMusicItems(QWidget* parent, TMediaPage& page, TMediaTree& tree, UpdateQueue& queue)
    : QWidget(parent), m_page(page), m_tree(&tree), m_queue(queue)
{
    setObjectName("MusicItems");
    setFont(DesktopFont(c_FormPointSize));
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    // The notice lies over the list in the same cell and hides it while shown.
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    List = new TMusicItemsView(this, [this]() -> QMimeData* {
        QMimeData* data = nullptr;
        Guarded([&] { data = MakeDragObject(); });
        return data;
    });
    List->setObjectName("List");
    m_rows = std::make_unique<ListRows<ItemsPaneItem>>(*List);
    List->setViewMode(QListView::ListMode);
    List->setFlow(QListView::TopToBottom);
    List->setWrapping(false);
    List->setUniformItemSizes(true);
    List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List->setIconSize(QSize(ItemIconList::Small().IconSizePx(), ItemIconList::Small().IconSizePx()));
    List->setFrameShape(QFrame::NoFrame);
    List->setDragEnabled(true);
    List->setDragDropMode(QAbstractItemView::DragOnly);
    List->setContextMenuPolicy(Qt::CustomContextMenu);
    new MenuKeys(*List);
    new FocusFrameDelegate(*List);
    List->installEventFilter(this);
    List->viewport()->installEventFilter(this);
    layout->addWidget(List, 0, 0);

    NoItemsPanel = new QLabel(this);
    NoItemsPanel->setObjectName("NoItemsPanel");
    NoItemsPanel->setFrameStyle(QFrame::Box | QFrame::Plain);
    NoItemsPanel->setLineWidth(1);
    NoItemsPanel->setBackgroundRole(QPalette::Base);
    NoItemsPanel->setAutoFillBackground(true);
    QFont notice = DesktopFont(c_NoticePointSize);
    notice.setItalic(true);
    NoItemsPanel->setFont(notice);
    NoItemsPanel->setAlignment(Qt::AlignCenter);
    NoItemsPanel->setWordWrap(true);
    NoItemsPanel->setText(tr(c_NoMusic));
    NoItemsPanel->hide();
    layout->addWidget(NoItemsPanel, 0, 0);

    Publish1 = page.PublishAction;
    Play1 = new QAction(tr("P&lay"), this);
    Play1->setObjectName("Play1");
    // Songs are played from their properties dialog; the menu only shows the command.
    Play1->setEnabled(false);
    Properties1 = page.PropertiesAction;
    MusicItemsPopupMenu = new QMenu(this);
    MusicItemsPopupMenu->setObjectName("MusicItemsPopupMenu");
    MusicItemsPopupMenu->addAction(Publish1);
    MusicItemsPopupMenu->addSeparator()->setObjectName("N1");
    MusicItemsPopupMenu->addAction(Play1);
    MusicItemsPopupMenu->addAction(Properties1);
    connect(MusicItemsPopupMenu, &QMenu::aboutToShow, this, [this] { m_page.UpdateActions(); });
    connect(List, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& position) { MusicItemsPopupMenu->popup(List->viewport()->mapToGlobal(position)); });
    connect(List, &QListWidget::itemDoubleClicked, this, [this] { Guarded([this] { ListDblClick(); }); });

    tree.SetItemsWindow(this);
}

TMusicItems::~TMusicItems()
{
    List->blockSignals(true);
    m_container.reset();
    Clear();
}

MyMediaItem* TMusicItems::ItemOfRow(int row)
{
    return m_rows->ItemOf(row);
}

MyMediaItem* TMusicItems::ContainerItem() const noexcept
{
    return m_container.get();
}

QString TMusicItems::InfoTip(int row)
{
    MyMediaItem* item = ItemOfRow(row);
    if (!item)
        return QString();
    if (m_tipItem && SameItem(item->Url().Get(), m_tipItem.Get()))
        return m_tipText;
    MediaItem& media = item->Item();
    std::string text;
    if (IsBroken(media))
        text = media.Property("SourceLocation");
    else if (media.IsContainer())
        text = m_page.ContainerSummary(*item);
    else if (media.IsAudio())
        text = m_page.SongSummary(*item);
    // An empty tip may be one still being read: it is asked for again.
    m_tipItem = text.empty() ? ApiRef<UrlApi>() : item->Url();
    m_tipText = QString::fromStdString(text);
    return m_tipText;
}

bool TMusicItems::event(QEvent* event)
{
    // The view messages lie outside QEvent::Type's named values.
    switch (static_cast<int>(event->type())) {
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
        query->m_item = SelectedItem();
        return true;
    }
    case SelectedItemsEvent::c_Type:
        SelectedItems(static_cast<SelectedItemsEvent*>(event)->m_items);
        return true;
    case ItemsStatusEvent::c_Type:
        // A listing that failed has said so in its own box and is not coming.
        if (m_listing && m_container && (m_container->HasEnumeration() || m_container->ListingFailure().empty()))
            Guarded([&] {
                static_cast<ItemsStatusEvent*>(event)->m_listing = QString::fromStdString(m_container->GetTitle());
            });
        return true;
    case c_SelectAllEvent:
        List->selectAll();
        return true;
    case c_RefreshEvent:
        Guarded([this] {
            if (m_container)
                m_container->PostRefreshNotification();
        });
        return true;
    default:
        return QWidget::event(event);
    }
}

bool TMusicItems::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == List && event->type() == QEvent::FocusIn) {
        ListEnter();
    } else if (watched == List->viewport() && event->type() == QEvent::ToolTip) {
        ShowRowTip(*List, *static_cast<QHelpEvent*>(event), [this](int row) { return InfoTip(row); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TMusicItems::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Also sent when the page's tab comes back, so the list decides rather than "show".
    UpdateNoItemsPanel(NoticeWanted());
}

void TMusicItems::ShowContainer(const ApiRef<UrlApi>& url)
{
    if (!url)
        return;
    m_container.reset();
    {
        UpdateBracket bracket(List);
        Clear();
    }
    // Until the listing comes nothing is known, and the notice would name the old container.
    m_listing = true;
    UpdateNoItemsPanel(false);
    m_container = std::make_unique<ItemsPaneItem>(url, this, m_queue);
    ListAndWatch(*m_container);
}

void TMusicItems::OnNotification(std::unique_ptr<UpdateInfo> info)
{
    if (!info) {
        LUMO_ASSERT(false);
        return;
    }
    switch (info->m_kind) {
    case ChildAdded:
        AddItem(info->m_item);
        break;
    case ChildRemoved:
        if (TextOf(info->m_item.Get()).empty())
            break;
        {
            UpdateBracket bracket(List);
            const int row = m_rows->Find(info->m_item.Get());
            if (row >= 0)
                m_rows->Delete(row);
        }
        UpdateNoItemsPanel(NoticeWanted());
        break;
    case ChildChanged:
        if (TextOf(info->m_item.Get()).empty())
            break;
        if (m_rows->Find(info->m_item.Get()) < 0)
            AddItem(info->m_item);
        UpdateNoItemsPanel(NoticeWanted());
        break;
    case Enumerated:
        // A listing of a container shown before may still have been on its way.
        if (!m_container || !SameItem(info->m_item.Get(), m_container->Url().Get()))
            break;
        LUMO_ASSERT(info->m_ChildList);
        if (!info->m_ChildList)
            break;
        m_listing = false;
        {
            UpdateBracket bracket(List);
            Reconcile(*info->m_ChildList);
        }
        UpdateNoItemsPanel(List->count() == 0);
        break;
    default:
        LUMO_ASSERT(false);
    }
}

void TMusicItems::AddItem(const ApiRef<UrlApi>& url)
{
    if (!url || TextOf(url.Get()).empty())
        return;
    auto item = std::make_unique<ItemsPaneItem>(url, this, m_queue);
    auto row = std::make_unique<QListWidgetItem>(QString::fromStdString(item->GetTitle()));
    // The icons live in the process-wide small list, shared by every view and never freed.
    ItemIconList* list = nullptr;
    int icon = -1;
    try {
        GetItemIcon(item->Item(), c_ItemIconSmall, list, icon);
    } catch (...) {
        // An icon is not worth losing the row over.
        list = nullptr;
    }
    if (list && icon >= 0)
        row->setIcon(list->Icon(icon));
    m_rows->Append(std::move(row), std::move(item));
    UpdateNoItemsPanel(NoticeWanted());
}

void TMusicItems::Reconcile(const ChildList& listed)
{
    // A playlist's order is its listing's.
    const ReconcilePlan plan = PlanReconcile(m_rows->Keys(), listed, AddOrder::Listing);
    for (auto row = plan.remove.rbegin(); row != plan.remove.rend(); ++row)
        m_rows->Delete(int(*row));
    for (size_t entry : plan.add)
        AddItem(MakeUrl(listed[entry]));
}

void TMusicItems::Clear()
{
    // The items go before the rows that show them.
    m_rows->Clear();
}

MyMediaItem* TMusicItems::SelectedItem()
{
    for (int row = 0; row < List->count(); ++row) {
        if (List->item(row)->isSelected())
            return ItemOfRow(row);
    }
    return nullptr;
}

void TMusicItems::SelectedItems(QList<MyMediaItem*>& items)
{
    items.clear();
    for (int row = 0; row < List->count(); ++row) {
        if (List->item(row)->isSelected()) {
            if (MyMediaItem* item = ItemOfRow(row))
                items.append(item);
        }
    }
}

QMimeData* TMusicItems::MakeDragObject()
{
    QList<MyMediaItem*> selected;
    SelectedItems(selected);
    return MediaItemDragObj::CopyOf(selected, m_queue);
}

bool TMusicItems::NoticeWanted() const
{
    return List->count() == 0 && !m_listing;
}

void TMusicItems::UpdateNoItemsPanel(bool show)
{
    QString text;
    if (m_container) {
        text = tr(c_NoMusic);
        std::string title;
        try {
            if (show)
                title = m_container->GetTitle();
        } catch (...) {
            // The plain notice serves when the title cannot be read.
            title.clear();
        }
        if (!title.empty())
            text = tr(c_NoMusicIn).arg(QString::fromStdString(title));
    }
    NoItemsPanel->setText(text);
    NoItemsPanel->setVisible(show);
}

void TMusicItems::ListDblClick()
{
    MyMediaItem* item = SelectedItem();
    if (!item)
        return;
    if (item->IsContainer()) {
        // Opening the node runs the event loop, which may delete the row and its item.
        const ApiRef<UrlApi> url = item->Url();
        if (m_tree)
            m_tree->SelectChild(url.Get());
        return;
    }
    QAction* properties = m_page.PropertiesAction;
    bool enabled = false;
    try {
        enabled = m_page.CanShowProperties();
    } catch (...) {
        enabled = false;
    }
    properties->setEnabled(enabled);
    if (enabled)
        properties->trigger();
}

void TMusicItems::ListEnter()
{
    if (List->selectedItems().isEmpty() && List->count() > 0)
        List->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
}
