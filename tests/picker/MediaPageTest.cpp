// The media page over a real host: the per-item dialogs of a publish, the undo stack, the
// publish check cache, the clipboard bytes of a copy, and properties of a broken item.
#include <memory>
#include <string>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSplitter>
#include <QTreeWidget>

#include "PickerTestSupport.h"
#include "host/MediaClassGroup.h"
#include "picker/MediaPageForm.h"
#include "picker/MediaTreeForm.h"
#include "picker/MyMediaItem.h"
#include "picker/PublishedListForm.h"
#include "platform/MessageBox.h"
#include "support/WidgetApplication.h"

using namespace LumoApi;

namespace {

constexpr char c_Published[] = "mem://fixture/published";
constexpr char c_Song[] = "mem://fixture/root/song1.fxa";
constexpr char c_Photo[] = "mem://fixture/root/photo1.fxi";
constexpr char c_Album[] = "mem://fixture/root/Album.2003";

// Answers every message box from a script and keeps what was asked.
struct ScriptedBoxes {
    static inline std::vector<std::string> texts;
    static inline std::vector<std::string> captions;
    static inline std::vector<uint32_t> styles;
    static inline std::vector<int> answers;

    static int Show(const char* text, const char* caption, uint32_t style)
    {
        texts.push_back(text);
        captions.push_back(caption);
        styles.push_back(style);
        if (answers.empty())
            return Platform::IDOK;
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
};

// Stands in for the song list: answers the page's selection question with its items.
class ItemsAnswer : public QObject {
public:
    QList<MyMediaItem*> items;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != SelectedItemsEvent::c_Type)
            return false;
        static_cast<SelectedItemsEvent*>(event)->m_items = items;
        return true;
    }
};

class MediaPageTest : public testing::Test {
protected:
    MediaPageTest()
    {
        WidgetApplication();
        ScriptedBoxes::texts.clear();
        ScriptedBoxes::captions.clear();
        ScriptedBoxes::styles.clear();
        ScriptedBoxes::answers.clear();
        m_previousBox = Platform::SetMessageBoxHandler(&ScriptedBoxes::Show);
        m_page = std::make_unique<TMediaPage>(nullptr, Class(), m_queue, [this] { return Idle(); });
    }
    ~MediaPageTest() override
    {
        m_page.reset();
        Platform::SetMessageBoxHandler(m_previousBox);
    }

    void AddChild(const char* parent, const char* child, const char* contentType, int onThread)
    {
        m_folder.MediaFunction<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
            parent, child, contentType, onThread);
    }

    MediaClass& Class() { return m_host.MediaClasses().ById("FixtureMedia"); }

    bool Idle()
    {
        m_page->Idle();
        return m_queue.DeliverOne();
    }

    MyMediaItem* Item(const std::string& key)
    {
        m_items.push_back(std::make_unique<MyMediaItem>(MemUrl(key.c_str()), nullptr, m_queue));
        return m_items.back().get();
    }

    QList<MyMediaItem*> Items(const std::vector<std::string>& keys)
    {
        QList<MyMediaItem*> items;
        for (const std::string& key : keys)
            items.append(Item(key));
        return items;
    }

    bool Published(const std::string& original)
    {
        const std::string leaf = original.substr(original.rfind('/'));
        return Class().CanUnpublish(MemUrl((c_Published + leaf).c_str()).Get());
    }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    UpdateQueue m_queue;
    std::vector<std::unique_ptr<MyMediaItem>> m_items;
    std::unique_ptr<TMediaPage> m_page;
    Platform::MessageBoxHandler m_previousBox = nullptr;
};

} // namespace

TEST_F(MediaPageTest, FailingItemsGetTheirOwnBoxesAndPushNoUndo)
{
    // Known to the module, but not under the root it publishes from.
    AddChild("mem://fixture/elsewhere", "mem://fixture/elsewhere/one", "audio/x-fixture", 0);
    AddChild("mem://fixture/elsewhere", "mem://fixture/elsewhere/two", "audio/x-fixture", 0);
    m_page->PublishItemList(Items({"mem://fixture/elsewhere/one", "mem://fixture/elsewhere/two"}), true);
    ASSERT_EQ(ScriptedBoxes::texts.size(), 2u);
    // The whole item, then the module's reason.
    EXPECT_EQ(ScriptedBoxes::texts[0],
        "'mem://fixture/elsewhere/one' is not publishable as a photos item.\n\nThe data supplied is of the wrong "
        "type.\n\nTo continue publishing the remainder of the selected items, press OK.\nTo stop publishing items, "
        "press CANCEL.");
    EXPECT_EQ(ScriptedBoxes::styles[0], Platform::MB_ICONWARNING | Platform::MB_OKCANCEL);
    EXPECT_EQ(ScriptedBoxes::texts[1],
        "'mem://fixture/elsewhere/two' is not publishable as a photos item.\n\nThe data supplied is of the wrong "
        "type.")
        << "the last item has no more";
    EXPECT_EQ(ScriptedBoxes::styles[1], Platform::MB_ICONWARNING | Platform::MB_OK);
    EXPECT_EQ(ScriptedBoxes::captions[1], "Publish");
    EXPECT_TRUE(m_page->UndoStack().empty());
    EXPECT_EQ(m_page->UndoCaption(), "&Undo");

    // Cancel stops the loop; what was done before stays done and is recorded.
    ScriptedBoxes::texts.clear();
    ScriptedBoxes::answers = {Platform::IDCANCEL};
    m_page->PublishItemList(Items({c_Song, "mem://fixture/elsewhere/one", c_Photo}), true);
    EXPECT_EQ(ScriptedBoxes::texts.size(), 1u);
    EXPECT_TRUE(Published(c_Song));
    EXPECT_FALSE(Published(c_Photo));
    ASSERT_EQ(m_page->UndoStack().size(), 1u);
    EXPECT_EQ(m_page->UndoStack().back(), (TMediaPage::UndoList{{'P', "mem://fixture/published/song1.fxa"}}));

    ScriptedBoxes::texts.clear();
    m_page->UnpublishItemList(Items({c_Photo}), true);
    EXPECT_EQ(ScriptedBoxes::texts,
        (std::vector<std::string>{"'mem://fixture/root/photo1.fxi' cannot be unpublished.\n\nIt is not published."}));
    EXPECT_EQ(ScriptedBoxes::captions.back(), "Unpublish");
    EXPECT_EQ(m_page->UndoStack().size(), 1u);
}

TEST_F(MediaPageTest, UndoReversesTheNewestCommandOnlyAndThenTheOneBefore)
{
    m_page->PublishItemList(Items({c_Song}), true);
    m_page->PublishItemList(Items({c_Album, c_Photo}), true);
    ASSERT_EQ(m_page->UndoStack().size(), 2u);
    EXPECT_EQ(m_page->UndoCaption(), "&Undo Publish");

    m_page->Undo();
    EXPECT_FALSE(Published(c_Album));
    EXPECT_FALSE(Published(c_Photo));
    EXPECT_TRUE(Published(c_Song)) << "only the newest command is undone";
    EXPECT_EQ(m_page->UndoStack().size(), 1u) << "undo records nothing of its own";

    m_page->Undo();
    EXPECT_FALSE(Published(c_Song));
    EXPECT_TRUE(m_page->UndoStack().empty());
    EXPECT_EQ(m_page->UndoCaption(), "&Undo");
    m_page->Undo();
    EXPECT_TRUE(ScriptedBoxes::texts.empty());

    // Undoing an unpublish publishes the reference Unpublish returned.
    m_page->PublishItemList(Items({c_Song}), false);
    EXPECT_TRUE(m_page->UndoStack().empty());
    m_page->UnpublishItemList(Items({"mem://fixture/published/song1.fxa"}), true);
    EXPECT_EQ(m_page->UndoStack().back(), (TMediaPage::UndoList{{'U', c_Song}}));
    EXPECT_EQ(m_page->UndoCaption(), "&Undo Unpublish");
    m_page->Undo();
    EXPECT_TRUE(Published(c_Song));
}

// Linux paths reach 4096 characters: an undo record keeps its whole key.
TEST_F(MediaPageTest, UndoOfAnItemWithA4000CharacterKeyUnpublishesIt)
{
    const std::string song = "mem://fixture/root/" + std::string(1900, 'a') + " and " + std::string(2076, 'b') + ".fxa";
    ASSERT_GE(song.size(), 4000u);
    AddChild("mem://fixture/root", song.c_str(), "audio/x-fixture", 0);
    m_page->PublishItemList(Items({song}), true);
    ASSERT_TRUE(Published(song));
    ASSERT_EQ(m_page->UndoCaption(), "&Undo Publish");
    m_page->Undo();
    EXPECT_FALSE(Published(song));
    EXPECT_TRUE(m_page->UndoStack().empty());

    m_page->PublishItemList(Items({song}), false);
    m_page->UnpublishItemList(Items({c_Published + song.substr(song.rfind('/'))}), true);
    m_page->Undo();
    EXPECT_TRUE(Published(song)) << "an unpublish is undone with the whole key too";
    EXPECT_TRUE(ScriptedBoxes::texts.empty()) << ScriptedBoxes::texts.front();
}

TEST(MediaPageNameTest, TheLogonNameIsCapitalized)
{
    EXPECT_EQ(CapitalizedName("ann"), "Ann");
    EXPECT_EQ(CapitalizedName(""), "");
}

TEST_F(MediaPageTest, OneSelectedItemIsAskedAboutOnceAcrossUpdates)
{
    m_page->Initialize();
    ASSERT_TRUE(WaitUntil([&] {
        while (!Idle()) { }
        return m_page->MediaTree->Tree->topLevelItemCount() > 0;
    }));
    m_page->ActivePanel = TMediaPage::apTree;
    m_page->MediaTree->Tree->setCurrentItem(m_page->MediaTree->Tree->topLevelItem(0));
    ASSERT_EQ(m_page->MediaTree->SelectedItem()->Url()->GetText(), std::string(c_Album));
    m_page->UpdateActions();
    EXPECT_TRUE(m_page->PublishAction->isEnabled());
    EXPECT_TRUE(m_page->FileCopyAction->isEnabled());

    // Once published, the module says no; the page goes on with the answer it keeps.
    Class().Publish(MemUrl(c_Album).Get());
    m_page->UpdateActions();
    EXPECT_TRUE(m_page->PublishAction->isEnabled());

    // Another item is asked afresh.
    m_page->MediaTree->Tree->clearSelection();
    m_page->UpdateActions();
    EXPECT_FALSE(m_page->PublishAction->isEnabled());
    m_page->MediaTree->Tree->setCurrentItem(m_page->MediaTree->Tree->topLevelItem(0));
    ASSERT_NE(m_page->MediaTree->SelectedItem(), nullptr);
    auto items = Items({c_Song});
    ItemsAnswer answer;
    answer.items = items;
    m_page->ItemsView->installEventFilter(&answer);
    m_page->ActivePanel = TMediaPage::apItems;
    m_page->UpdateActions();
    EXPECT_TRUE(m_page->PublishAction->isEnabled());
    m_page->ActivePanel = TMediaPage::apTree;
    m_page->UpdateActions();
    EXPECT_FALSE(m_page->PublishAction->isEnabled()) << "the tree's item was asked again";
    EXPECT_FALSE(m_page->UnpublishAction->isEnabled()) << "unpublishing is for the published list";
    EXPECT_FALSE(m_page->SelectAllAction->isEnabled());
}

// A command runs when the key is pressed, which may be before the idle pass updated it: the
// pane or the selection may have changed since.
TEST_F(MediaPageTest, ACommandChecksItsOwnConditionWhenItRuns)
{
    Class().Publish(MemUrl(c_Song).Get());
    m_page->Initialize();
    ASSERT_TRUE(WaitUntil([&] {
        while (!Idle()) { }
        return m_page->MediaTree->Tree->topLevelItemCount() > 0 && m_page->PublishedList->List->count() == 1;
    }));
    m_page->MediaTree->Tree->setCurrentItem(m_page->MediaTree->Tree->topLevelItem(0));
    m_page->PublishedList->List->setCurrentRow(0);

    m_page->ActivePanel = TMediaPage::apTree;
    m_page->UpdateActions();
    ASSERT_TRUE(m_page->PublishAction->isEnabled());
    ASSERT_TRUE(m_page->FileCopyAction->isEnabled());
    QGuiApplication::clipboard()->setText("kept");
    m_page->ActivePanel = TMediaPage::apPublished;
    m_page->PublishAction->trigger();
    m_page->FileCopyAction->trigger();
    EXPECT_FALSE(Published(c_Album));
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasFormat(c_ClipboardMimeType));

    m_page->UpdateActions();
    ASSERT_TRUE(m_page->UnpublishAction->isEnabled());
    m_page->ActivePanel = TMediaPage::apTree;
    m_page->UnpublishAction->trigger();
    m_page->ClearAction->trigger();
    EXPECT_TRUE(Published(c_Song));

    // The selection emptied by a click since the last update: nothing to publish.
    m_page->UpdateActions();
    ASSERT_TRUE(m_page->PublishAction->isEnabled());
    m_page->MediaTree->Tree->clearSelection();
    m_page->PublishAction->trigger();
    EXPECT_TRUE(m_page->UndoStack().empty());
    EXPECT_TRUE(ScriptedBoxes::texts.empty()) << ScriptedBoxes::texts.front();
}

TEST_F(MediaPageTest, PublishIsOffForASelectionThatIsPublishedAlready)
{
    ItemsAnswer answer;
    answer.items = Items({c_Song, c_Photo});
    m_page->ItemsView->installEventFilter(&answer);
    m_page->ActivePanel = TMediaPage::apItems;
    m_page->UpdateActions();
    ASSERT_TRUE(m_page->PublishAction->isEnabled());
    m_page->PublishAction->trigger();
    ASSERT_TRUE(Published(c_Song) && Published(c_Photo));
    m_page->UpdateActions();
    EXPECT_FALSE(m_page->PublishAction->isEnabled()) << "every selected item is published";
    EXPECT_FALSE(m_page->FileCopyAction->isEnabled());

    // One item of the selection that may still be published is enough.
    answer.items = Items({c_Song, c_Album});
    m_page->UpdateActions();
    EXPECT_TRUE(m_page->PublishAction->isEnabled());
    answer.items = Items({c_Album});
    m_page->UpdateActions();
    ASSERT_TRUE(m_page->PublishAction->isEnabled());
    m_page->PublishAction->trigger();
    m_page->UpdateActions();
    EXPECT_FALSE(m_page->PublishAction->isEnabled()) << "the answer kept for the item is forgotten once it changed";
    EXPECT_TRUE(ScriptedBoxes::texts.empty());
}

// The new entry's row comes later, through the queue; it is selected when it does.
TEST_F(MediaPageTest, PublishingSelectsTheNewEntryWhenItsRowArrives)
{
    Class().Publish(MemUrl(c_Album).Get());
    m_page->Initialize();
    auto settled = [&](int rows) {
        return WaitUntil([&] {
            while (!Idle()) { }
            QCoreApplication::processEvents();
            return m_page->PublishedList->List->count() == rows && m_queue.Count() == 0;
        });
    };
    ASSERT_TRUE(settled(1));
    m_page->PublishItemList(Items({c_Song, c_Photo}), true);
    ASSERT_TRUE(settled(3));
    QList<MyMediaItem*> selected;
    m_page->PublishedList->SelectedItems(selected);
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0]->Url()->GetText(), std::string(c_Published) + "/photo1.fxi") << "the last one published";
    EXPECT_TRUE(ScriptedBoxes::texts.empty());
}

// Growing, the top half takes what the bottom half has over its 200 pixels, up to the growth;
// shrinking, the top half gives what it has over 200 pixels first.
TEST_F(MediaPageTest, ResizingDividesTheHeightBetweenTheHalves)
{
    m_page->resize(600, 500);
    m_page->show();
    ASSERT_TRUE(WaitUntil([&] { return m_page->isVisible() && m_page->height() == 500; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(m_page->TopHalfHeight(), 210);
    const int handle = m_page->HeightSplitter->handleWidth();
    struct Step {
        int height;
        int top;
    };
    ASSERT_EQ(handle, 4);
    // Bottom half before each step, then the top half's change.
    const Step steps[] = {
        {600, 296}, // bottom 286: +min(100, 86)
        {620, 316}, // bottom 300: +min(20, 100)
        {570, 266}, // top 316: +max(-50, -116)
        {450, 200}, // top 266: +max(-120, -66)
        {800, 246}, // bottom 246: +min(350, 46)
    };
    for (const Step& step : steps) {
        m_page->resize(600, step.height);
        QCoreApplication::processEvents();
        EXPECT_EQ(m_page->TopHalfHeight(), step.top) << step.height;
        EXPECT_EQ(m_page->BottomHalfPanel->height(), step.height - handle - step.top) << step.height;
    }
}

TEST_F(MediaPageTest, CopyWritesTheKeysOfTheSelectionInOrder)
{
    ItemsAnswer answer;
    answer.items = Items({c_Song, c_Album});
    m_page->ItemsView->installEventFilter(&answer);
    QGuiApplication::clipboard()->setText("kept");
    m_page->ActivePanel = TMediaPage::apItems;
    m_page->UpdateActions();
    ASSERT_TRUE(m_page->FileCopyAction->isEnabled()) << "two items are copyable without asking";
    m_page->FileCopyAction->trigger();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data(c_ClipboardMimeType),
        QByteArray("mem://fixture/root/song1.fxa\0mem://fixture/root/Album.2003\0\0", 60));
    EXPECT_EQ(data->text(), "kept") << "the clipboard is not emptied first";
    m_page->UpdateActions();
    EXPECT_TRUE(m_page->FileDropAction->isEnabled());
    EXPECT_TRUE(ScriptedBoxes::texts.empty());
}

TEST_F(MediaPageTest, ABrokenItemShowsTheNotFoundBox)
{
    AddChild("mem://fixture/root", "mem://fixture/root/gone.fxa", "x-application/lumo-broken", 0);
    m_page->ShowItemProperties(nullptr);
    EXPECT_TRUE(ScriptedBoxes::texts.empty());
    m_page->ShowItemProperties(Item("mem://fixture/root/gone.fxa"));
    ASSERT_EQ(ScriptedBoxes::texts.size(), 1u);
    EXPECT_EQ(ScriptedBoxes::texts[0],
        "The published item was not found. It may have been deleted or renamed, or it could be located on a network "
        "drive or a removable disk that is not currently available.");
    EXPECT_EQ(ScriptedBoxes::captions[0], "Lumo Publisher Error");
    EXPECT_EQ(ScriptedBoxes::styles[0] & Platform::MB_TYPEMASK, Platform::MB_OK);

    m_page->UpdateActions();
    EXPECT_FALSE(m_page->PropertiesAction->isEnabled()) << "no pane, no focused item";
}

TEST_F(MediaPageTest, AScreenReaderCanTellThePanesApart)
{
    const auto said = [](QWidget* widget) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        return face ? face->text(QAccessible::Name).toStdString() : std::string("(none)");
    };
    m_page->Initialize();
    // What takes the focus is named, not only the pane around it.
    EXPECT_EQ(said(m_page->MediaTree->Tree), "Photo folders");
    EXPECT_EQ(said(m_page->PublishedList->List), "Published photos");
    EXPECT_EQ(said(m_page->ItemsView), "Photos of the selected folder");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(m_page->PublishedList->List)->text(QAccessible::Description),
        m_page->PublishedTitle());
}
