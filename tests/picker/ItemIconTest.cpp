// The shared icon lists and the order in which an item's icon is decided.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QPixmap>

#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "host/HostInternals.h"
#include "host/MediaItem.h"
#include "host/UrlImpl.h"
#include "picker/ItemIconList.h"
#include "support/HostFolder.h"

namespace {

// Icons need the widget application; one for the whole run.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_application = std::make_unique<QApplication>(m_argc, m_argv); }
    void TearDown() override { m_application.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "ItemIconTest";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_application;
};
[[maybe_unused]] ::testing::Environment* const g_application
    = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

struct Answer {
    bool found = false;
    ItemIconList* list = nullptr;
    int index = -1;
    QString Name() const { return list ? list->Icon(index).name() : QString(); }
};

Answer IconFor(
    const std::string& csidl, const std::string& type, const std::string& location, uint32_t flags = c_ItemIconSmall)
{
    Answer answer;
    answer.found = GetIconForProperties(csidl, type, location, flags, answer.list, answer.index);
    return answer;
}

} // namespace

TEST(ItemIconList, EachKeyIsStoredOnce)
{
    ItemIconList& list = ItemIconList::Small();
    QPixmap red(16, 16), blue(16, 16);
    red.fill(Qt::red);
    blue.fill(Qt::blue);
    const int before = list.Count();
    const int first = list.IndexOf(QIcon(red), "test:once");
    EXPECT_EQ(list.IndexOf(QIcon(blue), "test:once"), first);
    EXPECT_EQ(list.Icon(first).pixmap(16).toImage().pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(list.IndexOf(QIcon(), "test:null"), -1);
    EXPECT_TRUE(list.Icon(list.Count()).isNull());
    EXPECT_EQ(list.Count(), before + 1);
}

TEST(GetItemIcon, SpecialFoldersComeFirstAndTheFirstWithAnIconWins)
{
    const Answer documents = IconFor("5", "", "");
    const Answer favourites = IconFor("6", "", "");
    ASSERT_TRUE(documents.found && favourites.found);
    EXPECT_NE(documents.index, favourites.index);
    EXPECT_EQ(IconFor("5,6", "", "").index, documents.index);
    // A number without a known folder has no icon, so the next one is asked.
    EXPECT_EQ(IconFor("200, 6", "", "").index, favourites.index);
    EXPECT_EQ(IconFor("5", "music", "/tmp").index, documents.index);

    for (const char* csidl : {"300,13", "-1,13", "abc,13"}) {
        EXPECT_THROW(IconFor(csidl, "", ""), LumoAssertException) << csidl;
        setenv("LUMO_ASSERT", "ignore", 1);
        EXPECT_EQ(IconFor(csidl, "", "").index, IconFor("13", "", "").index) << csidl;
        setenv("LUMO_ASSERT", "recover", 1);
    }
}

TEST(GetItemIcon, FolderTypesShareTheSpecialFolderEntries)
{
    const struct {
        const char* type;
        const char* csidl;
    } cases[] = {{"music", "13"}, {"pictures", "39"}, {"videos", "14"}, {"documents", "5"}, {"desktop", "0"}};
    for (const auto& entry : cases) {
        const Answer byType = IconFor("", entry.type, "");
        EXPECT_TRUE(byType.found) << entry.type;
        EXPECT_EQ(byType.index, IconFor(entry.csidl, "", "").index) << entry.type;
    }
    EXPECT_TRUE(IconFor("", "download", "").found);
    EXPECT_FALSE(IconFor("", "Music", "").found);
}

TEST(GetItemIcon, LocationsAreLookedUpOnDiskThenByExtension)
{
    ModuleFolder folder;
    const Answer small = IconFor("", "", folder.Path(), c_ItemIconSmall);
    const Answer large = IconFor("", "", folder.Path(), c_ItemIconLarge);
    EXPECT_EQ(small.list, &ItemIconList::Small());
    EXPECT_EQ(large.list, &ItemIconList::Large());
    EXPECT_EQ(small.Name(), "folder");
    EXPECT_EQ(IconFor("", "", folder.Path(), c_ItemIconSmall | c_ItemIconOpen).Name(), "folder-open");

    // Without an extension only the file itself can tell.
    std::ofstream(folder.File("notes")) << "plain words\n";
    EXPECT_TRUE(IconFor("", "", folder.File("notes")).found);
    std::filesystem::remove(folder.File("notes"));
    const Answer gone = IconFor("", "", folder.File("notes"));
    EXPECT_TRUE(!gone.found && !gone.list && gone.index == -1);

    const QString song = IconFor("", "", "/nowhere/song.mp3").Name();
    EXPECT_TRUE(song == "audio-mpeg" || song == "audio-x-generic") << song.toStdString();
    EXPECT_FALSE(IconFor("", "", "/nowhere/folder.d/file").found);
}

TEST(GetItemIcon, WebLinksUseTheLinkIconWithoutTouchingTheDisk)
{
    const Answer link = IconFor("", "", "/nowhere/shortcut.url");
    ASSERT_TRUE(link.found);
    // A folder that a disk lookup of the address would find: "http:/unreachable.invalid/page".
    ModuleFolder folder;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::create_directories(folder.File("http:/unreachable.invalid/page"));
    std::filesystem::current_path(folder.Path());
    EXPECT_EQ(IconFor("", "", "http://unreachable.invalid/page").index, link.index);
    EXPECT_EQ(IconFor("", "", "HTTPS://unreachable.invalid/page").index, link.index);
    std::filesystem::current_path(previous);
}

TEST(GetItemIcon, ReadsTheItemsProperties)
{
    HostFolder folder;
    HostInternals host(folder.Path());
    auto setProperty = folder.MediaFunction<void (*)(const char*, const char*, const char*)>("Fixture_SetProperty");
    ASSERT_NE(setProperty, nullptr);
    setProperty("mem://fixture/root/song1.fxa", "ShellObjectCSIDL", "200,13");
    MediaItem song(MakeUrl("mem://fixture/root/song1.fxa"));
    ItemIconList* list = nullptr;
    int index = -1;
    EXPECT_TRUE(GetItemIcon(song, c_ItemIconLarge, list, index));
    EXPECT_EQ(list, &ItemIconList::Large());
    EXPECT_EQ(index, IconFor("", "music", "", c_ItemIconLarge).index);
}
