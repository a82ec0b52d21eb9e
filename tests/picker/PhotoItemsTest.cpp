// The photo grid's window over a real host: cell geometry and caption breaking, the listing of a
// container, keys and mouse reaching the model, dragging a selection, the rubber band with its
// auto-scroll, and progressive rendering off the interface thread that gives up on a bad picture
// for good. The rules themselves are tested on the model (PhotoGridModelTest).
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include "PickerTestSupport.h"
#include "host/MediaClassGroup.h"
#include "picker/MediaItemDragObj.h"
#include "picker/MediaTreeForm.h"
#include "picker/MyMediaItem.h"
#include "picker/PhotoCellGeometry.h"
#include "picker/PhotoItemsForm.h"
#include "picker/PhotosPageForm.h"
#include "platform/MessageBox.h"
#include "support/WidgetApplication.h"

using namespace LumoApi;
using Geometry = PhotoCellGeometry;

namespace {

constexpr char c_Folder[] = "mem://fixture/root/Holiday";
constexpr char c_Container[] = "x-container/mem";
constexpr char c_Photo[] = "image/x-fixture";
// Viewport 465 x 400: three columns, two whole rows, a third row partly in view.
constexpr int c_GridWidth = 480;
constexpr int c_GridHeight = 400;

// Answers every box with OK, keeping the captions.
std::vector<std::string> g_boxes;

int Silent(const char*, const char* caption, uint32_t)
{
    g_boxes.push_back(caption);
    return Platform::IDOK;
}

TEST(PhotoCellGeometryTest, CellsGridBandAndAutoScroll)
{
    struct Row {
        QRect actual;
        QRect expected;
    };
    const Row rectangles[] = {
        {Geometry::CellRect(), QRect(QPoint(0, 0), QPoint(129, 149))},
        {Geometry::ImageArea(), QRect(QPoint(0, 0), QPoint(129, 129))},
        {Geometry::CaptionStrip(), QRect(QPoint(0, 130), QPoint(129, 149))},
        {Geometry::FrameRect(), QRect(QPoint(4, 4), QPoint(125, 125))},
        {Geometry::ThumbnailRect(), QRect(QPoint(7, 7), QPoint(122, 122))},
    };
    for (const Row& row : rectangles)
        EXPECT_EQ(row.actual, row.expected);

    const std::pair<int, int> columns[] = {{133, 1}, {134, 1}, {268, 1}, {269, 2}, {404, 3}};
    for (auto [width, expected] : columns)
        EXPECT_EQ(Geometry::ColumnsFor(width), expected) << width;
    EXPECT_EQ(Geometry::RowsFor(149), 0);
    EXPECT_EQ(Geometry::RowsFor(154), 1);
    EXPECT_EQ(Geometry::RowsFor(326), 2);

    EXPECT_EQ(Geometry::CellPosition(0, 3, 0), QPoint(2, 2));
    EXPECT_EQ(Geometry::CellPosition(4, 3, 0), QPoint(2 + 135, 2 + 172));
    EXPECT_EQ(Geometry::CellPosition(7, 3, 100), QPoint(2 + 135, 2 + 2 * 172 - 100));
    EXPECT_EQ(Geometry::CellPosition(5, 0, 0), QPoint(2, 2 + 5 * 172)) << "no columns lays out one";

    EXPECT_EQ(Geometry::BandTarget(QRect(0, 0, 130, 150)), QRect(QPoint(16, 18), QPoint(113, 131)));

    const std::pair<int, int> steps[] = {{-20, -50}, {-40, -100}, {-90, -100}, {419, 50}, {300, 0}, {0, 0}, {-1, 0}};
    for (auto [y, step] : steps)
        EXPECT_EQ(Geometry::AutoScrollStep(y, 400), step) << y;

    QRect sides[4];
    Geometry::SelectionFrame(Geometry::ImageArea(), sides);
    QRegion ring;
    for (const QRect& side : sides)
        ring += side;
    EXPECT_TRUE(ring.contains(QPoint(0, 0)) && ring.contains(QPoint(129, 129)) && ring.contains(QPoint(2, 64)));
    EXPECT_FALSE(ring.contains(QPoint(3, 3)) || ring.contains(QPoint(126, 64)) || ring.contains(QPoint(64, 130)));
}

TEST(PhotoCellGeometryTest, FitCaptionBreaksAtASpaceElseAtACharacter)
{
    WidgetApplication();
    QFont font;
    font.setPixelSize(11);
    const QFontMetrics metrics(font);
    const int line = metrics.height();
    bool fitted = false;

    const QString words = "Holiday pictures from the seaside";
    const int wordsWidth = metrics.horizontalAdvance("Holiday pictures") + 1;
    QStringList lines = Geometry::FitCaption(words, metrics, wordsWidth, 3 * line, fitted);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Holiday pictures");
    EXPECT_TRUE(lines[1].startsWith(" from")) << "the space at a break begins the next line";
    EXPECT_TRUE(fitted);

    const QString word = "Supercalifragilistic";
    const int wordWidth = metrics.horizontalAdvance("Supercal") + 1;
    lines = Geometry::FitCaption(word, metrics, wordWidth, line, fitted);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_FALSE(fitted);
    EXPECT_TRUE(lines[0].endsWith("..."));
    EXPECT_TRUE(word.startsWith(lines[0].chopped(3)));
    EXPECT_LE(metrics.horizontalAdvance(lines[0]), wordWidth);

    lines = Geometry::FitCaption(word, metrics, wordWidth, 2 * line, fitted);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Supercal") << "without a space the line breaks at a character";

    EXPECT_TRUE(Geometry::FitCaption("Short", metrics, 130, line - 1, fitted).isEmpty())
        << "a font taller than the strip leaves no lines";
    EXPECT_EQ(Geometry::FitCaption("Short", metrics, 130, 20, fitted), QStringList{"Short"});
    EXPECT_TRUE(fitted);
}

class PhotoItemsTest : public testing::Test {
protected:
    PhotoItemsTest()
    {
        WidgetApplication();
        g_boxes.clear();
        m_previousBox = Platform::SetMessageBoxHandler(&Silent);
        m_page = std::make_unique<PhotosPageForm>(nullptr, Class(), m_queue, [] { return true; });
        m_grid = std::make_unique<TPhotoItems>(nullptr, *m_page, *m_page->MediaTree, m_queue);
        m_grid->RenderingTimer->stop();
        m_grid->resize(c_GridWidth, c_GridHeight);
        m_grid->show();
        m_grid->SetDragStarter([this](std::unique_ptr<MediaItemDragObj> drag, const QImage&) {
            m_dragged.clear();
            for (MyMediaItem* item : drag->Items())
                m_dragged.push_back(item->Url()->GetText());
        });
    }
    ~PhotoItemsTest() override
    {
        m_grid.reset();
        m_page.reset();
        m_shown.reset();
        Fixture<void (*)()>("Fixture_Reset")();
        Platform::SetMessageBoxHandler(m_previousBox);
    }

    template <class Function>
    Function Fixture(const char* name)
    {
        return m_folder.MediaFunction<Function>(name);
    }

    MediaClass& Class() { return m_host.MediaClasses().ById("FixtureMedia"); }

    static std::string Child(int index, const char* parent = c_Folder)
    {
        return std::string(parent) + "/p" + std::to_string(100 + index) + ".fxi";
    }

    // A folder of count photos (and the listed containers), shown in the grid.
    void ShowFolder(int count, const char* folder = c_Folder, std::vector<std::string> containers = {})
    {
        auto add = Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild");
        add("mem://fixture/root", folder, c_Container, 0);
        for (const std::string& container : containers)
            add(folder, container.c_str(), c_Container, 0);
        for (int index = 0; index < count; ++index)
            add(folder, Child(index, folder).c_str(), c_Photo, 0);
        m_shown = std::make_unique<MyMediaItem>(MemUrl(folder), nullptr, m_queue);
        ShowContainerEvent show(m_shown->Url());
        QCoreApplication::sendEvent(m_grid.get(), &show);
        ASSERT_TRUE(Settle(count + int(containers.size())));
    }

    // Until the grid holds cells and the queue is drained; an empty grid waits for its panel.
    bool Settle(int cells)
    {
        return WaitUntil([&] {
            if (cells == 0 && m_grid->NoItemsPanel->isHidden()) {
                QEvent refresh(c_RefreshEvent);
                QCoreApplication::sendEvent(m_grid.get(), &refresh);
                while (!m_queue.DeliverOne()) { }
                QCoreApplication::processEvents();
                return false;
            }
            QEvent refresh(c_RefreshEvent);
            QCoreApplication::sendEvent(m_grid.get(), &refresh);
            while (!m_queue.DeliverOne()) { }
            QCoreApplication::processEvents();
            return m_grid->Count() == cells && m_queue.Count() == 0;
        });
    }

    std::vector<int> Selected() const
    {
        std::vector<int> cells;
        for (int index = 0; index < m_grid->Count(); ++index) {
            if (m_grid->Cell(index).Selected)
                cells.push_back(index);
        }
        return cells;
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(m_grid->ScrollBox, &press);
    }

    void Mouse(QEvent::Type type, const QPoint& at, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
        Qt::MouseButton button = Qt::LeftButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, QPointF(at), QPointF(m_grid->ScrollBox->viewport()->mapToGlobal(at)),
            type == QEvent::MouseMove ? Qt::NoButton : button, held, modifiers);
        QCoreApplication::sendEvent(m_grid->ScrollBox->viewport(), &event);
    }

    // One render tick, and its thumbnail's answer if it asked for one.
    void Tick()
    {
        m_grid->RenderingTimerTimer();
        ASSERT_TRUE(WaitUntil([&] { return m_grid->ThumbnailsOutstanding() == 0; }));
    }

    QPoint CellCenter(int index) const { return m_grid->CellPosition(index) + QPoint(65, 75); }

    void Click(int index, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        Mouse(QEvent::MouseButtonPress, CellCenter(index), modifiers);
        Mouse(QEvent::MouseButtonRelease, CellCenter(index), modifiers);
    }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    UpdateQueue m_queue;
    Platform::MessageBoxHandler m_previousBox = nullptr;
    std::unique_ptr<PhotosPageForm> m_page;
    std::unique_ptr<TPhotoItems> m_grid;
    std::unique_ptr<MyMediaItem> m_shown;
    std::vector<std::string> m_dragged;
};

} // namespace

TEST_F(PhotoItemsTest, ListingFillsTheGridAndTheNoItemsPanelNamesAnEmptyContainer)
{
    EXPECT_NE(qobject_cast<TPhotoItems*>(m_page->ItemsView), nullptr) << "the photos page shows the grid";

    ShowFolder(0, "mem://fixture/root/Empty Box");
    EXPECT_FALSE(m_grid->NoItemsPanel->isHidden());
    EXPECT_EQ(
        m_grid->NoItemsPanel->text().toStdString(), "'Empty Box' does not contain any publishable photo content.");

    ShowFolder(4);
    EXPECT_TRUE(m_grid->NoItemsPanel->isHidden());
    EXPECT_EQ(m_grid->Cell(0).Title.toStdString(), "p100");
    EXPECT_EQ(m_grid->Columns(), 3);
    EXPECT_EQ(m_grid->Rows(), 2);

    // A removal reported by the container's subscription.
    Fixture<void (*)(const char*, int, const char*, int)>("Fixture_Notify")(c_Folder, 1, Child(1).c_str(), 1);
    ASSERT_TRUE(Settle(3));
    EXPECT_EQ(m_grid->Cell(1).Title.toStdString(), "p102");

    m_grid->SelectAll();
    QList<MyMediaItem*> items;
    SelectedItemsEvent query(items);
    QCoreApplication::sendEvent(m_grid.get(), &query);
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(std::string(items[2]->Url()->GetText()), Child(3));
}

// The keyboard's table is the model's; here the keys reach it and paging follows the scrolling.
TEST_F(PhotoItemsTest, KeyboardMovesSelectsAndPages)
{
    ShowFolder(30);
    ASSERT_EQ(m_grid->Columns(), 3);

    Key(Qt::Key_Down);
    Key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(Selected(), std::vector<int>{0});
    EXPECT_EQ(m_grid->NavFocus(), 3);
    Key(Qt::Key_Space, Qt::ControlModifier);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4, 5, 6})) << "Shift selects from the anchor";

    // Rows 0 and 1 are wholly in view, row 2 partly: Page Down goes to the last row that
    // starts in view, then a page further.
    Key(Qt::Key_Home);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_grid->Current(), 6);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_grid->Current(), 12);
    Key(Qt::Key_End);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_grid->Current(), 29) << "past the end stays in the last cell's column";
    Key(Qt::Key_PageUp);
    const int top = m_grid->Current();
    EXPECT_EQ(top % 3, 29 % 3);
    EXPECT_LT(top, 29);
    EXPECT_GE(m_grid->CellPosition(top).y() + Geometry::c_CellHeightPx, 0) << "the first row still in view";
    for (int page = 0; page < 5; ++page)
        Key(Qt::Key_PageUp);
    EXPECT_EQ(m_grid->Current(), 2) << "the walk ends in the first row of the column";
    EXPECT_EQ(m_grid->ScrollPosition(), 0);
}

TEST_F(PhotoItemsTest, PressingASelectedCellDragsTheSelectionOrSelectsItAlone)
{
    ShowFolder(6);
    Click(0);
    Click(2, Qt::ShiftModifier);
    ASSERT_EQ(Selected(), (std::vector<int>{0, 1, 2}));

    const QPoint from = CellCenter(1);
    Mouse(QEvent::MouseButtonPress, from);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1, 2})) << "the press keeps a multiple selection";
    Mouse(QEvent::MouseMove, from + QPoint(1, 1));
    EXPECT_TRUE(m_dragged.empty()) << "within the drag threshold";
    Mouse(QEvent::MouseMove, from + QPoint(QApplication::startDragDistance() + 1, 0));
    EXPECT_EQ(m_dragged, (std::vector<std::string>{Child(0), Child(1), Child(2)}));
    Mouse(QEvent::MouseButtonRelease, from);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1, 2})) << "a drag leaves the selection as it was";

    m_dragged.clear();
    Click(1);
    EXPECT_TRUE(m_dragged.empty());
    EXPECT_EQ(Selected(), std::vector<int>{1}) << "a release without a drag selects the cell alone";
}

TEST_F(PhotoItemsTest, RubberBandSelectsTogglesAndScrolls)
{
    ShowFolder(30);
    // Between the first two rows, in the gap left of the first column.
    const QPoint empty(1, 160);
    Click(0);
    Mouse(QEvent::MouseButtonPress, empty);
    Mouse(QEvent::MouseButtonRelease, empty);
    EXPECT_TRUE(Selected().empty()) << "a click on the empty area clears the selection";

    // From the gap across the first two columns of row 1, just past their inner margins.
    Click(0);
    Mouse(QEvent::MouseButtonPress, empty);
    Mouse(QEvent::MouseMove, QPoint(2 + 135 + 17, 174 + 19));
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4})) << "a plain band replaces the selection";
    Mouse(QEvent::MouseButtonRelease, QPoint(2 + 135 + 17, 174 + 19));
    Mouse(QEvent::MouseButtonPress, empty);
    Mouse(QEvent::MouseMove, QPoint(2 + 135 + 15, 174 + 19));
    EXPECT_EQ(Selected(), std::vector<int>{3}) << "a cell's outer eighth does not count";
    Mouse(QEvent::MouseButtonRelease, QPoint(2 + 135 + 15, 174 + 19));

    Click(4, Qt::ControlModifier);
    ASSERT_EQ(Selected(), (std::vector<int>{3, 4}));
    Mouse(QEvent::MouseButtonPress, empty, Qt::ControlModifier);
    Mouse(QEvent::MouseMove, QPoint(2 + 2 * 135 + 17, 174 + 19), Qt::ControlModifier);
    EXPECT_EQ(Selected(), std::vector<int>{5}) << "Ctrl toggles against the state at the press";
    Mouse(QEvent::MouseMove, QPoint(100, 174 + 19), Qt::ControlModifier);
    EXPECT_EQ(Selected(), (std::vector<int>{4})) << "a cell the band leaves gets its state back";
    Mouse(QEvent::MouseButtonRelease, QPoint(100, 174 + 19), Qt::ControlModifier);

    // Held 20 pixels below the view: 50 pixels per tick, the first at once.
    const int height = m_grid->ScrollBox->viewport()->height();
    Mouse(QEvent::MouseButtonPress, empty);
    Mouse(QEvent::MouseMove, QPoint(300, height - 1 + 20));
    EXPECT_TRUE(m_grid->ScrollingTimer->isActive());
    EXPECT_EQ(m_grid->ScrollStep(), 50);
    EXPECT_EQ(m_grid->ScrollPosition(), 50);
    m_grid->OnScrollingTimer();
    EXPECT_EQ(m_grid->ScrollPosition(), 100);
    EXPECT_EQ(Selected().back(), 8) << "the band follows the scrolling";
    Mouse(QEvent::MouseMove, QPoint(300, -40));
    EXPECT_EQ(m_grid->ScrollStep(), -100);
    Mouse(QEvent::MouseMove, QPoint(300, 100));
    EXPECT_FALSE(m_grid->ScrollingTimer->isActive());
    Mouse(QEvent::MouseButtonRelease, QPoint(300, 100));
    EXPECT_FALSE(m_grid->BandActive());
}

TEST_F(PhotoItemsTest, RenderingDrawsCellsInViewOnceAndNeverRetriesAFailure)
{
    // The fixture's photos have no pictures; its folders render from their icon.
    ShowFolder(20, c_Folder, {std::string(c_Folder) + "/Album"});
    ASSERT_EQ(m_grid->Cell(0).Title.toStdString(), "Album");
    const QImage placeholder = m_grid->CellImage(1);

    m_grid->SelectAll();
    Tick();
    EXPECT_TRUE(m_grid->Cell(0).Rendered);
    const QImage folder = m_grid->CellImage(0);
    EXPECT_EQ(folder.pixelColor(1, 1), m_grid->palette().color(QPalette::Active, QPalette::Highlight))
        << "a selected cell shows its selection when it is drawn";
    m_grid->ClearSelection();

    Tick();
    EXPECT_TRUE(m_grid->Cell(1).RenderFailed);
    EXPECT_FALSE(m_grid->Cell(1).Rendered);
    EXPECT_EQ(m_grid->CellImage(1), placeholder) << "a failed cell keeps its placeholder";
    Tick();
    EXPECT_TRUE(m_grid->Cell(2).RenderFailed) << "the next tick goes on with the next cell";

    for (int tick = 0; tick < 30; ++tick)
        Tick();
    int tried = 0;
    for (int index = 0; index < m_grid->Count(); ++index)
        tried += m_grid->Cell(index).RenderFailed || m_grid->Cell(index).Rendered ? 1 : 0;
    EXPECT_EQ(tried, 9) << "three rows reach into view; the rest are never drawn";
}

TEST_F(PhotoItemsTest, TheRenderingTimerRestsWithNothingToDrawAndAPaintWakesIt)
{
    ShowFolder(0, c_Folder, {std::string(c_Folder) + "/One", std::string(c_Folder) + "/Two"});
    QTimer& timer = *m_grid->RenderingTimer;
    timer.start();
    m_grid->RenderingTimerTimer();
    m_grid->RenderingTimerTimer();
    EXPECT_TRUE(m_grid->Cell(1).Rendered);
    EXPECT_TRUE(timer.isActive()) << "each tick found a cell to draw";
    m_grid->RenderingTimerTimer();
    EXPECT_FALSE(timer.isActive()) << "nothing left in view to draw";
    m_grid->ScrollBox->viewport()->repaint();
    EXPECT_TRUE(timer.isActive()) << "whatever brings work paints the grid";

    m_grid->hide();
    m_grid->RenderingTimerTimer();
    EXPECT_FALSE(timer.isActive()) << "a grid out of sight draws nothing";
    m_grid->show();
    EXPECT_TRUE(WaitUntil([&] { return timer.isActive(); }));

    // A call of its own, as the tests make, leaves a stopped timer stopped.
    timer.stop();
    m_grid->RenderingTimerTimer();
    m_grid->ScrollBox->viewport()->repaint();
    EXPECT_FALSE(timer.isActive());
}

TEST_F(PhotoItemsTest, AThumbnailLargerThanItsPlaceIsReportedOnceAndDrawnFromTheCorner)
{
    QImage big(200, 150, QImage::Format_RGB32);
    big.fill(QColor(0, 0, 255));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(big.save(&buffer, "JPG"));
    m_grid->SetThumbnailLoader([jpeg](const ApiRef<UrlApi>&, int) { return jpeg; });
    ShowFolder(1);

    Tick();
    ASSERT_TRUE(m_grid->Cell(0).Rendered);
    for (int paint = 0; paint < 3; ++paint) {
        const QImage cell = m_grid->CellImage(0);
        const QColor corner = cell.pixelColor(Geometry::ThumbnailRect().topLeft());
        EXPECT_LT(corner.red(), 40);
        EXPECT_GT(corner.blue(), 200);
    }
    m_grid->ScrollBox->viewport()->repaint();
    EXPECT_EQ(g_boxes, std::vector<std::string>{"Assertion Failure"}) << "once, where the picture was stored";
}

TEST_F(PhotoItemsTest, ATickAsksForAThumbnailWithoutWaitingAndAnAnswerForAGoneCellIsDropped)
{
    QImage small(40, 30, QImage::Format_RGB32);
    small.fill(QColor(0, 200, 0));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(small.save(&buffer, "JPG"));
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    const std::thread::id interfaceThread = std::this_thread::get_id();
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto onInterfaceThread = std::make_shared<std::atomic<bool>>(false);
    auto askedPx = std::make_shared<std::atomic<int>>(0);
    m_grid->SetThumbnailLoader([=](const ApiRef<UrlApi>&, int sizePx) {
        if (std::this_thread::get_id() == interfaceThread)
            *onInterfaceThread = true;
        *askedPx = sizePx;
        ++*calls;
        // Long enough for the test; bounded, so a grid that waits fails instead of hanging.
        released.wait_for(std::chrono::seconds(5));
        return jpeg;
    });
    ShowFolder(6);

    m_grid->RenderingTimerTimer();
    m_grid->RenderingTimerTimer();
    EXPECT_TRUE(m_grid->Cell(0).Requested);
    EXPECT_FALSE(m_grid->Cell(0).Rendered) << "the tick did not wait for the picture";
    EXPECT_TRUE(m_grid->Cell(1).Requested) << "the next tick goes on with the next cell";
    m_grid->RenderingTimerTimer();
    EXPECT_FALSE(m_grid->Cell(2).Requested) << "few requests wait at a time";

    ASSERT_TRUE(WaitUntil([&] { return calls->load() == 1; })) << "the first is being made";

    // The cells that asked are gone before their answers come.
    ShowFolder(6, "mem://fixture/root/Other");
    release.set_value();
    ASSERT_TRUE(WaitUntil([&] { return m_grid->ThumbnailsOutstanding() == 0; }));
    QCoreApplication::processEvents();
    for (int index = 0; index < m_grid->Count(); ++index) {
        EXPECT_FALSE(m_grid->Cell(index).Rendered) << index;
        EXPECT_FALSE(m_grid->Cell(index).Requested) << index;
    }
    EXPECT_EQ(calls->load(), 1) << "a request not yet started is dropped with its cell";

    Tick();
    ASSERT_TRUE(m_grid->Cell(0).Rendered);
    EXPECT_FALSE(onInterfaceThread->load());
    const qreal ratio = m_grid->ScrollBox->viewport()->devicePixelRatioF();
    EXPECT_EQ(askedPx->load(), int(std::ceil(Geometry::c_ThumbnailPx * ratio)));
    const QColor middle = m_grid->CellImage(0).pixelColor(Geometry::ThumbnailRect().center());
    EXPECT_GT(middle.green(), 150) << "the answer is drawn in its cell";
}

TEST_F(PhotoItemsTest, FramesAndCaptionsTakeThePalettesColours)
{
    QPalette dark = m_grid->palette();
    dark.setColor(QPalette::Base, QColor(20, 20, 20));
    dark.setColor(QPalette::Text, QColor(250, 0, 0));
    dark.setColor(QPalette::Highlight, QColor(0, 0, 120));
    dark.setColor(QPalette::HighlightedText, QColor(0, 250, 0));
    m_grid->setPalette(dark);
    ShowFolder(1);
    auto strokes = [](const QImage& image, const QColor& ink) {
        int count = 0;
        const QRect strip = Geometry::CaptionStrip();
        for (int y = strip.top(); y <= strip.bottom(); ++y) {
            for (int x = strip.left(); x <= strip.right(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                count += std::abs(pixel.red() - ink.red()) < 60 && std::abs(pixel.green() - ink.green()) < 60 ? 1 : 0;
            }
        }
        return count;
    };
    const QImage plain = m_grid->CellImage(0);
    EXPECT_EQ(plain.pixelColor(Geometry::FrameRect().topLeft()), QColor(250, 0, 0)) << "the frame";
    EXPECT_GT(strokes(plain, QColor(250, 0, 0)), 0) << "the caption's ink";
    m_grid->SelectAll();
    const QImage selected = m_grid->CellImage(0);
    EXPECT_GT(strokes(selected, QColor(0, 250, 0)), 0) << "a selected caption's ink";
}

TEST_F(PhotoItemsTest, EnterWithNoCurrentCellDoesNothing)
{
    ShowFolder(3);
    for (int key : {Qt::Key_Return, Qt::Key_Enter})
        Key(key);
    EXPECT_TRUE(g_boxes.empty()) << "a key press never opens an assertion dialog";
    EXPECT_EQ(m_grid->Current(), -1);
    EXPECT_TRUE(Selected().empty());
}

TEST_F(PhotoItemsTest, CellsArePlacedByNameWithoutRegardToCase)
{
    auto add = Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild");
    const std::string folder = std::string(c_Folder);
    add("mem://fixture/root", c_Folder, c_Container, 0);
    for (const char* name : {"beach.fxi", "Cliff.fxi", "anchor.fxi", "Dune.fxi"})
        add(c_Folder, (folder + "/" + name).c_str(), c_Photo, 0);
    m_shown = std::make_unique<MyMediaItem>(MemUrl(c_Folder), nullptr, m_queue);
    ShowContainerEvent show(m_shown->Url());
    QCoreApplication::sendEvent(m_grid.get(), &show);
    ASSERT_TRUE(Settle(4));
    std::vector<std::string> titles;
    for (int index = 0; index < m_grid->Count(); ++index)
        titles.push_back(m_grid->Cell(index).Title.toStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"anchor", "beach", "Cliff", "Dune"}));
}

// The status bar asks the grid what it is busy with: the folder whose listing is still coming,
// then how many pictures in sight are still to be made, and whether it has work in hand.
TEST_F(PhotoItemsTest, TellsTheStatusBarWhatItIsStillMaking)
{
    auto status = [&] {
        ItemsStatusEvent query;
        QCoreApplication::sendEvent(m_grid.get(), &query);
        return std::pair{query.m_listing.toStdString(), query.m_thumbnails};
    };
    EXPECT_EQ(status(), (std::pair{std::string(), 0})) << "nothing shown, nothing to do";

    auto add = Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild");
    add("mem://fixture/root", c_Folder, c_Container, 0);
    for (int index = 0; index < 20; ++index)
        add(c_Folder, Child(index).c_str(), c_Photo, 0);
    m_shown = std::make_unique<MyMediaItem>(MemUrl(c_Folder), nullptr, m_queue);
    const std::string title = m_shown->GetTitle();
    ASSERT_FALSE(title.empty());
    ShowContainerEvent show(m_shown->Url());
    QCoreApplication::sendEvent(m_grid.get(), &show);
    EXPECT_EQ(status().first, title) << "listed until its records are in";
    auto busy = [&] {
        ItemsStatusEvent query;
        QCoreApplication::sendEvent(m_grid.get(), &query);
        return query.m_busy;
    };
    EXPECT_FALSE(busy()) << "a listing on its worker keeps nothing busy here";
    // The listing's record applied, none of its cells placed yet: the grid has work in hand, so
    // the idle pass must not sleep.
    for (int attempt = 0; attempt < 500 && m_grid->PendingCount() == 0; ++attempt) {
        QEvent refresh(c_RefreshEvent);
        QCoreApplication::sendEvent(m_grid.get(), &refresh);
        while (!m_queue.DeliverOne()) { }
        QCoreApplication::sendPostedEvents(m_grid.get(), QueuedEvent::c_Type);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(m_grid->PendingCount(), 20);
    EXPECT_TRUE(busy());
    ASSERT_TRUE(Settle(20));
    EXPECT_FALSE(busy());
    EXPECT_EQ(status(), (std::pair{std::string(), 9})) << "three rows in sight, none drawn yet";

    // A picture asked for is still to be made until its answer is in.
    m_grid->RenderingTimerTimer();
    EXPECT_EQ(status().second, 9);
    ASSERT_TRUE(WaitUntil([&] { return m_grid->ThumbnailsOutstanding() == 0; }));
    EXPECT_EQ(status().second, 8);
    for (int tick = 0; tick < 30; ++tick) {
        m_grid->RenderingTimerTimer();
        ASSERT_TRUE(WaitUntil([&] { return m_grid->ThumbnailsOutstanding() == 0; }));
    }
    EXPECT_EQ(status().second, 0) << "a picture that could not be made is not waited for";
}

TEST_F(PhotoItemsTest, AScreenReaderSeesACellPerPhotoWithItsCaption)
{
    auto add = Fixture<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild");
    add("mem://fixture/root", c_Folder, c_Container, 0);
    for (int index = 0; index < 3; ++index)
        add(c_Folder, Child(index).c_str(), c_Photo, 0);
    m_shown = std::make_unique<MyMediaItem>(MemUrl(c_Folder), nullptr, m_queue);
    ShowContainerEvent show(m_shown->Url());
    QCoreApplication::sendEvent(m_grid.get(), &show);
    ASSERT_TRUE(Settle(3));
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(m_grid->ScrollBox);
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->role(), QAccessible::List);
    ASSERT_EQ(grid->childCount(), 3);
    EXPECT_EQ(grid->child(1)->text(QAccessible::Name), m_grid->Cell(1).Title);
    EXPECT_FALSE(grid->child(1)->rect().isEmpty()) << "in sight";
    grid->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(m_grid->Current(), 1);
    EXPECT_TRUE(grid->child(1)->state().selected);
    EXPECT_FALSE(grid->child(0)->state().selected);
}
