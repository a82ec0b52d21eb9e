// The photo and container properties dialogs over a real host, and the tips they build: the
// captions of untitled items, what missing details show, and the count of a folder's children
// driven tick by tick.
#include <string>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "PickerTestSupport.h"
#include "picker/ContainerPropsForm.h"
#include "picker/MyMediaItem.h"
#include "picker/PhotoPropsForm.h"
#include "picker/PropsFormSupport.h"
#include "picker/Utilities.h"
#include "platform/MessageBox.h"
#include "support/WidgetApplication.h"

namespace {

constexpr char c_Root[] = "mem://fixture/root";
constexpr char c_Container[] = "x-container/mem";
constexpr char c_Photo[] = "image/x-fixture";

// Any box shown means a dialog met an error or an assertion it should not have.
struct Boxes {
    static inline std::vector<std::string> texts;
    static int Show(const char* text, const char*, uint32_t)
    {
        texts.push_back(text);
        return Platform::IDOK;
    }
};

class PropsTest : public testing::Test {
protected:
    PropsTest()
    {
        WidgetApplication();
        Boxes::texts.clear();
        m_previousBox = Platform::SetMessageBoxHandler(&Boxes::Show);
    }
    ~PropsTest() override { Platform::SetMessageBoxHandler(m_previousBox); }

    template <class Function>
    Function Fixture(const char* name)
    {
        Function function = m_folder.MediaFunction<Function>(name);
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    std::string Add(const std::string& parent, const std::string& leaf, const char* contentType)
    {
        const std::string url = parent + "/" + leaf;
        Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
            parent.c_str(), url.c_str(), contentType, 0);
        return url;
    }

    void Set(const std::string& url, const char* name, const char* value)
    {
        Fixture<void (*)(const char*, const char*, const char*)>("Fixture_SetProperty")(url.c_str(), name, value);
    }

    int LiveObjects() { return Fixture<int (*)()>("Fixture_LiveObjects")(); }

    std::unique_ptr<MyMediaItem> Item(const std::string& url)
    {
        return std::make_unique<MyMediaItem>(MemUrl(url.c_str()), nullptr, m_queue);
    }

    // A shown container dialog whose timer is left to the test.
    std::unique_ptr<TContainerProps> ContainerDialog(const std::string& url)
    {
        auto item = Item(url);
        auto dialog = std::make_unique<TContainerProps>(nullptr, *item);
        dialog->Timer1->stop();
        dialog->show();
        return dialog;
    }

    static void Tick(TContainerProps& dialog, int times)
    {
        for (int tick = 0; tick < times; ++tick)
            dialog.Timer1Timer();
    }

    static std::string Text(const QLabel* label) { return label->text().toStdString(); }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    UpdateQueue m_queue;
    Platform::MessageBoxHandler m_previousBox = nullptr;
};

} // namespace

TEST_F(PropsTest, UntitledItemsGetTheKindInTheCaptionAndMissingDetailsShowUnknown)
{
    // A URL ending in "/" has an empty file name, hence no title.
    const std::string folder = Add(c_Root, "", c_Container);
    const std::string photo = Add(c_Root, "shots/", c_Photo);

    auto containerDialog = ContainerDialog(folder);
    EXPECT_EQ(containerDialog->windowTitle().toStdString(), "Container Properties");
    EXPECT_EQ(Text(containerDialog->ContainerPropsCreated), "Unknown");
    EXPECT_EQ(Text(containerDialog->ContainerPropsLocation), folder);
    EXPECT_EQ(Text(containerDialog->ContainerPropsContains), "");

    auto item = Item(photo);
    TPhotoProps photoDialog(nullptr, *item);
    photoDialog.show();
    EXPECT_EQ(photoDialog.windowTitle().toStdString(), "Image Properties");
    for (const QLabel* label : {photoDialog.PhotoPropsTakenDate, photoDialog.PhotoPropsImportedDate,
             photoDialog.PhotoPropsModifiedDate, photoDialog.PhotoPropsFileSize})
        EXPECT_EQ(Text(label), "Unknown") << label->objectName().toStdString();
    EXPECT_TRUE(photoDialog.isVisible());
    EXPECT_TRUE(Boxes::texts.empty());
}

TEST_F(PropsTest, PhotoDialogShowsEachDetailInItsLabel)
{
    const std::string photo = std::string(c_Root) + "/photo1.fxi";
    Set(photo, "CaptureDate", "1078495629");
    Set(photo, "CreationDate", "1078499229");
    Set(photo, "LastChangeDate", "-5");
    Set(photo, "SourceSize", "123456");
    auto item = Item(photo);
    TPhotoProps dialog(nullptr, *item);
    dialog.show();

    EXPECT_EQ(dialog.windowTitle().toStdString(), "photo1 Properties");
    EXPECT_EQ(Text(dialog.PhotoPropsTakenDate), FormatDate("1078495629"));
    EXPECT_EQ(Text(dialog.PhotoPropsImportedDate), FormatDate("1078499229"));
    EXPECT_EQ(Text(dialog.PhotoPropsModifiedDate), "Unknown");
    EXPECT_EQ(Text(dialog.PhotoPropsFileSize), "123,456 Bytes");
    EXPECT_EQ(Text(dialog.PhotoPropsLocation), photo);
}

TEST_F(PropsTest, LongLocationsKeepTheirRootAndFileName)
{
    const QFontMetrics metrics(QApplication::font());
    const QString path = "/home/someone/Pictures/Holidays/2004/Coast/IMG_0042.jpg";
    const QString shortened
        = PropsForm::ShortenPath(path, metrics, metrics.horizontalAdvance("/.../Coast/IMG_0042.jpg"));
    EXPECT_EQ(shortened.toStdString(), "/.../Coast/IMG_0042.jpg");
    EXPECT_EQ(PropsForm::ShortenPath(path, metrics, 2000), path);
}

TEST_F(PropsTest, TipsFollowTheKindOfItem)
{
    const std::string photo = std::string(c_Root) + "/photo1.fxi";
    const std::string song = std::string(c_Root) + "/song1.fxa";
    const std::string folder = std::string(c_Root) + "/Album.2003";

    auto photoItem = Item(photo);
    // Empty dimensions still make the first line.
    EXPECT_EQ(PhotoSummary(*photoItem), "W x H\n" + photo);
    Set(photo, "SourceWidth", "640");
    Set(photo, "SourceHeight", "480");
    EXPECT_EQ(PhotoSummary(*photoItem), "640W x 480H\n" + photo);

    auto songItem = Item(song);
    auto folderItem = Item(folder);
    EXPECT_EQ(PhotoSummary(*songItem), "");
    EXPECT_EQ(PhotoSummary(*folderItem), "");
    EXPECT_EQ(ContainerSummary(*folderItem), folder);
    EXPECT_EQ(ContainerSummary(*photoItem), "");
    EXPECT_EQ(ContainerSummary(*songItem), "");
}

TEST_F(PropsTest, CountVisitsOneChildPerTickAndDropsThePrefixAtTheEnd)
{
    const std::string folder = Add(c_Root, "count", c_Container);
    Set(Add(folder, "a.fxi", c_Photo), "SourceSize", "1000");
    Set(Add(folder, "sub1", c_Container), "SourceSize", "500");
    Set(Add(folder, "b.fxi", c_Photo), "SourceSize", "2000");
    Add(folder, "sub2", c_Container);
    // Not a number: counts as 0 bytes.
    Set(Add(folder, "c.fxi", c_Photo), "SourceSize", "12 KB");

    auto dialog = ContainerDialog(folder);
    Tick(*dialog, 5);
    EXPECT_EQ(Text(dialog->ContainerPropsContains), "Calculating... 3 Files, 2 Folders");
    EXPECT_EQ(Text(dialog->ContainerPropsSize), "Calculating... 3,500 Bytes");
    EXPECT_TRUE(dialog->Counting());

    Tick(*dialog, 1);
    EXPECT_EQ(Text(dialog->ContainerPropsContains), "3 Files, 2 Folders");
    EXPECT_EQ(Text(dialog->ContainerPropsSize), "3,500 Bytes");
    EXPECT_FALSE(dialog->Counting());
    // A screen reader hears the count as it ends, not as it was when the dialog opened.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(dialog->ContainerPropsContains)->text(QAccessible::Name),
        "Contains: 3 Files, 2 Folders");

    auto empty = ContainerDialog(Add(c_Root, "empty", c_Container));
    Tick(*empty, 1);
    EXPECT_EQ(Text(empty->ContainerPropsContains), "0 Files, 0 Folders");
    EXPECT_EQ(Text(empty->ContainerPropsSize), "0 Bytes");
    EXPECT_FALSE(empty->Counting());
    EXPECT_TRUE(Boxes::texts.empty());
}

TEST_F(PropsTest, ClosingOrAFailedListingEndsTheCount)
{
    const std::string folder = Add(c_Root, "count", c_Container);
    for (const char* leaf : {"a.fxi", "b.fxi", "c.fxi"})
        Add(folder, leaf, c_Photo);

    auto dialog = ContainerDialog(folder);
    Tick(*dialog, 2);
    const int liveWhileCounting = LiveObjects();
    dialog->Button1->click();
    EXPECT_FALSE(dialog->Counting());
    EXPECT_LT(LiveObjects(), liveWhileCounting) << "the enumerator outlived the dialog's closing";
    Tick(*dialog, 3);
    EXPECT_EQ(Text(dialog->ContainerPropsContains), "Calculating... 2 Files, 0 Folders");

    // A listing that fails would fail on every tick; the count ends with what it has.
    Fixture<void (*)(const char*, int, uint32_t)>("Fixture_SetFailure")(folder.c_str(), 1, 5);
    auto failing = ContainerDialog(folder);
    Tick(*failing, 2);
    EXPECT_FALSE(failing->Counting());
    EXPECT_EQ(Text(failing->ContainerPropsContains), "1 Files, 0 Folders");
    EXPECT_TRUE(Boxes::texts.empty());
}
