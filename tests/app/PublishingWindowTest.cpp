// The main window over the real modules: both media pages built at the first show, the menu
// and buttons following the active tab, undo routed to its page, and what is published and
// where the splitters stand surviving a restart.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <vector>

#include <QAction>
#include <QCursor>
#include <QDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "WindowDriving.h"
#include "WindowTestSupport.h"
#include "app/ActionLink.h"
#include "app/LumoConnectPublisher.h"
#include "app/SplashScreen.h"
#include "app/Translations.h"
#include "host/HostRegistry.h"
#include "host/UrlImpl.h"
#include "picker/MediaPageForm.h"
#include "picker/MediaTreeForm.h"
#include "picker/MusicItemsForm.h"
#include "picker/MyMediaItem.h"
#include "picker/PhotoItemsForm.h"
#include "picker/PublishedListForm.h"
#include "platform/MessageBox.h"
#include "support/BytesRead.h"
#include "support/HostFolder.h"
#include "support/ModuleFolder.h"

namespace {

namespace fs = std::filesystem;

// A user of their own: home, music folder, published sets and cache in a temporary folder,
// and no volumes mounted.
class UserSandbox {
public:
    UserSandbox()
    {
        const fs::path root = m_root.path().toStdString();
        fs::create_directories(root / "config");
        fs::create_directories(Music() / "Album");
        std::ofstream(root / "config" / "user-dirs.dirs") << "XDG_MUSIC_DIR=\"" << Music().string() << "\"\n"
                                                          << "XDG_PICTURES_DIR=\"" << Pictures().string() << "\"\n";
        std::ofstream(root / "mountinfo");
        std::ofstream(Music() / "Album" / "track.mp3") << "not really a song";
        for (const char* folder : {"Autumn", "Beach", "City"}) {
            fs::create_directories(Pictures() / folder);
            std::ofstream(Pictures() / folder / "photo.jpg") << "not really a photo";
        }
    }
    fs::path Music() const { return fs::path(m_root.path().toStdString()) / "home" / "Music"; }
    fs::path Pictures() const { return fs::path(m_root.path().toStdString()) / "home" / "Pictures"; }

private:
    QTemporaryDir m_root;
    const std::string m_path = m_root.path().toStdString();
    ScopedEnvironment m_home{"HOME", m_path + "/home"};
    ScopedEnvironment m_config{"XDG_CONFIG_HOME", m_path + "/config"};
    ScopedEnvironment m_data{"XDG_DATA_HOME", m_path + "/data"};
    ScopedEnvironment m_cache{"XDG_CACHE_HOME", m_path + "/cache"};
    ScopedEnvironment m_mounts{"LUMOTEST_MOUNTINFO", m_path + "/mountinfo"};
    ScopedEnvironment m_poll{"LUMOTEST_POLL_MS", "100"};
};

// The program folder as installed: the cache and the three media modules.
class PublisherFolder : public ModuleFolder {
public:
    PublisherFolder()
    {
        for (const char* module : {"lumo-cache", "lumo-folders", "lumo-music", "lumo-photos"})
            AddProgramModule(module);
    }
};

// Keeps every message box and answers OK.
struct RecordedBoxes {
    static inline std::vector<std::string> texts;
    // Whether the splash was still up when each box came.
    static inline std::vector<bool> behindSplash;

    static int Show(const char* text, const char*, uint32_t)
    {
        texts.push_back(text);
        behindSplash.push_back(TSplashScreen::Current() && TSplashScreen::Current()->isVisible());
        return Platform::IDOK;
    }
};

QAction* BoundTo(QAction* item)
{
    auto* link = item ? item->findChild<ActionLink*>() : nullptr;
    return link ? link->Source() : nullptr;
}

// Counts the "show container" messages a view receives, and lets them through.
class ShowCounter : public QObject {
public:
    int count = 0;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == ShowContainerEvent::c_Type)
            ++count;
        return false;
    }
};

QStringList Rows(TPublishedList& list)
{
    QStringList rows;
    for (int i = 0; i < list.List->count(); ++i)
        rows << list.List->item(i)->text();
    return rows;
}

class PublishingWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WidgetApplication();
        // English, as the program starts in it: the counts take their singular and plural forms.
        static const bool translated = (InstallTranslations(QLocale(QLocale::English), LUMO_PROGRAM_DIR "/"), true);
        (void)translated;
        ClearSettings();
        RecordedBoxes::texts.clear();
        RecordedBoxes::behindSplash.clear();
        m_previousBox = Platform::SetMessageBoxHandler(&RecordedBoxes::Show);
    }
    void TearDown() override
    {
        m_window.reset();
        Platform::SetMessageBoxHandler(m_previousBox);
        ClearSettings();
    }

    TLumoConnectPublisher& ShownWindow(const std::string& programFolder)
    {
        m_window.reset();
        m_window = std::make_unique<TLumoConnectPublisher>(programFolder);
        m_window->show();
        return *m_window;
    }

    // Waits for condition with the window's idle passes running, as the event loop runs them
    // before it would block.
    bool Settle(const std::function<bool()>& condition) { return SettleWindow(*m_window, condition); }

    UserSandbox m_user;
    PublisherFolder m_folder;
    std::unique_ptr<TLumoConnectPublisher> m_window;
    Platform::MessageBoxHandler m_previousBox = nullptr;
};

} // namespace

TEST_F(PublishingWindowTest, MenuButtonsAndUndoFollowTheActiveTab)
{
    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ASSERT_TRUE(window.MusicPage() && window.PhotosPage()) << RecordedBoxes::texts.size();
    EXPECT_TRUE(window.MusicPage()->IsMusic());
    EXPECT_FALSE(window.PhotosPage()->IsMusic());

    QAction* publishItem = MenuItem(window, "&File", "&Publish");
    QAction* pasteItem = MenuItem(window, "&Edit", "&Paste");
    QAction* undoItem = MenuItem(window, "&Edit", "&Undo");
    auto* strip = window.findChild<QToolBar*>("BandBar");
    ASSERT_TRUE(publishItem && pasteItem && undoItem && strip);
    QAction* stripPublish = nullptr;
    for (QToolButton* button : strip->findChildren<QToolButton*>()) {
        if (button->text() == "Publish")
            stripPublish = button->defaultAction();
    }
    ASSERT_TRUE(stripPublish);

    EXPECT_EQ(window.CurrentPage(), window.MusicPage());
    EXPECT_EQ(BoundTo(publishItem), window.MusicPage()->PublishAction);
    EXPECT_EQ(BoundTo(pasteItem), window.MusicPage()->FileDropAction);
    EXPECT_EQ(BoundTo(stripPublish), window.MusicPage()->PublishAction);

    auto* tabs = window.findChild<QTabWidget*>();
    ASSERT_TRUE(tabs);
    tabs->setCurrentIndex(1);
    EXPECT_EQ(window.CurrentPage(), window.PhotosPage());
    EXPECT_EQ(BoundTo(publishItem), window.PhotosPage()->PublishAction);
    EXPECT_EQ(BoundTo(stripPublish), window.PhotosPage()->PublishAction);
    // The strip button keeps its caption whatever the page action calls itself.
    window.PhotosPage()->PublishAction->setText("&Publish Photos");
    EXPECT_EQ(publishItem->text(), "&Publish Photos");
    EXPECT_EQ(stripPublish->text(), "Publish");

    // Undo belongs to the page of the active tab.
    const fs::path album = m_user.Music() / "Album";
    TMediaPage& music = *window.MusicPage();
    MyMediaItem albumItem(MakeUrl(("file://" + album.string()).c_str()), nullptr, window.Queue());
    music.PublishItemList({&albumItem}, true);
    ASSERT_TRUE(music.CanUndo()) << (RecordedBoxes::texts.empty() ? "" : RecordedBoxes::texts.front());
    EXPECT_FALSE(undoItem->isEnabled());
    EXPECT_EQ(undoItem->text(), "&Undo");
    tabs->setCurrentIndex(0);
    ASSERT_TRUE(undoItem->isEnabled());
    EXPECT_EQ(undoItem->text(), "&Undo Publish");
    undoItem->trigger();
    EXPECT_FALSE(music.CanUndo());
    EXPECT_TRUE(RecordedBoxes::texts.empty());
}

TEST_F(PublishingWindowTest, APublishedFolderAndTheSplittersSurviveARestart)
{
    {
        TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
        ASSERT_TRUE(PublishMusicFolder(window, "Album"));
        TMediaPage& music = *window.MusicPage();
        ASSERT_TRUE(Settle([&] { return Rows(*music.PublishedList) == QStringList{"Album"}; }))
            << Rows(*music.PublishedList).join(", ").toStdString();
        EXPECT_TRUE(RecordedBoxes::texts.empty());

        music.SetTreeWidth(310);
        window.PhotosPage()->SetTopHalfHeight(206);
        window.close();
        EXPECT_EQ(music.PublishedList->List->count(), 0) << "emptied at close";
    }
    const HostRegistry settings("Publisher");
    EXPECT_EQ(settings.ReadInteger("", "MusicItemBrowserSplitter", 0), 310);
    EXPECT_EQ(settings.ReadInteger("", "PhotosHeightSplitter", 0), 206);

    TLumoConnectPublisher& again = ShownWindow(m_folder.Path());
    ASSERT_TRUE(again.MusicPage());
    EXPECT_EQ(again.MusicPage()->TreeWidth(), 310);
    again.findChild<QTabWidget*>()->setCurrentIndex(1);
    EXPECT_TRUE(Settle([&] { return again.PhotosPage()->isVisible(); }));
    EXPECT_EQ(again.PhotosPage()->TopHalfHeight(), 206) << "laid out as it was told";
    EXPECT_TRUE(Settle([&] { return Rows(*again.MusicPage()->PublishedList) == QStringList{"Album"}; }));
    EXPECT_TRUE(Rows(*again.PhotosPage()->PublishedList).isEmpty());
}

namespace {

// An MP3 file that is all ID3v2 tag: the artist, then a private frame of sizeBytes.
std::string TaggedSong(const std::string& artist, size_t sizeBytes)
{
    auto be32 = [](size_t value) {
        std::string out;
        for (int shift = 24; shift >= 0; shift -= 8)
            out += char((value >> shift) & 0xFF);
        return out;
    };
    const std::string artistData = std::string(1, '\0') + artist;
    const std::string privateData = "lumo-test" + std::string(1, '\0') + std::string(sizeBytes, 'x');
    const std::string frames = "TPE1" + be32(artistData.size()) + std::string(2, '\0') + artistData + "PRIV"
        + be32(privateData.size()) + std::string(2, '\0') + privateData;
    std::string synchsafe;
    for (int shift = 21; shift >= 0; shift -= 7)
        synchsafe += char((frames.size() >> shift) & 0x7F);
    return std::string("ID3\x03\x00\x00", 6) + synchsafe + frames;
}

} // namespace

// Hovering a song built its tip on the interface thread: a damaged or huge file froze the
// window while its tags were read.
TEST_F(PublishingWindowTest, ASongsTipIsReadAwayFromTheWindow)
{
    constexpr size_t c_TagBytes = 4u << 20;
    const fs::path song = m_user.Music() / "Album" / "big tag.mp3";
    std::ofstream(song, std::ios::binary) << TaggedSong("Someone", c_TagBytes);
    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ASSERT_TRUE(window.MusicPage());
    TMediaPage& music = *window.MusicPage();
    MyMediaItem item(MakeUrl(("file://" + song.string()).c_str()), nullptr, window.Queue());

    const std::optional<uint64_t> before = BytesReadByThisThread();
    if (!before)
        GTEST_SKIP() << "no count of bytes read here";
    EXPECT_EQ(music.SongSummary(item), "");
    EXPECT_LT(*BytesReadByThisThread() - *before, c_TagBytes / 4) << "the tags were read on this thread";
    std::string tip;
    ASSERT_TRUE(Settle([&] { return !(tip = music.SongSummary(item)).empty(); }));
    EXPECT_EQ(tip, "Someone\n" + song.string());

    // In the song list the tip shows once read, under a pointer that rests where it was.
    std::ofstream(m_user.Music() / "Album" / "other.mp3", std::ios::binary) << TaggedSong("Another", 1000);
    QTreeWidget& tree = *music.MediaTree->Tree;
    QTreeWidgetItem* musicNode = nullptr;
    ASSERT_TRUE(Settle([&] { return (musicNode = NodeNamed(tree, nullptr, "Music")) != nullptr; }));
    musicNode->setExpanded(true);
    QTreeWidgetItem* albumNode = nullptr;
    ASSERT_TRUE(Settle([&] { return (albumNode = NodeNamed(tree, musicNode, "Album")) != nullptr; }));
    tree.setCurrentItem(albumNode);
    auto* songs = music.ItemsView->findChild<QListWidget*>();
    ASSERT_TRUE(songs);
    QListWidgetItem* row = nullptr;
    ASSERT_TRUE(Settle([&] {
        const QList<QListWidgetItem*> found = songs->findItems("other", Qt::MatchExactly);
        return (row = found.isEmpty() ? nullptr : found.front()) != nullptr;
    }));
    const QPoint global = songs->viewport()->mapToGlobal(songs->visualItemRect(row).center());
    QCursor::setPos(global);
    QHelpEvent hover(QEvent::ToolTip, songs->viewport()->mapFromGlobal(global), global);
    QCoreApplication::sendEvent(songs->viewport(), &hover);
    EXPECT_TRUE(Settle([&] { return QToolTip::text().startsWith("Another\n"); })) << QToolTip::text().toStdString();
}

// A damaged set showed its error, then left the splash on "Loading..." for good, no photos page,
// and "No music has been published", which was false.
TEST_F(PublishingWindowTest, ASetThatCannotBeReadIsSaidToBeSoAndWhere)
{
    const fs::path database = fs::path(std::getenv("XDG_DATA_HOME")) / "Lumo Desktop" / "Published.db";
    fs::create_directories(database.parent_path());
    std::ofstream(database, std::ios::binary) << std::string(8192, 'g');
    const std::string failure = database.string() + ": The data is invalid";

    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ASSERT_TRUE(window.MusicPage());
    ASSERT_TRUE(window.PhotosPage());
    ASSERT_EQ(RecordedBoxes::texts.size(), 2u);
    EXPECT_EQ(RecordedBoxes::texts[0], failure);
    QLabel* music = window.MusicPage()->PublishedList->NoItemsText;
    EXPECT_EQ(music->text().toStdString(), "The published music cannot be read. " + failure);
    EXPECT_FALSE(music->isHidden());
    EXPECT_EQ(window.PhotosPage()->PublishedList->NoItemsText->text().toStdString(),
        "The published photos cannot be read. " + failure);
    EXPECT_TRUE(WaitUntil([] { return TSplashScreen::Current() == nullptr; }));
    EXPECT_EQ(RecordedBoxes::texts.size(), 2u) << "no box of a listing that was never started";
}

namespace {

// Answers Cancel, running the window's idle pass and event loop meanwhile, as a modal box does.
struct ModalBoxes {
    static inline TLumoConnectPublisher* window = nullptr;
    static inline std::vector<std::string> shown;
    static inline int depth = 0;

    static int Show(const char* text, const char* caption, uint32_t)
    {
        shown.push_back(std::string(caption) + ": " + text);
        // Enough to see one box open another; not so deep the test overflows.
        if (window && depth < 3) {
            ++depth;
            window->RunIdle();
            QCoreApplication::processEvents();
            --depth;
        }
        return Platform::IDCANCEL;
    }
};

} // namespace

// A set whose rows are damaged lists with a failure: each box's own event loop showed the same
// failure again, box over box, and the empty list said nothing was published.
TEST_F(PublishingWindowTest, ASetWhoseRowsCannotBeReadFailsOnceAndSaysSo)
{
    const fs::path database = fs::path(std::getenv("XDG_DATA_HOME")) / "Lumo Desktop" / "Published.db";
    fs::create_directories(database.parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                  "CREATE TABLE published(class TEXT NOT NULL, url TEXT NOT NULL, path TEXT NOT NULL, title TEXT NOT "
                  "NULL, added INTEGER NOT NULL, folder INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(class, url));"
                  "CREATE INDEX published_in_order ON published(class, added, url);"
                  "INSERT INTO published VALUES('LumoMusic', 'lumomusic-file:///x/a.mp3', '/x/a.mp3', 'a', 1, 0);"
                  "PRAGMA user_version = 1;",
                  nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = 'published'", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    const int64_t page = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    {
        std::fstream file(database, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(std::streamoff((page - 1) * 4096));
        file << std::string(4096, 'g');
    }

    ModalBoxes::shown.clear();
    Platform::SetMessageBoxHandler(&ModalBoxes::Show);
    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ModalBoxes::window = &window;
    ASSERT_TRUE(window.MusicPage() && window.PhotosPage());
    QLabel* notice = window.MusicPage()->PublishedList->NoItemsText;
    EXPECT_TRUE(Settle([&] { return notice->text().startsWith("The published music cannot be read. "); }))
        << notice->text().toStdString();
    EXPECT_EQ(notice->text().toStdString(),
        "The published music cannot be read. " + database.string() + ": The data is invalid");
    for (int pass = 0; pass < 20; ++pass)
        window.RunIdle();
    ASSERT_EQ(ModalBoxes::shown.size(), 1u) << ModalBoxes::shown.back();
    EXPECT_EQ(ModalBoxes::shown[0].rfind("Enumeration Failure: ", 0), 0u) << ModalBoxes::shown[0];
    EXPECT_NE(ModalBoxes::shown[0].find(database.string() + ": The data is invalid"), std::string::npos);
    EXPECT_EQ(window.PhotosPage()->PublishedList->NoItemsText->text().left(30), "No photos have been published.");
    ModalBoxes::window = nullptr;
}

TEST_F(PublishingWindowTest, WithoutTheMediaModulesTheFailureIsShownAndNoSplitterIsSaved)
{
    HostFolder fixtureOnly;
    TLumoConnectPublisher& window = ShownWindow(fixtureOnly.Path());
    EXPECT_EQ(window.MusicPage(), nullptr);
    EXPECT_EQ(window.CurrentPage(), nullptr);
    ASSERT_EQ(RecordedBoxes::texts.size(), 1u);
    EXPECT_FALSE(RecordedBoxes::behindSplash[0]) << "the splash is gone before the failure is shown";
    EXPECT_EQ(TSplashScreen::Current(), nullptr);
    EXPECT_FALSE(MenuItem(window, "&File", "&Publish")->isEnabled());
    EXPECT_TRUE(WaitUntil([] { return TSplashScreen::Current() == nullptr; })) << "the splash went";
    window.close();
    const HostRegistry settings("Publisher");
    EXPECT_EQ(settings.ReadInteger("", "MusicItemBrowserSplitter", -1), -1);
    EXPECT_NE(settings.ReadInteger("", "MainWindowWidth", -1), -1);
}

// Closing a folder whose last child is selected: the selection moves to the folder, once,
// and the grid shows the folder's contents.
TEST_F(PublishingWindowTest, ClosingPicturesWithItsLastChildSelectedShowsPictures)
{
    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ASSERT_TRUE(window.PhotosPage());
    window.findChild<QTabWidget*>()->setCurrentIndex(1);
    TMediaPage& photos = *window.PhotosPage();
    auto* grid = qobject_cast<TPhotoItems*>(photos.ItemsView);
    ASSERT_TRUE(grid);
    QTreeWidget& tree = *photos.MediaTree->Tree;
    QTreeWidgetItem* pictures = nullptr;
    ASSERT_TRUE(Settle([&] { return (pictures = NodeNamed(tree, nullptr, "Pictures")) != nullptr; }));
    pictures->setExpanded(true);
    ASSERT_TRUE(Settle([&] { return pictures->childCount() == 3; }));
    tree.setCurrentItem(pictures->child(2));
    ASSERT_TRUE(Settle([&] { return grid->Count() == 1 && grid->Cell(0).Title == "photo"; }));

    ShowCounter shows;
    grid->installEventFilter(&shows);
    for (int round = 0; round < 2; ++round) {
        shows.count = 0;
        pictures->setExpanded(false);
        EXPECT_EQ(tree.currentItem(), pictures);
        ASSERT_TRUE(Settle([&] { return grid->Count() == 3 && grid->Cell(2).Title == "City"; }));
        EXPECT_EQ(shows.count, 1) << "one message for the folder, none for the children that went";
        pictures->setExpanded(true);
        ASSERT_TRUE(Settle([&] { return pictures->childCount() == 3; }));
        tree.setCurrentItem(pictures->child(2));
        ASSERT_TRUE(Settle([&] { return grid->Count() == 1; }));
    }
    EXPECT_TRUE(RecordedBoxes::texts.empty());
}

// Alt+F moves the keyboard focus to the menu bar: the commands still act on the pane that had
// it, as they do while a dialog has it; a pane taking the focus decides again.
TEST_F(PublishingWindowTest, TheMenusKeepActingOnThePaneThatLastHadTheFocus)
{
    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ASSERT_TRUE(window.MusicPage());
    QApplication::setActiveWindow(&window);
    TMediaPage& music = *window.MusicPage();
    QTreeWidget& tree = *music.MediaTree->Tree;
    QTreeWidgetItem* musicNode = nullptr;
    ASSERT_TRUE(Settle([&] { return (musicNode = NodeNamed(tree, nullptr, "Music")) != nullptr; }));
    musicNode->setExpanded(true);
    QTreeWidgetItem* albumNode = nullptr;
    ASSERT_TRUE(Settle([&] { return (albumNode = NodeNamed(tree, musicNode, "Album")) != nullptr; }));
    tree.setCurrentItem(albumNode);
    tree.setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(WaitUntil([&] { return music.ActivePanel == TMediaPage::apTree; }));
    QAction* publishItem = MenuItem(window, "&File", "&Publish");
    music.UpdateActions();
    ASSERT_TRUE(publishItem->isEnabled());

    window.menuBar()->setFocus(Qt::MenuBarFocusReason);
    ASSERT_TRUE(WaitUntil([&] { return window.menuBar()->hasFocus(); }));
    music.UpdateActions();
    EXPECT_EQ(music.ActivePanel, TMediaPage::apTree);
    EXPECT_TRUE(publishItem->isEnabled());

    QDialog dialog(&window);
    auto* edit = new QLineEdit(&dialog);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    edit->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(WaitUntil([&] { return edit->hasFocus(); }));
    EXPECT_EQ(music.ActivePanel, TMediaPage::apTree);
    dialog.close();

    QApplication::setActiveWindow(&window);
    music.PublishedList->List->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(WaitUntil([&] { return music.ActivePanel == TMediaPage::apPublished; }));
    music.UpdateActions();
    EXPECT_FALSE(publishItem->isEnabled()) << "publishing is for the tree and the items pane";
}

// A click on the empty part of the tree leaves no node selected: the song list shows the
// roots, which cannot be watched, without a word; Publish then has nothing to publish.
TEST_F(PublishingWindowTest, ClickingTheEmptyPartOfTheTreeListsTheRootsQuietly)
{
    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ASSERT_TRUE(window.MusicPage());
    QApplication::setActiveWindow(&window);
    TMediaPage& music = *window.MusicPage();
    auto* songs = qobject_cast<TMusicItems*>(music.ItemsView);
    ASSERT_TRUE(songs);
    QTreeWidget& tree = *music.MediaTree->Tree;
    QTreeWidgetItem* musicNode = nullptr;
    ASSERT_TRUE(Settle([&] { return (musicNode = NodeNamed(tree, nullptr, "Music")) != nullptr; }));
    tree.setFocus(Qt::MouseFocusReason);
    tree.setCurrentItem(musicNode);
    auto rows = [&] {
        QStringList texts;
        for (int row = 0; row < songs->List->count(); ++row)
            texts << songs->List->item(row)->text();
        return texts;
    };
    ASSERT_TRUE(Settle([&] { return rows() == QStringList{"Album"}; })) << rows().join(", ").toStdString();
    QAction* publishItem = MenuItem(window, "&File", "&Publish");
    music.UpdateActions();
    ASSERT_TRUE(publishItem->isEnabled());

    const QPointF empty(20, tree.viewport()->height() - 5);
    ASSERT_EQ(tree.itemAt(empty.toPoint()), nullptr);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, empty, tree.viewport()->mapToGlobal(empty), Qt::LeftButton,
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree.viewport(), &click);
    }
    ASSERT_EQ(music.MediaTree->SelectedItem(), nullptr);
    // Ctrl+H before the next idle pass updated the command.
    publishItem->trigger();
    QStringList roots;
    for (int index = 0; index < tree.topLevelItemCount(); ++index)
        roots << tree.topLevelItem(index)->text(0);
    roots.sort();
    EXPECT_TRUE(Settle([&] {
        QStringList shown = rows();
        shown.sort();
        return shown == roots;
    })) << rows().join(", ").toStdString();
    EXPECT_TRUE(RecordedBoxes::texts.empty()) << RecordedBoxes::texts.front();
    EXPECT_FALSE(music.CanUndo()) << "a publish of nothing does nothing";
}

// Publishing what is published already: the box names the whole path and says why.
TEST_F(PublishingWindowTest, APublishThatFailsSaysWhichItemAndWhy)
{
    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ASSERT_TRUE(window.MusicPage());
    TMediaPage& music = *window.MusicPage();
    const fs::path album = m_user.Music() / "Album";
    MyMediaItem albumItem(MakeUrl(("file://" + album.string()).c_str()), nullptr, window.Queue());
    music.PublishItemList({&albumItem}, true);
    ASSERT_TRUE(RecordedBoxes::texts.empty()) << RecordedBoxes::texts.front();
    music.PublishItemList({&albumItem}, true);
    ASSERT_EQ(RecordedBoxes::texts.size(), 1u);
    EXPECT_EQ(RecordedBoxes::texts[0],
        "'" + album.string() + "' is not publishable as a music item.\n\nIt is already published.");
}

// Every popup menu opens from the keyboard, at the current item, and the window's own keys
// for properties and quitting reach their commands.
TEST_F(PublishingWindowTest, ShiftF10AndTheMenuKeyOpenEveryPopupMenu)
{
    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ASSERT_TRUE(window.MusicPage() && window.PhotosPage());
    QApplication::setActiveWindow(&window);
    TMediaPage& music = *window.MusicPage();
    TMediaPage& photos = *window.PhotosPage();
    QTreeWidget& tree = *music.MediaTree->Tree;
    QTreeWidgetItem* musicNode = nullptr;
    ASSERT_TRUE(Settle([&] { return (musicNode = NodeNamed(tree, nullptr, "Music")) != nullptr; }));
    tree.setCurrentItem(musicNode);
    auto* songs = qobject_cast<TMusicItems*>(music.ItemsView);
    auto* grid = qobject_cast<TPhotoItems*>(photos.ItemsView);
    ASSERT_TRUE(songs && grid);

    struct Case {
        int tab;
        QWidget* view;
        const char* menu;
    };
    const Case cases[] = {{0, &tree, "MediaTreePopupMenu"}, {0, songs->List, "MusicItemsPopupMenu"},
        {0, music.PublishedList->List, "PopupMenu1"}, {1, grid->ScrollBox, "PhotoItemsPopupMenu"}};
    // Each page has menus of its own.
    TMediaPage* const pages[] = {&music, &photos};
    for (const Case& c : cases) {
        window.findChild<QTabWidget*>()->setCurrentIndex(c.tab);
        c.view->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(WaitUntil([&] { return c.view->hasFocus(); })) << c.menu;
        auto* menu = pages[c.tab]->findChild<QMenu*>(c.menu);
        ASSERT_TRUE(menu) << c.menu;
        for (const QKeyCombination key : {QKeyCombination(Qt::SHIFT, Qt::Key_F10), QKeyCombination(Qt::Key_Menu)}) {
            QTest::keyClick(c.view, key.key(), key.keyboardModifiers());
            EXPECT_TRUE(WaitUntil([&] { return menu->isVisible(); }, 3000))
                << c.menu << " " << QKeySequence(key).toString().toStdString();
            menu->close();
            ASSERT_TRUE(WaitUntil([&] { return !menu->isVisible(); }));
            c.view->setFocus(Qt::MouseFocusReason);
        }
    }

    // Alt+Enter on the tree's node opens its properties; Ctrl+Q closes the window.
    window.findChild<QTabWidget*>()->setCurrentIndex(0);
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(WaitUntil([&] { return window.isActiveWindow(); }));
    tree.setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(WaitUntil([&] { return music.ActivePanel == TMediaPage::apTree; }));
    music.UpdateActions();
    ASSERT_TRUE(music.PropertiesAction->isEnabled());
    bool opened = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(WaitUntil([] { return qobject_cast<QDialog*>(QApplication::activeModalWidget()) != nullptr; }));
        opened = true;
        QApplication::activeModalWidget()->close();
    });
    QTest::keyClick(&tree, Qt::Key_Return, Qt::AltModifier);
    EXPECT_TRUE(opened) << "Alt+Enter opens Properties";

    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(WaitUntil([&] { return window.isActiveWindow(); }));
    QTest::keyClick(&tree, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(WaitUntil([&] { return !window.isVisible(); })) << "Ctrl+Q quits";
}

// The status bar counts the active pane's selection and says what the newest publish came to,
// failures included.
TEST_F(PublishingWindowTest, TheStatusBarCountsTheSelectionAndTellsHowAPublishWent)
{
    TLumoConnectPublisher& window = ShownWindow(m_folder.Path());
    ASSERT_TRUE(window.MusicPage());
    QApplication::setActiveWindow(&window);
    TMediaPage& music = *window.MusicPage();
    auto* selection = window.findChild<QLabel*>("SelectionPanel");
    auto* result = window.findChild<QLabel*>("ResultPanel");
    ASSERT_TRUE(selection && result);
    auto shows = [&](QLabel* label, const QString& text) { return Settle([&] { return label->text() == text; }); };

    QTreeWidget& tree = *music.MediaTree->Tree;
    QTreeWidgetItem* musicNode = nullptr;
    ASSERT_TRUE(Settle([&] { return (musicNode = NodeNamed(tree, nullptr, "Music")) != nullptr; }));
    tree.setCurrentItem(musicNode);
    auto* songs = qobject_cast<TMusicItems*>(music.ItemsView);
    ASSERT_TRUE(songs);
    ASSERT_TRUE(Settle([&] { return songs->List->count() > 0; }));
    songs->List->setFocus(Qt::MouseFocusReason);
    songs->List->selectAll();
    const int rows = songs->List->count();
    EXPECT_TRUE(shows(selection, rows == 1 ? QString("1 item selected") : QString("%1 items selected").arg(rows)))
        << selection->text().toStdString();
    songs->List->clearSelection();
    EXPECT_TRUE(shows(selection, "")) << selection->text().toStdString();

    const fs::path album = m_user.Music() / "Album";
    MyMediaItem albumItem(MakeUrl(("file://" + album.string()).c_str()), nullptr, window.Queue());
    music.PublishItemList({&albumItem}, true);
    EXPECT_TRUE(shows(result, "Published 1 item")) << result->text().toStdString();
    music.PublishItemList({&albumItem, &albumItem}, true);
    EXPECT_TRUE(shows(result, "2 items could not be published")) << result->text().toStdString();
    music.Undo();
    EXPECT_TRUE(shows(result, "Unpublished 1 item")) << result->text().toStdString();
}
