// The song list on a real music page over a real host: rows kept from the shown container's
// records, the notice, the tip cache, the page's questions, the drag and the double click.
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QMenu>
#include <QTreeWidget>

#include "PickerTestSupport.h"
#include "host/MediaClassGroup.h"
#include "picker/MediaItemDragObj.h"
#include "picker/MediaTreeForm.h"
#include "picker/MusicItemsForm.h"
#include "picker/MusicPageForm.h"
#include "picker/MyMediaItem.h"
#include "platform/MessageBox.h"
#include "support/WidgetApplication.h"

using namespace LumoApi;

namespace {

constexpr char c_Root[] = "mem://fixture/root";
constexpr char c_Album[] = "mem://fixture/root/Album.2003";
constexpr char c_Broken[] = "x-application/lumo-broken";

struct ScriptedBoxes {
    static inline std::vector<std::string> texts;

    static int Show(const char* text, const char*, uint32_t)
    {
        texts.push_back(text);
        return Platform::IDOK;
    }
};

// Counts the song tips the page is asked to build.
class CountingPage : public MusicPageForm {
public:
    using MusicPageForm::MusicPageForm;
    int songTips = 0;

    std::string SongSummary(MyMediaItem& item) override
    {
        ++songTips;
        return "song " + item.GetTitle();
    }
    std::string ContainerSummary(MyMediaItem& item) override { return "folder " + item.GetTitle(); }
};

class MusicItemsTest : public testing::Test {
protected:
    MusicItemsTest()
    {
        WidgetApplication();
        ScriptedBoxes::texts.clear();
        m_previousBox = Platform::SetMessageBoxHandler(&ScriptedBoxes::Show);
        m_page = std::make_unique<CountingPage>(
            nullptr, m_host.MediaClasses().ById("FixtureMedia"), m_queue, [this] { return Idle(); });
        m_view = qobject_cast<TMusicItems*>(m_page->ItemsView);
    }
    ~MusicItemsTest() override
    {
        m_page.reset();
        Platform::SetMessageBoxHandler(m_previousBox);
    }

    bool Idle()
    {
        m_page->Idle();
        return m_queue.DeliverOne();
    }

    // Runs the idle processing until done holds with nothing left queued.
    bool Settle(const std::function<bool()>& done)
    {
        return WaitUntil([&] {
            while (!Idle()) { }
            QCoreApplication::processEvents();
            return done() && m_queue.Count() == 0;
        });
    }

    // Lists the tree's top level and shows the root (what the tree names with no selection).
    void ShowRoot(int rows)
    {
        m_page->Initialize();
        ASSERT_TRUE(Settle([&] { return m_page->MediaTree->Tree->topLevelItemCount() > 0; }));
        ShowContainerEvent show(m_page->MediaTree->ItemOfNode(nullptr)->Url());
        QCoreApplication::sendEvent(m_view, &show);
        ASSERT_TRUE(Settle([&] { return m_view->List->count() == rows; }));
    }

    void AddChild(const std::string& parent, const std::string& child, const char* contentType, int onThread = 0)
    {
        m_folder.MediaFunction<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
            parent.c_str(), child.c_str(), contentType, onThread);
    }

    void Send(uint8_t kind, const std::string& url, const ChildList* children = nullptr)
    {
        QueuedEvent event(std::make_unique<UpdateInfo>(
            kind, MemUrl(url.c_str()), children ? std::make_unique<ChildList>(*children) : nullptr));
        QCoreApplication::sendEvent(m_view, &event);
    }

    std::vector<std::string> Captions()
    {
        std::vector<std::string> captions;
        for (int row = 0; row < m_view->List->count(); ++row)
            captions.push_back(m_view->List->item(row)->text().toStdString());
        return captions;
    }

    void SelectNode(const char* title)
    {
        QTreeWidget* tree = m_page->MediaTree->Tree;
        const QList<QTreeWidgetItem*> found = tree->findItems(title, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << title;
        tree->setCurrentItem(found.front());
    }

    static std::string Key(MyMediaItem* item) { return item ? item->Url()->GetText() : "(none)"; }
    static std::string Root(const std::string& leaf) { return std::string(c_Root) + "/" + leaf; }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    UpdateQueue m_queue;
    std::unique_ptr<CountingPage> m_page;
    TMusicItems* m_view = nullptr;
    Platform::MessageBoxHandler m_previousBox = nullptr;
};

} // namespace

TEST_F(MusicItemsTest, RowsFollowTheShownContainersListingAndNotifications)
{
    ASSERT_NE(m_view, nullptr) << "the music page shows the song list";
    m_folder.MediaFunction<void (*)(const char*, const char*, const char*)>("Fixture_SetProperty")(
        Root("song1.fxa").c_str(), "SpecialFolderType", "music");
    ShowRoot(3);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Album.2003", "song1", "photo1"})) << "in the listing's order";
    EXPECT_TRUE(m_view->NoItemsPanel->isHidden());
    QListWidgetItem* album = m_view->List->item(0);
    EXPECT_FALSE(m_view->List->item(2)->icon().isNull());

    // Added on a module thread: reaches the list through the container's subscription.
    AddChild(c_Root, Root("song2.fxa"), "audio/x-fixture", 1);
    ASSERT_TRUE(Settle([&] { return m_view->List->count() == 4; }));
    EXPECT_EQ(Captions().back(), "song2");

    const ChildList same{Root("song2.fxa"), Root("song1.fxa"), Root("photo1.fxi"), "MEM://FIXTURE/ROOT/album.2003"};
    Send(Enumerated, c_Root, &same);
    EXPECT_EQ(m_view->List->count(), 4);
    EXPECT_EQ(m_view->List->item(0), album) << "an equal listing leaves the rows alone";
    const ChildList fewer{Root("song1.fxa"), c_Album, Root("song2.fxa")};
    Send(Enumerated, c_Root, &fewer);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Album.2003", "song1", "song2"}));
    EXPECT_EQ(m_view->List->item(0), album);
    // A listing of another container can only be one that was on its way when the view moved on.
    const ChildList none;
    Send(Enumerated, c_Album, &none);
    EXPECT_EQ(m_view->List->count(), 3);

    Send(ChildChanged, Root("song1.fxa"));
    EXPECT_EQ(m_view->List->count(), 3) << "a change of a listed item adds nothing";
    Send(ChildChanged, Root("photo1.fxi"));
    EXPECT_EQ(Captions().back(), "photo1");
    Send(ChildRemoved, Root("song1.fxa"));
    Send(ChildRemoved, Root("missing.fxa"));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Album.2003", "song2", "photo1"}));
    EXPECT_TRUE(ScriptedBoxes::texts.empty());
}

TEST_F(MusicItemsTest, APlaylistKeepsTheOrderOfItsListing)
{
    const std::string mix = Root("Mix.m3u");
    AddChild(c_Root, mix, "x-container/mem");
    for (const char* song : {"zebra.fxa", "apple.fxa", "mango.fxa"})
        AddChild(mix, mix + "/" + song, "audio/x-fixture");
    // Known to the module, not yet in the playlist.
    for (const char* song : {"kiwi.fxa", "banana.fxa"})
        AddChild("mem://fixture/elsewhere", mix + "/" + song, "audio/x-fixture");
    ShowContainerEvent show(MemUrl(mix.c_str()));
    QCoreApplication::sendEvent(m_view, &show);
    ASSERT_TRUE(Settle([&] { return m_view->List->count() == 3; }));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"zebra", "apple", "mango"}));

    // Rows that stay keep their place; new entries follow in the listing's order.
    const ChildList relisted{mix + "/kiwi.fxa", mix + "/zebra.fxa", mix + "/banana.fxa", mix + "/mango.fxa"};
    Send(Enumerated, mix, &relisted);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"zebra", "mango", "kiwi", "banana"}));
}

TEST_F(MusicItemsTest, TheNoticeNamesAnEmptyContainerOnceItsListingCame)
{
    AddChild(c_Root, Root("Empty"), "x-container/mem");
    m_page->show();
    EXPECT_FALSE(m_view->NoItemsPanel->isHidden());
    EXPECT_EQ(m_view->NoItemsPanel->text(), "") << "no container is shown yet";
    ShowRoot(4);
    SelectNode("Empty");
    ASSERT_TRUE(Settle([&] { return !m_view->NoItemsPanel->isHidden(); }));
    EXPECT_EQ(m_view->NoItemsPanel->text(), "'Empty' does not contain any publishable music content.");

    // Until the album's listing is collected, the old container's notice must not stay up.
    SelectNode("Album.2003");
    QCoreApplication::processEvents();
    EXPECT_EQ(m_view->ContainerItem()->GetTitle(), "Album.2003");
    EXPECT_TRUE(m_view->NoItemsPanel->isHidden());
    ASSERT_TRUE(Settle([&] { return m_view->List->count() == 2; }));
    Send(ChildRemoved, std::string(c_Album) + "/track01.fxa");
    EXPECT_TRUE(m_view->NoItemsPanel->isHidden());
    Send(ChildRemoved, std::string(c_Album) + "/track02.fxa");
    EXPECT_FALSE(m_view->NoItemsPanel->isHidden());
    EXPECT_EQ(m_view->NoItemsPanel->text(), "'Album.2003' does not contain any publishable music content.");
}

TEST_F(MusicItemsTest, ATipIsBuiltOnceForTheSameItem)
{
    AddChild(c_Root, Root("gone.fxa"), c_Broken);
    ShowRoot(4);
    ASSERT_EQ(Captions(), (std::vector<std::string>{"Album.2003", "song1", "photo1", "gone"}));
    EXPECT_EQ(m_view->InfoTip(1).toStdString(), "song song1");
    EXPECT_EQ(m_view->InfoTip(1).toStdString(), "song song1");
    EXPECT_EQ(m_page->songTips, 1);
    EXPECT_EQ(m_view->InfoTip(2).toStdString(), "");
    EXPECT_EQ(m_view->InfoTip(1).toStdString(), "song song1");
    EXPECT_EQ(m_page->songTips, 2) << "moving away and back builds the tip again";
    EXPECT_EQ(m_view->InfoTip(3).toStdString(), Root("gone.fxa"));
    EXPECT_EQ(m_view->InfoTip(0).toStdString(), "folder Album.2003");
}

TEST_F(MusicItemsTest, AnswersThePageAndDragsItemsThatOutliveTheirRows)
{
    QFocusEvent focus(QEvent::FocusIn);
    QCoreApplication::sendEvent(m_view->List, &focus);
    EXPECT_TRUE(m_view->List->selectedItems().isEmpty());
    ShowRoot(3);
    CurrentItemEvent current;
    QCoreApplication::sendEvent(m_view, &current);
    EXPECT_EQ(current.m_item, nullptr);
    QCoreApplication::sendEvent(m_view->List, &focus);
    QCoreApplication::sendEvent(m_view, &current);
    EXPECT_EQ(Key(current.m_item), c_Album) << "entering the list selects its first row";

    m_page->ActivePanel = TMediaPage::apItems;
    m_page->SelectAllAction->trigger();
    QList<MyMediaItem*> selected;
    m_page->SelectedItems(selected);
    ASSERT_EQ(selected.size(), 3);
    EXPECT_EQ(Key(selected[2]), Root("photo1.fxi"));

    std::unique_ptr<QMimeData> data(m_view->List->mimeData({}));
    const MediaItemDragObj* drag = MediaItemDragObj::From(data.get());
    ASSERT_NE(drag, nullptr);
    const ChildList none;
    Send(Enumerated, c_Root, &none);
    EXPECT_EQ(m_view->List->count(), 0);
    ASSERT_EQ(drag->Items().size(), 3);
    EXPECT_EQ(Key(drag->Items()[1]), Root("song1.fxa"));

    m_page->UpdateActions();
    EXPECT_EQ(m_view->MusicItemsPopupMenu->actions(),
        (QList<QAction*>{m_page->PublishAction, m_view->MusicItemsPopupMenu->actions()[1], m_view->Play1,
            m_page->PropertiesAction}));
    EXPECT_FALSE(m_view->Play1->isEnabled()) << "whatever the selection";
}

TEST_F(MusicItemsTest, DoubleClickOpensAFolderInTheTreeOrAsksForProperties)
{
    AddChild(c_Album, std::string(c_Album) + "/Disc2", "x-container/mem");
    AddChild(c_Album, std::string(c_Album) + "/gone.fxa", c_Broken);
    ShowRoot(3);
    SelectNode("Album.2003");
    ASSERT_TRUE(Settle([&] { return m_view->List->count() == 4; }));
    ASSERT_EQ(Captions(), (std::vector<std::string>{"track01", "track02", "Disc2", "gone"}));

    auto doubleClick = [&](int row) {
        m_view->List->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        emit m_view->List->itemDoubleClicked(m_view->List->item(row));
    };
    m_page->ActivePanel = TMediaPage::apNone;
    doubleClick(3);
    EXPECT_TRUE(ScriptedBoxes::texts.empty()) << "no pane has the focus: properties stay disabled";
    m_page->ActivePanel = TMediaPage::apItems;
    doubleClick(3);
    ASSERT_EQ(ScriptedBoxes::texts.size(), 1u);
    EXPECT_EQ(ScriptedBoxes::texts[0].rfind("The published item was not found.", 0), 0u);

    doubleClick(2);
    EXPECT_EQ(Key(m_page->MediaTree->SelectedItem()), std::string(c_Album) + "/Disc2");
    ASSERT_TRUE(Settle([&] { return !m_view->NoItemsPanel->isHidden(); }));
    EXPECT_EQ(m_view->NoItemsPanel->text(), "'Disc2' does not contain any publishable music content.");
}

// The status bar names the container whose listing is still coming, and only that one.
TEST_F(MusicItemsTest, TellsTheStatusBarWhichListingIsStillComing)
{
    auto listing = [&] {
        ItemsStatusEvent query;
        QCoreApplication::sendEvent(m_view, &query);
        EXPECT_EQ(query.m_thumbnails, 0) << "a song list makes no pictures";
        return query.m_listing.toStdString();
    };
    EXPECT_EQ(listing(), "");
    ShowRoot(3);
    EXPECT_EQ(listing(), "") << "the listing is in";

    MyMediaItem album(MemUrl(c_Album), nullptr, m_queue);
    ShowContainerEvent show(album.Url());
    QCoreApplication::sendEvent(m_view, &show);
    EXPECT_EQ(listing(), album.GetTitle());
    EXPECT_FALSE(album.GetTitle().empty());
    ASSERT_TRUE(Settle([&] { return listing().empty(); }));
}
