// The folder tree over a real host: listings merged into nodes, the folder filter of each page,
// opening and closing nodes, and what selection and the mouse tell the right pane.
#include <string>
#include <vector>

#include <QApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeWidgetItemIterator>

#include "PickerTestSupport.h"
#include "picker/MediaItemDragObj.h"
#include "picker/MediaTreeForm.h"
#include "picker/MyMediaItem.h"
#include "support/WidgetApplication.h"

using namespace LumoApi;

namespace {

constexpr char c_Root[] = "mem://fixture/root";
constexpr char c_Album[] = "mem://fixture/root/Album.2003";
constexpr char c_Container[] = "x-container/mem";

// Widgets need a QApplication, made before anything asks for a plain one.
// The tree of a music page; the fixture's module is not the music module.
class MusicTree : public TMediaTree {
public:
    using TMediaTree::TMediaTree;
    void MakeMusic() { m_music = true; }
};

// Stands in for the right pane and keeps the keys of what it was told to show.
class ItemsWindow : public QObject {
public:
    std::vector<std::string> shown;

    bool event(QEvent* event) override
    {
        if (event->type() != ShowContainerEvent::c_Type)
            return QObject::event(event);
        shown.push_back(static_cast<ShowContainerEvent*>(event)->Container()->GetText());
        return true;
    }
};

class MediaTreeTest : public testing::Test {
protected:
    MediaTreeTest() { WidgetApplication(); }

    template <class Function>
    Function Fixture(const char* name)
    {
        Function function = m_folder.MediaFunction<Function>(name);
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    void AddFolder(const std::string& parent, const std::string& child)
    {
        Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
            parent.c_str(), child.c_str(), c_Container, 0);
    }

    int Subscriptions(const char* container)
    {
        return Fixture<int (*)(const char*)>("Fixture_Subscriptions")(container);
    }

    template <class Tree = TMediaTree>
    std::unique_ptr<Tree> MakeTree()
    {
        auto tree = std::make_unique<Tree>(
            nullptr, nullptr, m_host.MediaClasses().ById("FixtureMedia"), m_queue, [this] { return Idle(); });
        m_tree = tree.get();
        return tree;
    }

    // What the main window's idle processing does for this page.
    bool Idle()
    {
        m_tree->Poll();
        return m_queue.DeliverOne();
    }

    // Runs idle processing until no listing is running and every record was applied.
    bool Settle(TMediaTree& tree)
    {
        return WaitUntil([&] {
            while (!Idle()) { }
            QCoreApplication::processEvents();
            if (tree.ItemOfNode(nullptr)->HasEnumeration())
                return false;
            for (QTreeWidgetItemIterator it(tree.Tree); *it; ++it) {
                if (tree.ItemOfNode(*it)->HasEnumeration())
                    return false;
            }
            return m_queue.Count() == 0;
        });
    }

    static std::vector<std::string> Keys(TMediaTree& tree, QTreeWidgetItem* node)
    {
        std::vector<std::string> keys;
        const int count = node ? node->childCount() : tree.Tree->topLevelItemCount();
        for (int index = 0; index < count; ++index)
            keys.push_back(
                tree.ItemOfNode(node ? node->child(index) : tree.Tree->topLevelItem(index))->Url()->GetText());
        return keys;
    }

    static std::vector<QTreeWidgetItem*> TopNodes(TMediaTree& tree)
    {
        std::vector<QTreeWidgetItem*> nodes;
        for (int index = 0; index < tree.Tree->topLevelItemCount(); ++index)
            nodes.push_back(tree.Tree->topLevelItem(index));
        return nodes;
    }

    // Delivers a root listing as the update queue would.
    static void SendRootListing(TMediaTree& tree, ChildList children)
    {
        QueuedEvent event(
            std::make_unique<UpdateInfo>(Enumerated, MemUrl(c_Root), std::make_unique<ChildList>(std::move(children))));
        QCoreApplication::sendEvent(&tree, &event);
    }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    UpdateQueue m_queue;
    TMediaTree* m_tree = nullptr;
};

} // namespace

TEST_F(MediaTreeTest, RootKeepsListingOrderAndShowsOnlyTitledContainers)
{
    AddFolder(c_Root, "mem://fixture/root/zeta");
    AddFolder(c_Root, "mem://fixture/root/Alpha");
    // A folder whose file name, and so its title, is empty.
    AddFolder(c_Root, "mem://fixture/root/blank/");
    auto tree = MakeTree();
    tree->Initialize();
    EXPECT_EQ(tree->Tree->topLevelItemCount(), 0) << "nothing before Poll collects the listing";
    ASSERT_TRUE(Settle(*tree));

    // The song and the photo of the root are no containers.
    EXPECT_EQ(Keys(*tree, nullptr),
        (std::vector<std::string>{c_Album, "mem://fixture/root/zeta", "mem://fixture/root/Alpha"}));
    EXPECT_EQ(tree->Tree->topLevelItem(1)->text(0), "zeta");
    EXPECT_EQ(tree->Tree->topLevelItem(1)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(Subscriptions(c_Root), 0) << "the root is never subscribed";
}

TEST_F(MediaTreeTest, MergeDeletesMissingChildrenAndLeavesEqualListingsAlone)
{
    AddFolder(c_Root, "mem://fixture/root/B");
    AddFolder(c_Root, "mem://fixture/root/C");
    AddFolder("mem://fixture/other", "mem://fixture/root/D");
    auto tree = MakeTree();
    tree->Initialize();
    ASSERT_TRUE(Settle(*tree));
    ASSERT_EQ(tree->Tree->topLevelItemCount(), 3);
    QTreeWidgetItem* c = tree->Tree->topLevelItem(2);

    // The first two are gone: the walk goes on past a deleted node; keys match in any case.
    SendRootListing(*tree, {"mem://fixture/root/D", "MEM://FIXTURE/ROOT/c"});
    EXPECT_EQ(Keys(*tree, nullptr), (std::vector<std::string>{"mem://fixture/root/C", "mem://fixture/root/D"}));
    EXPECT_EQ(tree->Tree->topLevelItem(0), c);

    const std::vector<QTreeWidgetItem*> before = TopNodes(*tree);
    SendRootListing(*tree, {"mem://fixture/root/C", "mem://fixture/root/D"});
    EXPECT_EQ(TopNodes(*tree), before);
}

TEST_F(MediaTreeTest, OpeningListsSortedByKeyAndClosingForgets)
{
    for (const char* name : {"b", "A", "C", "Empty"})
        AddFolder(c_Album, std::string(c_Album) + "/" + name);
    auto tree = MakeTree();
    tree->Initialize();
    ASSERT_TRUE(Settle(*tree));
    QTreeWidgetItem* album = tree->Tree->topLevelItem(0);

    album->setExpanded(true);
    ASSERT_TRUE(Settle(*tree));
    // Sorted by key without regard to case; the tracks are no containers.
    const std::string prefix = std::string(c_Album) + "/";
    EXPECT_EQ(
        Keys(*tree, album), (std::vector<std::string>{prefix + "A", prefix + "b", prefix + "C", prefix + "Empty"}));
    EXPECT_EQ(Subscriptions(c_Album), 1);

    QTreeWidgetItem* empty = album->child(3);
    empty->setExpanded(true);
    ASSERT_TRUE(Settle(*tree));
    EXPECT_EQ(empty->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);

    album->setExpanded(false);
    EXPECT_EQ(album->childCount(), 0);
    EXPECT_EQ(album->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(Subscriptions(c_Album), 0);
    EXPECT_EQ(Subscriptions((prefix + "Empty").c_str()), 0) << "a closed node's children are gone with their items";

    // Not subscribed: this addition is only seen by listing again.
    AddFolder(c_Album, prefix + "New");
    album->setExpanded(true);
    ASSERT_TRUE(Settle(*tree));
    EXPECT_EQ(album->childCount(), 5);
    EXPECT_EQ(tree->ItemOfNode(album->child(4))->Url()->GetText(), prefix + "New");
    EXPECT_EQ(Subscriptions(c_Album), 1);
}

// A playlist listing one that lists it back, through linked folders under a new path each
// time, nested without limit until the system refused the path.
TEST_F(MediaTreeTest, NodesOpenNeitherIntoThemselvesNorWithoutLimit)
{
    AddFolder(c_Album, c_Album);
    std::string key = std::string(c_Album) + "/deeper";
    AddFolder(c_Album, key);
    for (int level = 3; level <= 40; ++level) {
        AddFolder(key, key + "/deeper");
        key += "/deeper";
    }
    auto tree = MakeTree();
    tree->Initialize();
    ASSERT_TRUE(Settle(*tree));
    QTreeWidgetItem* album = tree->Tree->topLevelItem(0);
    album->setExpanded(true);
    ASSERT_TRUE(Settle(*tree));
    ASSERT_EQ(Keys(*tree, album), (std::vector<std::string>{c_Album, std::string(c_Album) + "/deeper"}));

    QTreeWidgetItem* itself = album->child(0);
    EXPECT_EQ(itself->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    itself->setExpanded(true);
    ASSERT_TRUE(Settle(*tree));
    EXPECT_EQ(itself->childCount(), 0);
    EXPECT_EQ(Subscriptions(c_Album), 1) << "only the node above is open";

    int level = 2;
    QTreeWidgetItem* node = album->child(1);
    while (node->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator) {
        node->setExpanded(true);
        ASSERT_TRUE(Settle(*tree));
        ASSERT_EQ(node->childCount(), 1) << "level " << level;
        node = node->child(0);
        ++level;
    }
    EXPECT_EQ(level, 32);
    node->setExpanded(true);
    ASSERT_TRUE(Settle(*tree));
    EXPECT_EQ(node->childCount(), 0);
    node->setExpanded(false);
    EXPECT_EQ(node->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
}

TEST_F(MediaTreeTest, EachPageShowsItsOwnSpecialFolders)
{
    auto setProperty = Fixture<void (*)(const char*, const char*, const char*)>("Fixture_SetProperty");
    AddFolder(c_Root, "mem://fixture/root/Tunes");
    AddFolder(c_Root, "mem://fixture/root/Pics");
    setProperty("mem://fixture/root/Tunes", "SpecialFolderType", "music");
    setProperty("mem://fixture/root/Pics", "SpecialFolderType", "pictures");

    auto photos = MakeTree();
    photos->Initialize();
    ASSERT_TRUE(Settle(*photos));
    EXPECT_FALSE(photos->IsMusic());
    EXPECT_EQ(Keys(*photos, nullptr), (std::vector<std::string>{c_Album, "mem://fixture/root/Pics"}));
    photos.reset();

    auto music = MakeTree<MusicTree>();
    music->MakeMusic();
    music->Initialize();
    ASSERT_TRUE(Settle(*music));
    EXPECT_EQ(Keys(*music, nullptr), (std::vector<std::string>{c_Album, "mem://fixture/root/Tunes"}));
}

TEST_F(MediaTreeTest, SelectionTellsTheItemsWindowAndOnlyAPlainRightClickSelects)
{
    AddFolder(c_Root, "mem://fixture/root/Second");
    auto tree = MakeTree();
    ItemsWindow window;
    tree->SetItemsWindow(&window);
    tree->Initialize();
    ASSERT_TRUE(Settle(*tree));
    tree->resize(300, 300);
    tree->show();
    QTreeWidgetItem* first = tree->Tree->topLevelItem(0);
    QTreeWidgetItem* second = tree->Tree->topLevelItem(1);

    EXPECT_EQ(tree->SelectedItem(), nullptr);
    tree->Tree->setCurrentItem(first);
    QCoreApplication::processEvents();
    ASSERT_EQ(window.shown.size(), 1u);
    EXPECT_EQ(window.shown[0], tree->ItemOfNode(first)->Url()->GetText());
    EXPECT_EQ(tree->SelectedItem(), tree->ItemOfNode(first));

    auto rightPress = [&](Qt::KeyboardModifiers modifiers) {
        const QPointF at = tree->Tree->visualItemRect(second).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, tree->Tree->viewport()->mapToGlobal(at), Qt::RightButton,
            Qt::RightButton, modifiers);
        QCoreApplication::sendEvent(tree->Tree->viewport(), &press);
        QCoreApplication::processEvents();
    };
    rightPress(Qt::ControlModifier);
    EXPECT_EQ(tree->SelectedItem(), tree->ItemOfNode(first));
    EXPECT_EQ(window.shown.size(), 1u);

    rightPress(Qt::NoModifier);
    EXPECT_EQ(tree->SelectedItem(), tree->ItemOfNode(second));
    ASSERT_EQ(window.shown.size(), 2u);
    EXPECT_EQ(window.shown[1], tree->ItemOfNode(second)->Url()->GetText());
}

TEST_F(MediaTreeTest, ClosingANodeMovesTheSelectionUpAndTellsThePaneOnce)
{
    const std::string prefix = std::string(c_Album) + "/";
    for (const char* name : {"A", "B", "C"})
        AddFolder(c_Album, prefix + name);
    auto tree = MakeTree();
    ItemsWindow window;
    tree->SetItemsWindow(&window);
    tree->Initialize();
    ASSERT_TRUE(Settle(*tree));
    QTreeWidgetItem* album = tree->Tree->topLevelItem(0);
    album->setExpanded(true);
    ASSERT_TRUE(Settle(*tree));
    ASSERT_EQ(album->childCount(), 3);
    tree->Tree->setCurrentItem(album->child(2));
    QCoreApplication::processEvents();
    window.shown.clear();

    album->setExpanded(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->Tree->currentItem(), album);
    EXPECT_EQ(window.shown, std::vector<std::string>{c_Album});

    // A listing without the selected node: the pane hears where the selection went, once.
    AddFolder(c_Root, "mem://fixture/root/Other");
    SendRootListing(*tree, {c_Album, "mem://fixture/root/Other"});
    tree->Tree->setCurrentItem(tree->Tree->topLevelItem(1));
    QCoreApplication::processEvents();
    window.shown.clear();
    ASSERT_EQ(tree->Tree->topLevelItemCount(), 2);
    SendRootListing(*tree, {c_Album});
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->Tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->Tree->currentItem(), album);
    EXPECT_EQ(window.shown.size(), 1u);
}

TEST_F(MediaTreeTest, ADragCarriesItemsThatOutliveTheNodeItCameFrom)
{
    const std::string inner = std::string(c_Album) + "/Inner";
    AddFolder(c_Album, inner);
    auto tree = MakeTree();
    tree->Initialize();
    ASSERT_TRUE(Settle(*tree));
    QTreeWidgetItem* album = tree->Tree->topLevelItem(0);
    album->setExpanded(true);
    ASSERT_TRUE(Settle(*tree));
    tree->Tree->setCurrentItem(album->child(0));

    std::unique_ptr<QMimeData> data(tree->Tree->model()->mimeData({tree->Tree->currentIndex()}));
    const MediaItemDragObj* drag = MediaItemDragObj::From(data.get());
    ASSERT_NE(drag, nullptr);
    // The drag's own event loop may close the folder (a timer, a change on disk) before the drop.
    album->setExpanded(false);
    ASSERT_EQ(drag->Items().size(), 1);
    EXPECT_EQ(drag->Items()[0]->Url()->GetText(), inner);
    EXPECT_TRUE(drag->Items()[0]->IsContainer());
}

TEST_F(MediaTreeTest, SelectChildOpensTheSelectionAndNotificationsKeepItCurrent)
{
    const std::string prefix = std::string(c_Album) + "/";
    AddFolder(c_Album, prefix + "Inner");
    auto tree = MakeTree();
    tree->Initialize();
    ASSERT_TRUE(Settle(*tree));
    QTreeWidgetItem* album = tree->Tree->topLevelItem(0);

    EXPECT_FALSE(tree->SelectChild(MemUrl((prefix + "Inner").c_str()).Get())) << "nothing selected";
    tree->UpdateActions();
    EXPECT_FALSE(tree->ExpandAction->isEnabled());
    EXPECT_FALSE(tree->PropertiesAction->isEnabled());

    tree->Tree->setCurrentItem(album);
    tree->UpdateActions();
    EXPECT_EQ(tree->ExpandAction->text(), "&Expand");
    EXPECT_FALSE(tree->SelectChild(MemUrl((prefix + "Missing").c_str()).Get()));
    EXPECT_TRUE(album->isExpanded()) << "opened while looking";
    tree->Tree->setCurrentItem(album);
    tree->UpdateActions();
    EXPECT_EQ(tree->ExpandAction->text(), "&Collapse");
    ASSERT_TRUE(tree->SelectChild(MemUrl((prefix + "Inner").c_str()).Get()));
    EXPECT_EQ(tree->Tree->currentItem(), album->child(0));

    // The open node hears of additions and removals while it stays open.
    AddFolder(c_Album, prefix + "Added");
    ASSERT_TRUE(Settle(*tree));
    ASSERT_EQ(album->childCount(), 2);
    EXPECT_EQ(tree->ItemOfNode(album->child(1))->Url()->GetText(), prefix + "Added");
    Fixture<void (*)(const char*, int, const char*, int)>("Fixture_Notify")(c_Album, 1, (prefix + "Inner").c_str(), 1);
    ASSERT_TRUE(Settle(*tree));
    EXPECT_EQ(Keys(*tree, album), std::vector<std::string>{prefix + "Added"});
}
