#include "picker/MediaPageForm.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QCursor>
#include <QFrame>
#include <QHelpEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QResizeEvent>
#include <QSplitter>
#include <QStringList>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/Assert.h"
#include "host/MediaClassGroup.h"
#include "host/MediaItem.h"
#include "host/ModuleGroup.h"
#include "host/UrlImpl.h"
#include "picker/ContainerPropsForm.h"
#include "picker/MediaTreeForm.h"
#include "picker/MusicPropsForm.h"
#include "picker/MyMediaItem.h"
#include "picker/PhotoPropsForm.h"
#include "picker/SongTipReader.h"
#include "picker/UpdateQueue.h"
#include "picker/Utilities.h"
#include "picker/ViewSupport.h"
#include "platform/MessageBox.h"
#include "platform/System.h"

using namespace LumoApi;

namespace {

constexpr int c_SplitterLimitPx = 200;
constexpr int c_MinimumHeightPx = 412;
constexpr int c_TopHalfHeightPx = 210;
constexpr int c_TreeWidthPx = 249;
constexpr int c_TitleHeightPx = 20;

constexpr char c_PublishCaption[] = QT_TRANSLATE_NOOP("TMediaPage", "Publish");
constexpr char c_NotPublishable[] = QT_TRANSLATE_NOOP("TMediaPage", "'%1' is not publishable as a %2 item.");
constexpr char c_ContinuePublishing[] = QT_TRANSLATE_NOOP("TMediaPage",
    "\n\nTo continue publishing the remainder of the selected items, press OK.\nTo stop publishing items, press "
    "CANCEL.");
constexpr char c_UnpublishCaption[] = QT_TRANSLATE_NOOP("TMediaPage", "Unpublish");
constexpr char c_NotUnpublishable[] = QT_TRANSLATE_NOOP("TMediaPage", "'%1' cannot be unpublished.");
constexpr char c_ContinueUnpublishing[] = QT_TRANSLATE_NOOP("TMediaPage",
    "\n\nTo continue unpublishing the remainder of the selected items, press OK.\nTo stop unpublishing items, press "
    "CANCEL.");
constexpr char c_BrokenItem[] = QT_TRANSLATE_NOOP("TMediaPage",
    "The published item was not found. It may have been deleted or renamed, or it could be located on a network "
    "drive or a removable disk that is not currently available.");

// Rules only decide: whatever goes wrong while deciding is a no, silently.
template <class Rule>
bool Allowed(Rule&& rule)
{
    try {
        return rule();
    } catch (...) {
        return false;
    }
}

template <class Rule>
void UpdateEnabled(QAction* action, Rule&& rule)
{
    action->setEnabled(Allowed(std::forward<Rule>(rule)));
}

// The assertion has already shown itself; recovering from it only skips the item.
void ReportFalse()
{
    try {
        LUMO_ASSERT(false);
    } catch (...) {
    }
}

// "Published 3 items", "2 items could not be published", or both.
QString ChangeResult(bool publish, int changed, int failed)
{
    QStringList parts;
    if (changed > 0 || failed == 0)
        parts << (publish ? TMediaPage::tr("Published %n item(s)", nullptr, changed)
                          : TMediaPage::tr("Unpublished %n item(s)", nullptr, changed));
    if (failed > 0)
        parts << (publish ? TMediaPage::tr("%n item(s) could not be published", nullptr, failed)
                          : TMediaPage::tr("%n item(s) could not be unpublished", nullptr, failed));
    return parts.join(TMediaPage::tr(", "));
}

bool HasReference(MyMediaItem* item)
{
    return item && item->Url() && !TextOf(item->Url().Get()).empty();
}

QLabel* MakeTitle(QWidget* parent, const char* name)
{
    auto* title = new QLabel(parent);
    title->setObjectName(name);
    title->setFixedHeight(c_TitleHeightPx);
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    title->setFrameShape(QFrame::NoFrame);
    return title;
}

// The bar between the halves. Once the page is laid out, a change of its height is divided by
// the page's rule instead of the stretch factors: growing, the top half takes what the bottom
// half has over its limit, up to the growth; shrinking, the top half first gives what it has
// over its limit.
class THeightSplitter : public QSplitter {
public:
    using QSplitter::QSplitter;
    void FollowRule() { m_rule = true; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        // The halves as they stood before this change; the base class lays them out anew.
        const QList<int> before = sizes();
        QSplitter::resizeEvent(event);
        if (!m_rule || before.size() != 2)
            return;
        const int was = before[0] + before[1];
        const int now = contentsRect().height() - handleWidth();
        if (was <= 0 || now == was)
            return;
        const int change = now - was;
        int top = before[0]
            + (change > 0 ? std::min(change, before[1] - c_SplitterLimitPx)
                          : std::max(change, c_SplitterLimitPx - before[0]));
        // Too short for both halves at their limits (a small screen at twice the scale):
        // they share the height rather than the published list vanishing.
        if (now < 2 * c_SplitterLimitPx)
            top = now / 2;
        setSizes({top, std::max(0, now - top)});
    }

private:
    bool m_rule = false;
};

QWidget* MakePanel(QWidget* parent, const char* name)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(name);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return panel;
}

// Where the focus goes while a command is being chosen: the menu bar (Alt), a menu, a tool
// bar, or another window (a dialog). The commands then act on the pane that had the focus.
bool IsCommandSurface(QWidget* widget, QWidget* pageWindow)
{
    if (widget->window() != pageWindow)
        return true;
    for (QWidget* up = widget; up; up = up->parentWidget()) {
        if (qobject_cast<QMenuBar*>(up) || qobject_cast<QMenu*>(up) || qobject_cast<QToolBar*>(up))
            return true;
    }
    return false;
}

} // namespace

std::string CapitalizedName(std::string name)
{
    if (!name.empty())
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name;
}

TMediaPage::TMediaPage(QWidget* parent, MediaClass& mediaClass, UpdateQueue& queue, std::function<bool()> idle)
    : QWidget(parent),
      m_mediaClass(mediaClass),
      m_queue(queue),
      m_music(mediaClass.GetModule().Id() == "LumoMusic"),
      m_treeWidth(c_TreeWidthPx),
      m_topHalfHeight(c_TopHalfHeightPx)
{
    setObjectName(m_music ? "MusicPage" : "PhotosPage");
    setMinimumHeight(c_MinimumHeightPx);

    PublishAction = new QAction(tr("&Publish"), this);
    PublishAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    UnpublishAction = new QAction(tr("&Unpublish"), this);
    UnpublishAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    ClearAction = new QAction(tr("Cle&ar"), this);
    ClearAction->setShortcut(QKeySequence(Qt::Key_Delete));
    OpenAction = new QAction(tr("&Open"), this);
    OpenAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    OpenAction->setEnabled(false);
    RenameAction = new QAction(tr("Rename"), this);
    RenameAction->setEnabled(false);
    PropertiesAction = new QAction(tr("P&roperties"), this);
    // Return on the main keyboard and Enter on the keypad.
    PropertiesAction->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
    FileDropAction = new QAction(tr("&Paste"), this);
    FileDropAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    FileCopyAction = new QAction(tr("&Copy"), this);
    FileCopyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    SelectAllAction = new QAction(tr("Select A&ll"), this);
    SelectAllAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    UpAction = new QAction(tr("Up"), this);

    connect(PublishAction, &QAction::triggered, this, [this] { Guarded([this] { PublishActionExecute(); }); });
    connect(UnpublishAction, &QAction::triggered, this, [this] { Guarded([this] { UnpublishActionExecute(); }); });
    connect(ClearAction, &QAction::triggered, this, [this] { Guarded([this] { UnpublishActionExecute(); }); });
    connect(PropertiesAction, &QAction::triggered, this, [this] { Guarded([this] { ShowProperties(); }); });
    connect(FileDropAction, &QAction::triggered, this, [this] { Guarded([this] { PublishedList->Paste(); }); });
    connect(FileCopyAction, &QAction::triggered, this, [this] { Guarded([this] { FileCopyActionExecute(); }); });
    connect(SelectAllAction, &QAction::triggered, this, [this] { Guarded([this] { SelectAllActionExecute(); }); });
    connect(UpAction, &QAction::triggered, this, [this] { Guarded([this] { UpActionExecute(); }); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    HeightSplitter = new THeightSplitter(Qt::Vertical, this);
    HeightSplitter->setObjectName("HeightSplitter");
    HeightSplitter->setHandleWidth(4);
    HeightSplitter->setChildrenCollapsible(false);
    layout->addWidget(HeightSplitter);

    TopHalfPanel = MakePanel(HeightSplitter, "TopHalfPanel");
    MediaTreeTitle = MakeTitle(TopHalfPanel, "MediaTreeTitle");
    TopHalfPanel->layout()->addWidget(MediaTreeTitle);
    ItemBrowserSplitter = new QSplitter(Qt::Horizontal, TopHalfPanel);
    ItemBrowserSplitter->setObjectName("ItemBrowserSplitter");
    ItemBrowserSplitter->setHandleWidth(4);
    ItemBrowserSplitter->setChildrenCollapsible(false);
    TopHalfPanel->layout()->addWidget(ItemBrowserSplitter);

    MediaTreePanel = MakePanel(ItemBrowserSplitter, "MediaTreePanel");
    MediaItemsPanel = MakePanel(ItemBrowserSplitter, "MediaItemsPanel");
    // The splitters' limits: neither side gets smaller than 200 pixels.
    TopHalfPanel->setMinimumHeight(c_SplitterLimitPx);
    MediaTreePanel->setMinimumWidth(c_SplitterLimitPx);
    MediaItemsPanel->setMinimumWidth(c_SplitterLimitPx);
    ItemBrowserSplitter->addWidget(MediaTreePanel);
    ItemBrowserSplitter->addWidget(MediaItemsPanel);
    ItemBrowserSplitter->setStretchFactor(0, 0);
    ItemBrowserSplitter->setStretchFactor(1, 1);
    ItemBrowserSplitter->setSizes({c_TreeWidthPx, c_TreeWidthPx});

    BottomHalfPanel = MakePanel(HeightSplitter, "BottomHalfPanel");
    BottomHalfPanel->setMinimumHeight(c_SplitterLimitPx);
    PublishedListTitle = MakeTitle(BottomHalfPanel, "PublishedListTitle");
    BottomHalfPanel->layout()->addWidget(PublishedListTitle);
    PublishedListPanel = MakePanel(BottomHalfPanel, "PublishedListPanel");
    BottomHalfPanel->layout()->addWidget(PublishedListPanel);
    HeightSplitter->addWidget(TopHalfPanel);
    HeightSplitter->addWidget(BottomHalfPanel);
    // Until the page is laid out, a taller page grows the published list; from then on the
    // splitter divides a change by the page's rule.
    HeightSplitter->setStretchFactor(0, 0);
    HeightSplitter->setStretchFactor(1, 1);
    HeightSplitter->setSizes({c_TopHalfHeightPx, c_MinimumHeightPx - c_TopHalfHeightPx});

    MediaTree = new TMediaTree(MediaTreePanel, PublishAction, mediaClass, queue, std::move(idle));
    MediaTreePanel->layout()->addWidget(MediaTree);
    ItemsView = new QWidget(MediaItemsPanel);
    ItemsView->setObjectName("ItemsView");
    MediaItemsPanel->layout()->addWidget(ItemsView);
    MediaTree->SetItemsWindow(ItemsView);
    PublishedList = new TPublishedList(PublishedListPanel, *this, mediaClass, queue, UnpublishAction, PropertiesAction);
    PublishedListPanel->layout()->addWidget(PublishedList);

    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusChanged(now); });
}

TMediaPage::~TMediaPage() = default;

namespace {

void SetFirstPaneSize(QSplitter& splitter, int pixels)
{
    int total = 0;
    for (int size : splitter.sizes())
        total += size;
    // The second pane takes what is left, so a splitter not laid out yet keeps the first.
    splitter.setSizes({pixels, std::max(total - pixels, c_SplitterLimitPx)});
}

} // namespace

void TMediaPage::SetItemsView(QWidget* view)
{
    MediaItemsPanel->layout()->replaceWidget(ItemsView, view);
    delete ItemsView;
    ItemsView = view;
    ItemsView->setObjectName("ItemsView");
    MediaTree->SetItemsWindow(ItemsView);
    NamePanesForScreenReaders();
}

void TMediaPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_laidOut)
        return;
    // The splitters have their real sizes only now; until then they only held the wishes.
    m_laidOut = true;
    SetFirstPaneSize(*ItemBrowserSplitter, m_treeWidth);
    // On a screen too short for both halves at their limits (a small laptop at twice the
    // scale), the halves share what there is rather than the published list vanishing.
    int height = 0;
    for (int size : HeightSplitter->sizes())
        height += size;
    int top = m_topHalfHeight;
    if (height > 0 && height - top < c_SplitterLimitPx)
        top = std::min(top, std::max(height / 2, height - c_SplitterLimitPx));
    SetFirstPaneSize(*HeightSplitter, top);
    static_cast<THeightSplitter*>(HeightSplitter)->FollowRule();
}

void TMediaPage::GiveUpHeight(int pixels)
{
    setMinimumHeight(std::max(0, minimumHeight() - pixels));
    const int half = std::max(0, c_SplitterLimitPx - (pixels + 1) / 2);
    TopHalfPanel->setMinimumHeight(half);
    BottomHalfPanel->setMinimumHeight(half);
}

int TMediaPage::TreeWidth() const
{
    return m_laidOut ? ItemBrowserSplitter->sizes().value(0) : m_treeWidth;
}

void TMediaPage::SetTreeWidth(int pixels)
{
    m_treeWidth = pixels;
    SetFirstPaneSize(*ItemBrowserSplitter, pixels);
}

int TMediaPage::TopHalfHeight() const
{
    return m_laidOut ? HeightSplitter->sizes().value(0) : m_topHalfHeight;
}

void TMediaPage::SetTopHalfHeight(int pixels)
{
    m_topHalfHeight = pixels;
    SetFirstPaneSize(*HeightSplitter, pixels);
}

void TMediaPage::Initialize()
{
    MediaTree->Initialize();
    PublishedList->Initialize();
    MediaTreeTitle->setText(TreeTitle());
    PublishedListTitle->setText(PublishedTitle());
    NamePanesForScreenReaders();
}

void TMediaPage::NamePanesForScreenReaders()
{
    // The titles above the panes say what they hold; a screen reader says the names instead,
    // of the pane and of the view in it that takes the focus.
    const auto name = [](QWidget* pane, const QString& text, const QString& description) {
        for (QWidget* widget : pane->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (widget->focusPolicy() & Qt::TabFocus) {
                widget->setAccessibleName(text);
                widget->setAccessibleDescription(description);
            }
        pane->setAccessibleName(text);
        pane->setAccessibleDescription(description);
    };
    name(MediaTree, m_music ? tr("Music folders") : tr("Photo folders"), TreeTitle());
    name(ItemsView, m_music ? tr("Songs of the selected folder") : tr("Photos of the selected folder"), QString());
    name(PublishedList, m_music ? tr("Published music") : tr("Published photos"), PublishedTitle());
}

void TMediaPage::Idle()
{
    MediaTree->Poll();
    QEvent refresh(c_RefreshEvent);
    QCoreApplication::sendEvent(ItemsView, &refresh);
    PublishedList->Poll();
}

void TMediaPage::UpdateActions()
{
    UpdateEnabled(PublishAction, [this] { return CanPublish(); });
    UpdateEnabled(FileCopyAction, [this] { return CanPublish(); });
    UpdateEnabled(UnpublishAction, [this] { return CanUnpublish(); });
    UpdateEnabled(ClearAction, [this] { return CanUnpublish(); });
    UpdateEnabled(PropertiesAction, [this] { return CanShowProperties(); });
    UpdateEnabled(FileDropAction, [this] { return PublishedList->CanPaste(); });
    UpdateEnabled(SelectAllAction, [this] { return CanSelectAll(); });
    UpdateEnabled(UpAction, [this] { return CanGoUp(); });
}

QString TMediaPage::TreeTitle() const
{
    const std::string computer = Platform::ComputerName();
    if (computer.empty())
        return m_music ? tr("Available music on My Computer:") : tr("Available photos on My Computer:");
    return (m_music ? tr("Available music on %1:") : tr("Available photos on %1:"))
        .arg(QString::fromStdString(computer));
}

QString TMediaPage::PublishedTitle() const
{
    const std::string user = CapitalizedName(Platform::UserName());
    if (user.empty())
        return m_music ? tr("Published music:") : tr("Published photos:");
    return (m_music ? tr("%1's published music:") : tr("%1's published photos:")).arg(QString::fromStdString(user));
}

ItemsStatusEvent TMediaPage::ItemsStatus()
{
    ItemsStatusEvent query;
    QCoreApplication::sendEvent(ItemsView, &query);
    return query;
}

int TMediaPage::SelectedCount()
{
    QList<MyMediaItem*> items;
    SelectedItems(items);
    return int(items.size());
}

MyMediaItem* TMediaPage::FocusedItem()
{
    switch (ActivePanel) {
    case apTree:
        return MediaTree->SelectedItem();
    case apItems: {
        CurrentItemEvent query;
        QCoreApplication::sendEvent(ItemsView, &query);
        return query.m_item;
    }
    case apPublished:
        return PublishedList->SelectedItem();
    default:
        return nullptr;
    }
}

void TMediaPage::SelectedItems(QList<MyMediaItem*>& items)
{
    items.clear();
    switch (ActivePanel) {
    case apTree:
        MediaTree->SelectedItems(items);
        break;
    case apItems: {
        SelectedItemsEvent query(items);
        QCoreApplication::sendEvent(ItemsView, &query);
        break;
    }
    case apPublished:
        PublishedList->SelectedItems(items);
        break;
    default:
        break;
    }
}

bool TMediaPage::CheckCache::Answer(const QList<MyMediaItem*>& items, const std::function<bool(UrlApi*)>& ask)
{
    std::vector<ApiRef<UrlApi>> urls;
    urls.reserve(size_t(items.size()));
    for (MyMediaItem* item : items) {
        if (HasReference(item))
            urls.push_back(item->Url());
    }
    const auto same = [&] {
        return std::equal(urls.begin(), urls.end(), m_urls.begin(), m_urls.end(),
            [](const ApiRef<UrlApi>& a, const ApiRef<UrlApi>& b) { return a.Get() == b.Get(); });
    };
    if (m_known && same())
        return m_result;
    Forget();
    bool result = false;
    bool sure = true;
    for (const ApiRef<UrlApi>& url : urls) {
        try {
            result = ask(url.Get());
        } catch (...) {
            sure = false;
        }
        if (result)
            break;
    }
    if (result || sure) {
        m_urls = std::move(urls);
        m_known = true;
        m_result = result;
    }
    return result;
}

void TMediaPage::CheckCache::Forget()
{
    m_urls.clear();
    m_known = false;
}

bool TMediaPage::CanChange(bool published, CheckCache& cache, bool (MediaClass::*check)(UrlApi*) const)
{
    if ((ActivePanel == apPublished) != published)
        return false;
    // A burst of records (a large publish arriving) would otherwise ask about a whole
    // selection again for each record.
    if (m_publishedSetChanged && m_queue.Count() == 0) {
        m_publishedSetChanged = false;
        m_publishCheck.Forget();
        m_unpublishCheck.Forget();
    }
    QList<MyMediaItem*> items;
    SelectedItems(items);
    return cache.Answer(items, [&](UrlApi* url) { return (m_mediaClass.*check)(url); });
}

void TMediaPage::PublishedSetChanged()
{
    m_publishedSetChanged = true;
}

bool TMediaPage::CanPublish()
{
    return CanChange(false, m_publishCheck, &MediaClass::CanPublish);
}

bool TMediaPage::CanUnpublish()
{
    return CanChange(true, m_unpublishCheck, &MediaClass::CanUnpublish);
}

bool TMediaPage::CanShowProperties()
{
    return FocusedItem() != nullptr;
}

bool TMediaPage::CanSelectAll() const
{
    return ActivePanel == apItems || ActivePanel == apPublished;
}

bool TMediaPage::CanGoUp()
{
    const QList<QTreeWidgetItem*> selected = MediaTree->Tree->selectedItems();
    return !selected.isEmpty() && selected.first()->parent() != nullptr;
}

void TMediaPage::PublishActionExecute()
{
    // A key runs the command before the next idle pass has updated it: the pane or the
    // selection may have changed since. The rule decides again, here.
    if (!Allowed([this] { return CanPublish(); }))
        return;
    QList<MyMediaItem*> items;
    SelectedItems(items);
    PublishItemList(items, true);
}

void TMediaPage::UnpublishActionExecute()
{
    if (!Allowed([this] { return CanUnpublish(); }))
        return;
    QList<MyMediaItem*> items;
    SelectedItems(items);
    UnpublishItemList(items, true);
}

void TMediaPage::SelectAllActionExecute()
{
    if (ActivePanel == apItems) {
        QEvent selectAll(c_SelectAllEvent);
        QCoreApplication::sendEvent(ItemsView, &selectAll);
    } else if (ActivePanel == apPublished) {
        PublishedList->SelectAll();
    }
}

void TMediaPage::UpActionExecute()
{
    const QList<QTreeWidgetItem*> selected = MediaTree->Tree->selectedItems();
    if (!selected.isEmpty() && selected.first()->parent())
        MediaTree->Tree->setCurrentItem(selected.first()->parent());
}

void TMediaPage::FileCopyActionExecute()
{
    if (!Allowed([this] { return CanPublish(); }))
        return;
    QList<MyMediaItem*> items;
    SelectedItems(items);
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    std::vector<std::string> keys;
    for (MyMediaItem* item : items)
        keys.push_back(HasReference(item) ? TextOf(item->Url().Get()) : std::string());
    // The clipboard is not emptied first: what other formats it holds stays.
    auto data = std::make_unique<QMimeData>();
    if (const QMimeData* previous = clipboard->mimeData()) {
        for (const QString& format : previous->formats())
            data->setData(format, previous->data(format));
    }
    data->setData(c_ClipboardMimeType, EncodeClipboardKeys(keys));
    clipboard->setMimeData(data.release());
}

void TMediaPage::PushRecord(char operation, UrlApi* url, UndoList* undo)
{
    UndoRecord record{operation, TextOf(url)};
    if (undo)
        undo->push_back(std::move(record));
    else
        m_undoStack.push_back(UndoList{std::move(record)});
}

void TMediaPage::PublishItem(UrlApi* url, UndoList* undo)
{
    const ApiRef<UrlApi> entry = m_mediaClass.Publish(url, nullptr);
    PushRecord('P', entry.Get(), undo);
    PublishedList->SelectItem(entry.Get());
}

void TMediaPage::UnpublishItem(UrlApi* url, UndoList* undo)
{
    const ApiRef<UrlApi> original = m_mediaClass.Unpublish(url);
    PushRecord('U', original.Get(), undo);
}

void TMediaPage::ChangeItemList(const QList<MyMediaItem*>& items, bool recordUndo, Change change)
{
    const bool publish = change == Change::Publish;
    // A message box runs the event loop, in which a view may drop the rows that own these
    // items: hold their references, not the items.
    std::vector<ApiRef<UrlApi>> urls;
    urls.reserve(size_t(items.size()));
    for (MyMediaItem* item : items)
        urls.push_back(HasReference(item) ? item->Url() : ApiRef<UrlApi>());
    UndoList undo;
    int changed = 0;
    int failed = 0;
    for (size_t index = 0; index < urls.size(); ++index) {
        UrlApi* url = urls[index].Get();
        if (!url) {
            ReportFalse();
            continue;
        }
        try {
            if (publish)
                PublishItem(url, &undo);
            else
                UnpublishItem(url, &undo);
            ++changed;
        } catch (...) {
            ++failed;
            const bool more = index + 1 < urls.size();
            const QString path = QString::fromStdString(ItemDisplayPath(url));
            QString text = publish ? tr(c_NotPublishable).arg(path, m_music ? tr("music") : tr("photos"))
                                   : tr(c_NotUnpublishable).arg(path);
            const std::string reason = ChangeFailureReason(std::current_exception(), publish);
            if (!reason.empty())
                text += "\n\n" + QString::fromStdString(reason);
            if (more)
                text += publish ? tr(c_ContinuePublishing) : tr(c_ContinueUnpublishing);
            const int answer = Platform::ShowMessageBox(text.toUtf8().constData(),
                (publish ? tr(c_PublishCaption) : tr(c_UnpublishCaption)).toUtf8().constData(),
                Platform::MB_ICONWARNING | (more ? Platform::MB_OKCANCEL : Platform::MB_OK));
            if (answer == Platform::IDCANCEL)
                break;
        }
    }
    m_lastChangeResult = ChangeResult(publish, changed, failed);
    // What may be published or unpublished has changed.
    m_publishCheck.Forget();
    m_unpublishCheck.Forget();
    if (recordUndo && !undo.empty())
        m_undoStack.push_back(std::move(undo));
}

void TMediaPage::PublishItemList(const QList<MyMediaItem*>& items, bool recordUndo)
{
    ChangeItemList(items, recordUndo, Change::Publish);
}

void TMediaPage::UnpublishItemList(const QList<MyMediaItem*>& items, bool recordUndo)
{
    ChangeItemList(items, recordUndo, Change::Unpublish);
}

QString TMediaPage::UndoCaption() const
{
    if (m_undoStack.empty() || m_undoStack.back().empty())
        return tr("&Undo");
    switch (m_undoStack.back().front().operation) {
    case 'U':
        return tr("&Undo Unpublish");
    case 'P':
        return tr("&Undo Publish");
    default:
        return tr("&Undo");
    }
}

void TMediaPage::Undo()
{
    if (m_undoStack.empty())
        return;
    try {
        char operation = 0;
        std::vector<std::unique_ptr<MyMediaItem>> temporary;
        QList<MyMediaItem*> items;
        const UndoList& undo = m_undoStack.back();
        for (size_t index = 0; index < undo.size(); ++index) {
            const UndoRecord& record = undo[index];
            if (index == 0)
                operation = record.operation;
            if (record.operation != operation) {
                ReportFalse();
                continue;
            }
            temporary.push_back(std::make_unique<MyMediaItem>(MakeUrl(record.key), nullptr, m_queue));
            items.append(temporary.back().get());
        }
        if (operation == 'P')
            UnpublishItemList(items, false);
        else
            PublishItemList(items, false);
        temporary.clear();
        m_undoStack.pop_back();
    } catch (...) {
        Platform::ShowMessageBox(tr("Undo operation failed.").toUtf8().constData(), tr("Error").toUtf8().constData(),
            Platform::MB_OK | Platform::MB_ICONERROR);
    }
}

void TMediaPage::ShowProperties()
{
    ShowItemProperties(FocusedItem());
}

void TMediaPage::ShowItemProperties(MyMediaItem* item)
{
    if (!HasReference(item))
        return;
    if (IsBroken(item->Item())) {
        Platform::ShowMessageBox(tr(c_BrokenItem).toUtf8().constData(), tr("Lumo Publisher Error").toUtf8().constData(),
            Platform::MB_OK | Platform::MB_ICONERROR);
        return;
    }
    if (item->IsContainer()) {
        TContainerProps(this, *item).exec();
    } else if (m_music) {
        TMusicProps(this, *item).exec();
    } else {
        TPhotoProps(this, *item).exec();
    }
}

std::string TMediaPage::ContainerSummary(MyMediaItem& item)
{
    return ::ContainerSummary(item);
}

std::string TMediaPage::SongSummary(MyMediaItem& item)
{
    // The tags are read away from the window; until they are in, the song has no tip.
    if (!m_songTips) {
        m_songTips = std::make_unique<SongTipReader>(
            [](MediaItem& song) { return ::SongSummary(song); }, [this] { SongTipRead(); });
    }
    return m_songTips->Tip(item.Url()).value_or(std::string());
}

void TMediaPage::SongTipRead()
{
    // The pointer may still rest on the song that asked: its tip shows now, as at a new rest.
    const QPoint global = QCursor::pos();
    QWidget* under = QApplication::widgetAt(global);
    if (under && isAncestorOf(under)) {
        QHelpEvent help(QEvent::ToolTip, under->mapFromGlobal(global), global);
        QCoreApplication::sendEvent(under, &help);
    }
}

std::string TMediaPage::PhotoSummary(MyMediaItem& item)
{
    return ::PhotoSummary(item);
}

void TMediaPage::FocusChanged(QWidget* now)
{
    if (!now)
        return;
    if (MediaTreePanel->isAncestorOf(now))
        ActivePanel = apTree;
    else if (MediaItemsPanel->isAncestorOf(now))
        ActivePanel = apItems;
    else if (PublishedListPanel->isAncestorOf(now))
        ActivePanel = apPublished;
    else if (!IsCommandSurface(now, window()))
        ActivePanel = apNone;
}
