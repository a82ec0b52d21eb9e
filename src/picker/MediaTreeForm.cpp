#include "picker/MediaTreeForm.h"

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include "common/Assert.h"
#include "host/MediaClassGroup.h"
#include "host/MediaItem.h"
#include "host/ModuleGroup.h"
#include "host/UrlImpl.h"
#include "picker/ContainerPropsForm.h"
#include "picker/ItemIconList.h"
#include "picker/MediaItemDragObj.h"
#include "picker/MyMediaItem.h"
#include "picker/RowReconcile.h"
#include "picker/UpdateQueue.h"
#include "picker/ViewKeyboard.h"
#include "picker/ViewSupport.h"
#include "platform/MessageBox.h"

using namespace LumoApi;

namespace {

constexpr int c_IndentPx = 19;
// Nodes this deep (the roots are 1) are shown but not opened: deeper than real folder trees go
// below the roots, and short of the 40 linked folders a path may pass before it is refused.
constexpr int c_MaxNesting = 32;

int ChildCount(QTreeWidget* tree, QTreeWidgetItem* node)
{
    return node ? node->childCount() : tree->topLevelItemCount();
}

QTreeWidgetItem* ChildAt(QTreeWidget* tree, QTreeWidgetItem* node, int index)
{
    return node ? node->child(index) : tree->topLevelItem(index);
}

// node lies somewhere under ancestor, not on it.
bool IsBelow(QTreeWidgetItem* node, QTreeWidgetItem* ancestor)
{
    for (QTreeWidgetItem* up = node ? node->parent() : nullptr; up; up = up->parent()) {
        if (up == ancestor)
            return true;
    }
    return false;
}

} // namespace

TMediaTreeView::TMediaTreeView(QWidget* parent, std::function<QMimeData*()> dragObject)
    : QTreeWidget(parent), m_dragObject(std::move(dragObject))
{
}

QStringList TMediaTreeView::mimeTypes() const
{
    return {QString::fromLatin1(MediaItemDragObj::c_Format)};
}

QMimeData* TMediaTreeView::mimeData(const QList<QTreeWidgetItem*>&) const
{
    return m_dragObject();
}

void TMediaTreeView::startDrag(Qt::DropActions)
{
    QTreeWidget::startDrag(Qt::CopyAction);
}

TMediaTree::TMediaTree(
    QWidget* parent, QAction* publishAction, MediaClass& mediaClass, UpdateQueue& queue, std::function<bool()> idle)
    : QWidget(parent),
      m_music(mediaClass.GetModule().Id() == "LumoMusic"),
      m_mediaClass(mediaClass),
      m_queue(queue),
      m_idle(std::move(idle))
{
    setObjectName("MediaTree");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    Tree = new TMediaTreeView(this, [this]() -> QMimeData* {
        MyMediaItem* item = SelectedItem();
        if (!item) {
            Guarded([] { LUMO_ASSERT(false); });
            return nullptr;
        }
        return MediaItemDragObj::CopyOf({item}, m_queue);
    });
    Tree->setObjectName("Tree");
    Tree->setHeaderHidden(true);
    // Hidden, but a screen reader still names the column.
    Tree->setHeaderLabel(tr("Folders"));
    Tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tree->setSelectionMode(QAbstractItemView::SingleSelection);
    Tree->setDragEnabled(true);
    Tree->setDragDropMode(QAbstractItemView::DragOnly);
    Tree->setIndentation(c_IndentPx);
    Tree->setSortingEnabled(false);
    Tree->setFrameShape(QFrame::NoFrame);
    Tree->setContextMenuPolicy(Qt::CustomContextMenu);
    new MenuKeys(*Tree);
    new FocusFrameDelegate(*Tree);
    Tree->viewport()->installEventFilter(this);
    layout->addWidget(Tree);

    PublishAction = new QAction(tr("&Publish"), this);
    ExpandAction = new QAction(tr("&Expand"), this);
    PropertiesAction = new QAction(tr("Proper&ties"), this);
    connect(ExpandAction, &QAction::triggered, this, [this] { Guarded([this] { ExpandActionExecute(); }); });
    connect(PropertiesAction, &QAction::triggered, this, [this] { Guarded([this] { PropertiesActionExecute(); }); });

    MediaTreePopupMenu = new QMenu(this);
    MediaTreePopupMenu->setObjectName("MediaTreePopupMenu");
    MediaTreePopupMenu->addAction(publishAction ? publishAction : PublishAction);
    MediaTreePopupMenu->addSeparator();
    MediaTreePopupMenu->addAction(ExpandAction);
    MediaTreePopupMenu->addAction(PropertiesAction);
    connect(MediaTreePopupMenu, &QMenu::aboutToShow, this, [this] { UpdateActions(); });

    connect(Tree, &QTreeWidget::itemExpanded, this,
        [this](QTreeWidgetItem* node) { Guarded([&] { TreeExpanded(node); }); });
    connect(Tree, &QTreeWidget::itemCollapsed, this,
        [this](QTreeWidgetItem* node) { Guarded([&] { TreeCollapsed(node); }); });
    connect(Tree, &QTreeWidget::itemSelectionChanged, this, [this] { TreeChange(); });
    connect(Tree, &QWidget::customContextMenuRequested, this, &TMediaTree::ShowPopup);
}

TMediaTree::~TMediaTree()
{
    // Signals would reach a half-destroyed tree; the items go before the nodes that show them.
    Tree->blockSignals(true);
    m_items.clear();
    Tree->clear();
    RootItem.reset();
}

void TMediaTree::Initialize()
{
    RootItem.reset();
    RootItem = std::make_unique<MediaTreeItem>(m_mediaClass.FirstRoot().Url(), this, m_queue, nullptr);
    LUMO_ASSERT(RootItem);
    RootItem->StartEnumeration();
}

void TMediaTree::Poll()
{
    if (RootItem)
        RootItem->PostRefreshNotification();
    // Collecting may show a dialog whose event loop changes the tree: walk a snapshot and skip
    // nodes that have gone meanwhile.
    std::vector<QTreeWidgetItem*> nodes;
    for (QTreeWidgetItemIterator it(Tree); *it; ++it)
        nodes.push_back(*it);
    for (QTreeWidgetItem* node : nodes) {
        auto found = m_items.find(node);
        if (found != m_items.end())
            found->second->PostRefreshNotification();
    }
    UpdateActions();
}

void TMediaTree::UpdateActions()
{
    QTreeWidgetItem* node = SelectedNode();
    ExpandAction->setEnabled(node != nullptr);
    if (node)
        ExpandAction->setText(node->isExpanded() ? tr("&Collapse") : tr("&Expand"));
    const bool selected = SelectedItem() != nullptr;
    PropertiesAction->setEnabled(selected);
    PublishAction->setEnabled(selected);
}

MyMediaItem* TMediaTree::SelectedItem()
{
    QTreeWidgetItem* node = SelectedNode();
    return node ? ItemOfNode(node) : nullptr;
}

void TMediaTree::SelectedItems(QList<MyMediaItem*>& items)
{
    items.clear();
    if (MyMediaItem* item = SelectedItem())
        items.append(item);
}

MyMediaItem* TMediaTree::ItemOfNode(QTreeWidgetItem* node)
{
    if (!node)
        return RootItem.get();
    auto found = m_items.find(node);
    return found == m_items.end() ? nullptr : found->second.get();
}

void TMediaTree::SetItemsWindow(QObject* window)
{
    m_itemsWindow = window;
}

bool TMediaTree::SelectChild(UrlApi* url)
{
    QTreeWidgetItem* node = SelectedNode();
    if (!node)
        return false;
    node->setExpanded(true);
    for (int index = 0; index < node->childCount(); ++index) {
        QTreeWidgetItem* child = node->child(index);
        MyMediaItem* item = ItemOfNode(child);
        if (item && SameItem(item->Url().Get(), url)) {
            Tree->setCurrentItem(child);
            return true;
        }
    }
    return false;
}

bool TMediaTree::event(QEvent* event)
{
    if (event->type() != QueuedEvent::c_Type)
        return QWidget::event(event);
    std::unique_ptr<UpdateInfo> info = static_cast<QueuedEvent*>(event)->TakeInfo();
    if (info)
        Guarded([&] { ProcessQueuedEvent(std::move(info)); });
    return true;
}

bool TMediaTree::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Tree->viewport() || event->type() != QEvent::MouseButtonPress)
        return QWidget::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::RightButton)
        return false;
    // The view would select on any right press; only a plain one moves the selection.
    if (mouse->buttons() == Qt::RightButton && mouse->modifiers() == Qt::NoModifier) {
        if (QTreeWidgetItem* node = Tree->itemAt(mouse->position().toPoint()))
            Tree->setCurrentItem(node);
    }
    return true;
}

void TMediaTree::ProcessQueuedEvent(std::unique_ptr<UpdateInfo> info)
{
    QTreeWidgetItem* node = info->m_node;
    // A record may outlive the node it was made for.
    if (node && !IsKnownNode(node))
        return;
    switch (info->m_kind) {
    case ChildAdded:
        AddItem(info->m_item, node);
        break;
    case ChildRemoved:
        RemoveItem(info->m_item.Get(), node);
        break;
    case ChildChanged:
        break;
    case Enumerated: {
        MyMediaItem* listed = ItemOfNode(node);
        if (!listed || !SameItem(listed->Url().Get(), info->m_item.Get()) || !info->m_ChildList)
            return;
        const bool updates = Tree->updatesEnabled();
        Tree->setUpdatesEnabled(false);
        try {
            MergeChildren(node, *info->m_ChildList);
        } catch (...) {
            Tree->setUpdatesEnabled(updates);
            throw;
        }
        Tree->setUpdatesEnabled(updates);
        break;
    }
    default:
        LUMO_ASSERT(false);
    }
}

void TMediaTree::MergeChildren(QTreeWidgetItem* node, const ChildList& children)
{
    std::vector<std::string> rows;
    const int count = ChildCount(Tree, node);
    rows.reserve(size_t(count));
    for (int index = 0; index < count; ++index) {
        MyMediaItem* item = ItemOfNode(ChildAt(Tree, node, index));
        rows.push_back(item ? TextOf(item->Url().Get()) : std::string());
    }
    // The root's folders keep the order its listing gives; a folder's come sorted by key.
    const ReconcilePlan plan = PlanReconcile(rows, children, node ? AddOrder::Sorted : AddOrder::Listing);
    DeleteQuietly([&] {
        for (auto row = plan.remove.rbegin(); row != plan.remove.rend(); ++row)
            DeleteNode(ChildAt(Tree, node, int(*row)));
    });
    for (size_t entry : plan.add)
        AddItem(MakeUrl(children[entry]), node);
    if (node)
        node->setChildIndicatorPolicy(
            node->childCount() ? QTreeWidgetItem::ShowIndicator : QTreeWidgetItem::DontShowIndicator);
}

void TMediaTree::AddItem(const ApiRef<UrlApi>& url, QTreeWidgetItem* parent)
{
    if (!url || TextOf(url.Get()).empty()) {
        LUMO_ASSERT(false);
        return;
    }
    // The node exists before its item, which points at it for good; it joins the tree only
    // when the item passes.
    auto node = std::make_unique<QTreeWidgetItem>();
    auto treeItem = std::make_unique<MediaTreeItem>(url, this, m_queue, node.get());
    LUMO_ASSERT(treeItem);
    if (treeItem->IsContainer() && PassesFolderFilter(*treeItem)) {
        const std::string title = treeItem->GetTitle();
        if (!title.empty()) {
            node->setText(0, QString::fromStdString(title));
            node->setChildIndicatorPolicy(OffersChildren(parent, url.Get()) ? QTreeWidgetItem::ShowIndicator
                                                                            : QTreeWidgetItem::DontShowIndicator);
            QTreeWidgetItem* added = node.get();
            m_items.emplace(added, std::move(treeItem));
            if (parent)
                parent->addChild(node.release());
            else
                Tree->addTopLevelItem(node.release());
            SetIcon(added, false);
        }
    }
    if (parent && !parent->isExpanded()) {
        m_programmaticExpand = true;
        parent->setExpanded(true);
        m_programmaticExpand = false;
    }
}

void TMediaTree::RemoveItem(UrlApi* url, QTreeWidgetItem* treeNode)
{
    LUMO_ASSERT(treeNode);
    if (!treeNode)
        return;
    for (int index = 0; index < treeNode->childCount(); ++index) {
        QTreeWidgetItem* child = treeNode->child(index);
        MyMediaItem* item = ItemOfNode(child);
        if (item && SameItem(item->Url().Get(), url)) {
            DeleteQuietly([&] { DeleteNode(child); });
            return;
        }
    }
}

void TMediaTree::DeleteNode(QTreeWidgetItem* node)
{
    // Out of the tree first, so selection signals never see a node whose item is gone.
    if (QTreeWidgetItem* parent = node->parent())
        parent->removeChild(node);
    else
        Tree->takeTopLevelItem(Tree->indexOfTopLevelItem(node));
    std::vector<QTreeWidgetItem*> subtree{node};
    for (size_t next = 0; next < subtree.size(); ++next) {
        for (int index = 0; index < subtree[next]->childCount(); ++index)
            subtree.push_back(subtree[next]->child(index));
    }
    for (QTreeWidgetItem* each : subtree) {
        if (m_items.erase(each) == 0)
            Guarded([] { LUMO_ASSERT(false); });
    }
    delete node;
}

void TMediaTree::DeleteQuietly(const std::function<void()>& deletion)
{
    MyMediaItem* selected = SelectedItem();
    const ApiRef<UrlApi> before = selected ? selected->Url() : ApiRef<UrlApi>();
    {
        // Qt hands the selection of a deleted node to a neighbour, which may go next.
        const QSignalBlocker quiet(Tree);
        deletion();
    }
    selected = SelectedItem();
    if (!SameItem(before.Get(), selected ? selected->Url().Get() : nullptr))
        TreeChange();
}

void TMediaTree::DeleteChildren(QTreeWidgetItem* node)
{
    while (node->childCount())
        DeleteNode(node->child(node->childCount() - 1));
}

int TMediaTree::GetIconIndex(MediaItem& item, bool open)
{
    ItemIconList* list = nullptr;
    int index = -1;
    if (!GetItemIcon(item, c_ItemIconSmall | (open ? c_ItemIconOpen : 0), list, index))
        return -1;
    if (!m_images)
        m_images = list;
    else
        LUMO_ASSERT(m_images == list);
    return index;
}

void TMediaTree::SetIcon(QTreeWidgetItem* node, bool open)
{
    MyMediaItem* item = ItemOfNode(node);
    if (!item)
        return;
    const int index = GetIconIndex(item->Item(), open);
    node->setIcon(0, m_images && index >= 0 ? m_images->Icon(index) : QIcon());
}

bool TMediaTree::PassesFolderFilter(MyMediaItem& item)
{
    const std::string type = item.Property("SpecialFolderType");
    return type.empty() || (type == "music") == m_music;
}

QTreeWidgetItem* TMediaTree::SelectedNode() const
{
    const QList<QTreeWidgetItem*> selected = Tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

bool TMediaTree::IsKnownNode(QTreeWidgetItem* node) const
{
    return m_items.count(node) != 0;
}

// A listing may lead back to a container open above it (a playlist listing one that lists it),
// and through linked folders each way back has a path of its own: such a node, or one nested
// too deep, is shown but not opened.
bool TMediaTree::OffersChildren(QTreeWidgetItem* parent, UrlApi* url)
{
    int level = 1;
    for (QTreeWidgetItem* above = parent; above; above = above->parent()) {
        ++level;
        MyMediaItem* item = ItemOfNode(above);
        if (item && SameItem(item->Url().Get(), url))
            return false;
    }
    return level < c_MaxNesting;
}

void TMediaTree::TreeExpanded(QTreeWidgetItem* node)
{
    MyMediaItem* item = ItemOfNode(node);
    if (!item)
        return;
    if (m_programmaticExpand) {
        if (node->childCount())
            SetIcon(node, true);
        return;
    }
    if (!OffersChildren(node->parent(), item->Url().Get()))
        return;
    // Qt reports the expansion after the fact, so the open icon is set once the children came.
    item->Subscribe();
    item->StartEnumeration();
    if (m_idle)
        WaitForEnumeration(*item, m_idle);
    if (IsKnownNode(node) && node->childCount())
        SetIcon(node, true);
}

void TMediaTree::TreeCollapsed(QTreeWidgetItem* node)
{
    MyMediaItem* item = ItemOfNode(node);
    if (!item) {
        LUMO_ASSERT(false);
        return;
    }
    SetIcon(node, false);
    item->Unsubscribe();
    {
        // A selected child would hand the selection from sibling to sibling as each is deleted,
        // and the pane would be told about every one: the selection moves up first, quietly,
        // and the pane hears once below.
        const QSignalBlocker quiet(Tree);
        if (IsBelow(SelectedNode(), node))
            Tree->setCurrentItem(node);
        const bool updates = Tree->updatesEnabled();
        Tree->setUpdatesEnabled(false);
        DeleteChildren(node);
        Tree->setUpdatesEnabled(updates);
    }
    if (OffersChildren(node->parent(), item->Url().Get()))
        node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    TreeChange();
}

void TMediaTree::TreeChange()
{
    QTreeWidgetItem* node = SelectedNode();
    MyMediaItem* item = ItemOfNode(node);
    if (item && item->Url() && m_itemsWindow)
        QCoreApplication::postEvent(m_itemsWindow, new ShowContainerEvent(item->Url()));
}

void TMediaTree::ExpandActionExecute()
{
    if (QTreeWidgetItem* node = SelectedNode())
        node->setExpanded(!node->isExpanded());
}

void TMediaTree::PropertiesActionExecute()
{
    MyMediaItem* item = SelectedItem();
    if (item && item->Url() && !TextOf(item->Url().Get()).empty() && item->IsContainer())
        TContainerProps(this, *item).exec();
}

void TMediaTree::ShowPopup(const QPoint& position)
{
    UpdateActions();
    MediaTreePopupMenu->popup(Tree->viewport()->mapToGlobal(position));
}
