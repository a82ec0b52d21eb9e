// The published list over a real host: rows kept from the published root's records, captions,
// the selection after a removal, the clipboard bytes, and what drops and pastes hand the page.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFocusEvent>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include "PickerTestSupport.h"
#include "picker/MediaItemDragObj.h"
#include "picker/MyMediaItem.h"
#include "picker/PublishedListForm.h"
#include "platform/MessageBox.h"
#include "support/WidgetApplication.h"

using namespace LumoApi;

namespace {

constexpr char c_Published[] = "mem://fixture/published";
constexpr char c_Container[] = "x-container/mem";
constexpr char c_Song[] = "audio/x-fixture";
constexpr char c_Photo[] = "image/x-fixture";

// Stands in for the media page and keeps the URL texts of every publish call.
class RecordingPage : public PublishedListHost {
public:
    std::vector<std::vector<std::string>> published;
    std::vector<bool> undo;
    int propertiesShown = 0;

    void PublishItemList(const QList<MyMediaItem*>& items, bool recordUndo) override
    {
        std::vector<std::string> keys;
        for (MyMediaItem* item : items)
            keys.push_back(item->Url()->GetText());
        published.push_back(keys);
        undo.push_back(recordUndo);
    }
    bool CanShowProperties() override { return true; }
    void ShowProperties() override { ++propertiesShown; }
    int summariesBuilt = 0;

    std::string ContainerSummary(MyMediaItem& item) override
    {
        ++summariesBuilt;
        return "folder " + item.GetTitle();
    }
    std::string SongSummary(MyMediaItem& item) override { return "song " + item.GetTitle(); }
    std::string PhotoSummary(MyMediaItem& item) override { return "photo " + item.GetTitle(); }
};

// Answers every message box from a script and keeps what was asked.
struct ScriptedBoxes {
    static inline std::vector<std::string> texts;
    static inline std::vector<uint32_t> styles;
    static inline int answer = Platform::IDOK;

    static int Show(const char* text, const char*, uint32_t style)
    {
        texts.push_back(text);
        styles.push_back(style);
        return answer;
    }
};

class PublishedListTest : public testing::Test {
protected:
    PublishedListTest()
    {
        WidgetApplication();
        ScriptedBoxes::texts.clear();
        ScriptedBoxes::styles.clear();
        ScriptedBoxes::answer = Platform::IDOK;
        m_previousBox = Platform::SetMessageBoxHandler(&ScriptedBoxes::Show);
    }
    ~PublishedListTest() override { Platform::SetMessageBoxHandler(m_previousBox); }

    template <class Function>
    Function Fixture(const char* name)
    {
        Function function = m_folder.MediaFunction<Function>(name);
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    void Publish(const std::string& leaf, const char* contentType = c_Container)
    {
        Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
            c_Published, (std::string(c_Published) + "/" + leaf).c_str(), contentType, 1);
    }

    std::unique_ptr<TPublishedList> MakeList()
    {
        auto list = std::make_unique<TPublishedList>(
            nullptr, m_page, m_host.MediaClasses().ById("FixtureMedia"), m_queue, nullptr, nullptr);
        list->resize(400, 300);
        return list;
    }

    // Runs the page's idle processing until the list shows rows rows.
    bool Settle(TPublishedList& list, int rows)
    {
        return WaitUntil([&] {
            list.Poll();
            while (!m_queue.DeliverOne()) { }
            QCoreApplication::processEvents();
            return list.List->count() == rows && m_queue.Count() == 0;
        });
    }

    static void Send(TPublishedList& list, uint8_t kind, const std::string& url, ChildList* children = nullptr)
    {
        QueuedEvent event(std::make_unique<UpdateInfo>(
            kind, MemUrl(url.c_str()), children ? std::make_unique<ChildList>(*children) : nullptr));
        QCoreApplication::sendEvent(&list, &event);
    }

    static std::vector<std::string> Captions(TPublishedList& list)
    {
        std::vector<std::string> captions;
        for (int row = 0; row < list.List->count(); ++row)
            captions.push_back(list.List->item(row)->text().toStdString());
        return captions;
    }

    static std::vector<int> SelectedRows(TPublishedList& list)
    {
        std::vector<int> rows;
        for (int row = 0; row < list.List->count(); ++row) {
            if (list.List->item(row)->isSelected())
                rows.push_back(row);
        }
        return rows;
    }

    static std::string Entry(const std::string& leaf) { return std::string(c_Published) + "/" + leaf; }

    static void Drop(TPublishedList& list, const QMimeData& data)
    {
        list.show();
        const QPointF at = list.List->viewport()->rect().center();
        // Qt delivers a drop only to the widget that accepted the drag's entry.
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list.List->viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list.List->viewport(), &drop);
    }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    UpdateQueue m_queue;
    RecordingPage m_page;
    Platform::MessageBoxHandler m_previousBox = nullptr;
};

} // namespace

TEST_F(PublishedListTest, RowsFollowTheListingAndTheRootsNotifications)
{
    Publish("Album", c_Container);
    Publish("song", c_Song);
    auto list = MakeList();
    EXPECT_FALSE(list->NoItemsText->isHidden());
    EXPECT_EQ(list->NoItemsText->text().toStdString(),
        "No photos have been published. Drag photo folders and files here to make them accessible to Lumo DVRs.");
    list->Initialize();
    ASSERT_TRUE(Settle(*list, 2));
    EXPECT_EQ(Captions(*list), (std::vector<std::string>{"Album", "song"}));
    EXPECT_TRUE(list->NoItemsText->isHidden());
    EXPECT_EQ(Fixture<int (*)(const char*)>("Fixture_Subscriptions")(c_Published), 1);

    // Added on a module thread: reaches the list through the queue.
    Publish("photo", c_Photo);
    ASSERT_TRUE(Settle(*list, 3));
    EXPECT_EQ(Captions(*list).back(), "photo");

    Send(*list, ChildChanged, Entry("song"));
    EXPECT_EQ(list->List->count(), 3) << "a change of a listed item adds nothing";
    // Known to the module but never announced to the published root.
    Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
        "mem://fixture/elsewhere", Entry("late").c_str(), c_Container, 0);
    Send(*list, ChildChanged, Entry("late"));
    EXPECT_EQ(Captions(*list).back(), "late");

    Fixture<void (*)(const char*, int, const char*, int)>("Fixture_Notify")(c_Published, 1, Entry("Album").c_str(), 1);
    ASSERT_TRUE(Settle(*list, 3));
    EXPECT_EQ(Captions(*list), (std::vector<std::string>{"song", "photo", "late"}));
}

TEST_F(PublishedListTest, ReconcileKeepsListedRowsDeletesMissingOnesAndAddsTheRestSorted)
{
    for (const char* leaf : {"a", "b", "c", "D", "e"})
        Publish(leaf);
    auto list = MakeList();
    Send(*list, ChildAdded, Entry("a"));
    Send(*list, ChildAdded, Entry("b"));
    Send(*list, ChildAdded, Entry("c"));
    QListWidgetItem* b = list->List->item(1);

    ChildList same{Entry("c"), "MEM://fixture/published/A", Entry("b")};
    Send(*list, Enumerated, c_Published, &same);
    EXPECT_EQ(Captions(*list), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(list->List->item(1), b) << "an equal listing leaves the rows alone";

    // The first row is missing: the walk goes on with the row that moved up. Keys match in
    // any case; new entries come in key order.
    ChildList changed{Entry("e"), "MEM://FIXTURE/PUBLISHED/B", Entry("c"), Entry("D")};
    Send(*list, Enumerated, c_Published, &changed);
    EXPECT_EQ(Captions(*list), (std::vector<std::string>{"b", "c", "D", "e"}));
    EXPECT_EQ(list->List->item(0), b);

    ChildList empty;
    Send(*list, Enumerated, c_Published, &empty);
    EXPECT_EQ(list->List->count(), 0);
    EXPECT_FALSE(list->NoItemsText->isHidden());
}

TEST_F(PublishedListTest, CaptionsStopAtFiftyCharactersAndIconsFollowTheKind)
{
    const std::string fifty(50, 'x');
    Publish(fifty);
    Publish(fifty + "y");
    Publish("fixed");
    Publish("remote");
    Publish("song", c_Song);
    Publish("photo", c_Photo);
    auto setProperty = Fixture<void (*)(const char*, const char*, const char*)>("Fixture_SetProperty");
    setProperty(Entry("fixed").c_str(), "DriveType", "Fixed");
    setProperty(Entry("remote").c_str(), "DriveType", "Remote");
    auto list = MakeList();
    list->Initialize();
    ASSERT_TRUE(Settle(*list, 6));

    // Listed rows come in key order.
    EXPECT_EQ(Captions(*list), (std::vector<std::string>{"fixed", "photo", "remote", "song", fifty, fifty + "..."}));
    std::vector<int> icons;
    for (int row = 0; row < list->List->count(); ++row)
        icons.push_back(TPublishedList::IconIndexOf(list->List->item(row)));
    EXPECT_EQ(icons, (std::vector<int>{2, 13, 8, 10, 12, 12}));
    EXPECT_EQ(list->PublishedItemIcons.size(), 16u);
    EXPECT_FALSE(list->List->item(3)->icon().isNull());

    EXPECT_EQ(list->InfoTip(3).toStdString(), "song song");
    EXPECT_EQ(list->InfoTip(1).toStdString(), "photo photo");
    EXPECT_EQ(list->InfoTip(0).toStdString(), "folder fixed");
    EXPECT_EQ(list->InfoTip(0).toStdString(), "folder fixed");
    EXPECT_EQ(m_page.summariesBuilt, 1) << "the tip of the same item comes from the cache";
    EXPECT_EQ(list->InfoTip(2).toStdString(), "folder remote");
    EXPECT_EQ(m_page.summariesBuilt, 2);

    emit list->List->itemDoubleClicked(list->List->item(0));
    EXPECT_EQ(m_page.propertiesShown, 1);
}

TEST_F(PublishedListTest, RemovalSelectsTheRowThatTookThePlaceOrTheNewLast)
{
    for (const char* leaf : {"a", "b", "c"})
        Publish(leaf);
    auto list = MakeList();
    for (const char* leaf : {"a", "b", "c"})
        Send(*list, ChildAdded, Entry(leaf));
    // Taking the focus with nothing selected selects the first row.
    QFocusEvent focus(QEvent::FocusIn);
    QCoreApplication::sendEvent(list->List, &focus);
    EXPECT_EQ(SelectedRows(*list), std::vector<int>{0});
    list->SelectAll();
    QList<MyMediaItem*> selected{nullptr};
    list->SelectedItems(selected);
    ASSERT_EQ(selected.size(), 3);
    EXPECT_EQ(selected[2]->Url()->GetText(), Entry("c"));

    Send(*list, ChildRemoved, Entry("c"));
    EXPECT_EQ(Captions(*list), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SelectedRows(*list), std::vector<int>{1});

    Send(*list, ChildAdded, Entry("c"));
    Send(*list, ChildRemoved, Entry("a"));
    EXPECT_EQ(SelectedRows(*list), std::vector<int>{0});
    EXPECT_EQ(list->SelectedItem()->Url()->GetText(), Entry("b"));

    Send(*list, ChildRemoved, Entry("missing"));
    EXPECT_EQ(list->List->count(), 2);
    list->SelectItem(MemUrl(Entry("c").c_str()).Get());
    EXPECT_EQ(SelectedRows(*list), std::vector<int>{1});

    Send(*list, ChildRemoved, Entry("b"));
    Send(*list, ChildRemoved, Entry("c"));
    EXPECT_TRUE(SelectedRows(*list).empty());
    EXPECT_EQ(list->SelectedItem(), nullptr);
    EXPECT_FALSE(list->NoItemsText->isHidden());
}

TEST_F(PublishedListTest, TheLogoIsDrawnBehindTheRows)
{
    auto list = MakeList();
    list->show();
    const QImage image = list->List->viewport()->grab().toImage();
    const QColor window = list->List->palette().color(QPalette::Window);
    EXPECT_EQ(image.pixelColor(2, 2), window);
    // Inside the logo in the bottom-right corner.
    EXPECT_NE(image.pixelColor(image.width() - 25, image.height() - 12), window);
}

TEST(PublishedListClipboardTest, KeysAreZeroTerminatedAndReadingStopsAtTheData)
{
    EXPECT_EQ(EncodeClipboardKeys({"a", "bc"}), QByteArray("a\0bc\0\0", 6));
    EXPECT_EQ(EncodeClipboardKeys({}), QByteArray("\0", 1));
    EXPECT_EQ(EncodeClipboardKeys({"a", "", "b"}), QByteArray("a\0b\0\0", 5)) << "an empty key would end the list";

    struct Case {
        QByteArray data;
        std::vector<std::string> keys;
    };
    const Case cases[] = {
        {QByteArray("a\0bc\0\0", 6), {"a", "bc"}},
        {QByteArray("\0", 1), {}},
        {QByteArray(), {}},
        {QByteArray("a\0bc", 4), {"a", "bc"}},
        {QByteArray("a\0bc\0", 5), {"a", "bc"}},
        {QByteArray("a\0\0zz\0\0", 7), {"a"}},
    };
    for (const Case& each : cases)
        EXPECT_EQ(DecodeClipboardKeys(each.data), each.keys) << each.data.toHex().toStdString();
}

TEST_F(PublishedListTest, PastePublishesTheKeysInOrderAndNothingForNoKeys)
{
    auto list = MakeList();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("mem://fixture/root/song1.fxa");
    EXPECT_FALSE(list->CanPaste());

    auto* empty = new QMimeData;
    empty->setData(c_ClipboardMimeType, QByteArray("\0", 1));
    clipboard->setMimeData(empty);
    EXPECT_TRUE(list->CanPaste());
    list->Paste();
    EXPECT_TRUE(m_page.published.empty());

    auto* two = new QMimeData;
    two->setData(c_ClipboardMimeType,
        EncodeClipboardKeys({"mem://fixture/root/song1.fxa", "mem://fixture/root/Album.2003"}).chopped(2));
    clipboard->setMimeData(two);
    list->Paste();
    ASSERT_EQ(m_page.published.size(), 1u);
    EXPECT_EQ(m_page.published[0],
        (std::vector<std::string>{"mem://fixture/root/song1.fxa", "mem://fixture/root/Album.2003"}));
    EXPECT_TRUE(m_page.undo[0]);
}

TEST_F(PublishedListTest, DropsHandOurItemsAndLocalFilesToThePage)
{
    auto list = MakeList();
    MyMediaItem song(MemUrl("mem://fixture/root/song1.fxa"), nullptr, m_queue);
    Drop(*list, MediaItemDragObj({&song}));
    ASSERT_EQ(m_page.published.size(), 1u);
    EXPECT_EQ(m_page.published[0], std::vector<std::string>{"mem://fixture/root/song1.fxa"});

    const std::filesystem::path folder = std::filesystem::path(m_folder.Path()) / "drop";
    std::filesystem::create_directories(folder);
    std::ofstream((folder / "tune.fxa").string()) << "x";
    QMimeData files;
    files.setUrls({QUrl("http://example.invalid/x"), QUrl::fromLocalFile(QString::fromStdString(folder.string())),
        QUrl::fromLocalFile(QString::fromStdString((folder / "tune.fxa").string()))});
    Drop(*list, files);
    ASSERT_EQ(m_page.published.size(), 2u);
    // No module of the test host takes folders: the folder gets the box, with its path.
    ASSERT_EQ(m_page.published.size(), 2u);
    ASSERT_EQ(m_page.published[1].size(), 1u);
    EXPECT_EQ(m_page.published[1][0], "file://" + (folder / "tune.fxa").string());
    EXPECT_TRUE(m_page.undo[1]);
    ASSERT_EQ(ScriptedBoxes::texts.size(), 2u);
    EXPECT_EQ(ScriptedBoxes::texts[0].rfind("'http://example.invalid/x' is not publishable as a photos item.\n\nIt "
                                            "is not a local file.\n\nTo continue publishing",
                  0),
        0u);
    EXPECT_EQ(ScriptedBoxes::texts[1].rfind("'" + folder.string() + "' is not publishable", 0), 0u);
    EXPECT_EQ(ScriptedBoxes::styles[1] & Platform::MB_TYPEMASK, Platform::MB_OKCANCEL);

    // Cancel stops reading the rest; nothing was made, so nothing is published.
    ScriptedBoxes::answer = Platform::IDCANCEL;
    QMimeData cancelled;
    cancelled.setUrls({QUrl("http://example.invalid/x"), QUrl::fromLocalFile("/tmp")});
    Drop(*list, cancelled);
    EXPECT_EQ(m_page.published.size(), 2u);
    EXPECT_EQ(ScriptedBoxes::texts.size(), 3u);

    // The last file gets OK alone and no continuation text.
    ScriptedBoxes::answer = Platform::IDOK;
    QMimeData last;
    last.setUrls({QUrl("http://example.invalid/y")});
    Drop(*list, last);
    ASSERT_EQ(ScriptedBoxes::texts.size(), 4u);
    EXPECT_EQ(ScriptedBoxes::texts[3],
        "'http://example.invalid/y' is not publishable as a photos item.\n\nIt is not a local file.");
    EXPECT_EQ(ScriptedBoxes::styles[3], Platform::MB_OK | Platform::MB_ICONWARNING);
    EXPECT_EQ(m_page.published.size(), 2u);
}

// A dark desktop theme: the watermark shows as a faint light shape on the dark background, and
// the glyphs are drawn with the palette's paper and lines, not black on white.
TEST_F(PublishedListTest, UnderADarkPaletteTheWatermarkAndGlyphsFollowIt)
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 34));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(20, 20, 24));
    dark.setColor(QPalette::Text, QColor(240, 240, 240));
    dark.setColor(QPalette::Button, QColor(45, 45, 50));
    dark.setColor(QPalette::Highlight, QColor(60, 110, 200));
    dark.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    auto list = MakeList();
    list->setPalette(dark);
    list->show();

    const QImage image = list->List->viewport()->grab().toImage();
    const QColor background = dark.color(QPalette::Window);
    int lighter = 0;
    int darker = 0;
    const QRect middle(image.width() / 2 - 60, image.height() / 2 - 60, 120, 120);
    for (int y = middle.top(); y <= middle.bottom(); ++y) {
        for (int x = middle.left(); x <= middle.right(); ++x) {
            const int value = image.pixelColor(x, y).value();
            lighter += value > background.value() ? 1 : 0;
            darker += value < background.value() ? 1 : 0;
        }
    }
    EXPECT_GT(lighter, 100) << "the watermark shows";
    EXPECT_EQ(darker, 0) << "nothing is drawn in black on the dark background";

    ASSERT_FALSE(list->PublishedItemIcons.empty());
    const QImage page = list->PublishedItemIcons[0].pixmap(16, 16).toImage();
    EXPECT_EQ(page.pixelColor(8, 8), dark.color(QPalette::Base)) << "the page's paper";
    EXPECT_GT(page.pixelColor(3, 8).value(), 150) << "its outline stands out from the dark paper";
}
