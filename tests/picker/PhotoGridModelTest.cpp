// The photo grid's model without a window: a listing put in name order a slice at a time while
// records keep coming, the selection's click rules, the keyboard's table and the rubber band.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "PickerTestSupport.h"
#include "picker/MyMediaItem.h"
#include "picker/PhotoCellGeometry.h"
#include "picker/PhotoGridModel.h"

using namespace LumoApi;
using Geometry = PhotoCellGeometry;

namespace {

constexpr char c_Folder[] = "mem://fixture/root/Holiday";
constexpr char c_Photo[] = "image/x-fixture";

// A window that never scrolls: 3 columns, 2 whole rows.
class StillView : public PhotoGridView {
public:
    int ScrollPosition() const override { return 0; }
    int ClientHeight() const override { return 400; }
    void RepaintCell(int) override { ++repaints; }
    void RepaintAll() override { ++repaints; }
    void ScrollInView(int) override { }
    void CountChanged() override { }
    void GoUp() override { ++upCalls; }
    void OpenCurrent() override { ++opened; }

    int repaints = 0;
    int upCalls = 0;
    int opened = 0;
};

class PhotoGridModelTest : public testing::Test {
protected:
    PhotoGridModelTest() { Application(); }
    ~PhotoGridModelTest() override
    {
        m_model.reset();
        m_folder.MediaFunction<void (*)()>("Fixture_Reset")();
    }

    static std::string Child(const std::string& name) { return std::string(c_Folder) + "/" + name + ".fxi"; }

    void Add(const std::string& name)
    {
        m_folder.MediaFunction<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
            c_Folder, Child(name).c_str(), c_Photo, 0);
    }

    void Record(uint8_t kind, const std::string& name)
    {
        UpdateInfo info(kind, MemUrl(Child(name).c_str()));
        m_model->Apply(info);
    }

    void Listing(const std::vector<std::string>& names)
    {
        auto children = std::make_unique<ChildList>();
        for (const std::string& name : names)
            children->push_back(Child(name));
        UpdateInfo info(Enumerated, MemUrl(c_Folder), std::move(children));
        m_model->Apply(info);
    }

    // A grid of count photos p100, p101, ..., all placed.
    void Fill(int count)
    {
        std::vector<std::string> names;
        for (int index = 0; index < count; ++index) {
            names.push_back("p" + std::to_string(100 + index));
            Add(names.back());
        }
        Listing(names);
        while (m_model->PlaceSome(1'000'000'000)) { }
        ASSERT_EQ(m_model->Count(), count);
    }

    std::vector<std::string> Titles() const
    {
        std::vector<std::string> titles;
        for (int index = 0; index < m_model->Count(); ++index)
            titles.push_back(m_model->Cell(index).Title.toStdString());
        return titles;
    }

    std::vector<int> Selected() const
    {
        std::vector<int> cells;
        for (int index = 0; index < m_model->Count(); ++index) {
            if (m_model->Cell(index).Selected)
                cells.push_back(index);
        }
        return cells;
    }

    void Click(int index, Qt::KeyboardModifiers shift = Qt::NoModifier)
    {
        m_model->Press(index, shift, true);
        m_model->Release(shift, true);
    }

    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    UpdateQueue m_queue;
    QObject m_target;
    StillView m_view;
    std::unique_ptr<PhotoGridModel> m_model = std::make_unique<PhotoGridModel>(m_view, m_target, m_queue);
};

} // namespace

TEST_F(PhotoGridModelTest, AListingIsCollatedInSlicesWhileRecordsComeAndGo)
{
    m_folder.MediaFunction<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
        "mem://fixture/root", c_Folder, "x-container/mem", 0);
    // More names than one slice collates, listed backwards and in mixed case.
    std::vector<std::string> names;
    for (int index = 0; index < 150; ++index) {
        names.push_back((index % 2 ? "N" : "n") + std::to_string(1999 - index));
        Add(names.back());
    }
    Add("late");
    Listing(names);
    ASSERT_TRUE(m_model->PlaceSome(1));
    EXPECT_EQ(m_model->Count(), 0) << "nothing is placed before the listing is in order";

    // One name whose sort key is made and one whose key is not yet; then a newcomer.
    Record(ChildRemoved, names[3]);
    Record(ChildRemoved, names[140]);
    Record(ChildAdded, "late");
    while (m_model->PlaceSome(1)) { }

    std::vector<std::string> expected;
    for (int index = 149; index >= 0; --index) {
        if (index != 3 && index != 140)
            expected.push_back(names[size_t(index)]);
    }
    expected.push_back("late");
    EXPECT_EQ(Titles(), expected) << "in name order, without the removed, the newcomer last";
}

TEST_F(PhotoGridModelTest, ARelistingIsMatchedInSlicesWithTheSameResultAsInOneGo)
{
    m_folder.MediaFunction<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
        "mem://fixture/root", c_Folder, "x-container/mem", 0);
    PhotoGridModel once(m_view, m_target, m_queue);
    // 600 cells k1000..k1599; the new listing keeps two in three of them, in another case and
    // backwards, and brings 300 new names, backwards and in mixed case.
    std::vector<std::string> cells;
    for (int index = 0; index < 600; ++index) {
        cells.push_back("k" + std::to_string(1000 + index));
        Add(cells.back());
    }
    std::vector<std::string> listing;
    std::vector<std::string> fresh;
    for (int index = 599; index >= 0; --index) {
        if (index % 3 != 0)
            listing.push_back("K" + std::to_string(1000 + index));
    }
    for (int index = 299; index >= 0; --index) {
        fresh.push_back((index % 2 ? "M" : "m") + std::to_string(1000 + index));
        listing.push_back(fresh.back());
        Add(fresh.back());
    }
    Add("late");
    auto apply = [&](PhotoGridModel& model, uint8_t kind, const std::string& name, std::unique_ptr<ChildList> list) {
        UpdateInfo info(kind, MemUrl((list ? std::string(c_Folder) : Child(name)).c_str()), std::move(list));
        model.Apply(info);
    };
    auto listed = [&](const std::vector<std::string>& names) {
        auto list = std::make_unique<ChildList>();
        for (const std::string& name : names)
            list->push_back(Child(name));
        return list;
    };
    // A kept cell goes, a newcomer comes, a new name goes before it is placed, a cell that the
    // listing drops comes back.
    auto records = [&](PhotoGridModel& model) {
        apply(model, ChildRemoved, "k1001", nullptr);
        apply(model, ChildAdded, "late", nullptr);
        apply(model, ChildRemoved, "m1005", nullptr);
        apply(model, ChildChanged, "k1003", nullptr);
    };
    for (PhotoGridModel* model : {m_model.get(), &once}) {
        apply(*model, Enumerated, "", listed(cells));
        while (model->PlaceSome(1'000'000'000)) { }
        ASSERT_EQ(model->Count(), 600);
    }

    // In one go: the whole listing is matched in one slice, the records come after it.
    apply(once, Enumerated, "", listed(listing));
    once.PlaceSome(1'000'000'000);
    records(once);
    while (once.PlaceSome(1'000'000'000)) { }

    apply(*m_model, Enumerated, "", listed(listing));
    EXPECT_TRUE(m_model->Placing());
    EXPECT_EQ(m_model->Count(), 600) << "no cell goes before the matching has had a slice";
    ASSERT_TRUE(m_model->PlaceSome(1));
    records(*m_model);
    int matching = 1;
    while (m_model->Count() == 600 && m_model->PlaceSome(1))
        ++matching;
    EXPECT_GE(matching, 4) << "700 names against 600 cells take several slices";
    EXPECT_EQ(m_model->PendingCount(), 0) << "nothing waits to be placed before the matching is done";
    int removing = 1;
    while (m_model->PendingCount() == 0 && m_model->PlaceSome(1))
        ++removing;
    EXPECT_GT(removing, 1) << "200 cells go over several slices";
    while (m_model->PlaceSome(1)) { }

    std::vector<std::string> expected;
    for (int index = 0; index < 600; ++index) {
        if (index % 3 != 0 && index != 1)
            expected.push_back(cells[size_t(index)]);
    }
    expected.push_back("k1003");
    for (auto name = fresh.rbegin(); name != fresh.rend(); ++name) {
        if (*name != "m1005")
            expected.push_back(*name);
    }
    expected.push_back("late");
    EXPECT_EQ(Titles(), expected) << "kept cells in place, the returning one, new names in order, the newcomer last";
    std::vector<std::string> inOneGo;
    for (int index = 0; index < once.Count(); ++index)
        inOneGo.push_back(once.Cell(index).Title.toStdString());
    EXPECT_EQ(Titles(), inOneGo);
}

TEST_F(PhotoGridModelTest, ShiftAndCtrlClicks)
{
    Fill(12);
    m_model->SetLayout(3, 2);
    Click(4, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), std::vector<int>{4}) << "Shift with no current item is a plain click";
    Click(1);
    Click(3, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(m_model->Anchor(), 1);
    Click(8, Qt::ControlModifier);
    Click(10, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3, 8, 9, 10})) << "Ctrl+Shift adds the range, clearing nothing";
    EXPECT_EQ(m_model->Current(), 10);
    EXPECT_EQ(m_model->Anchor(), 8);
    Click(8, Qt::ControlModifier);
    EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3, 9, 10})) << "Ctrl toggles on release of a selected cell";

    // A press on a selected cell keeps the selection for a drag; a drag's end leaves it.
    m_model->Press(2, Qt::NoModifier, true);
    EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3, 9, 10}));
    m_model->BeginDrag();
    m_model->EndDrag();
    EXPECT_EQ(m_model->Pressed(), nullptr);
    EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3, 9, 10}));
}

TEST_F(PhotoGridModelTest, KeyboardTable)
{
    Fill(30);
    m_model->SetLayout(3, 2);
    EXPECT_FALSE(m_model->KeyDown(Qt::Key_A, Qt::NoModifier));

    EXPECT_TRUE(m_model->KeyDown(Qt::Key_Down, Qt::NoModifier));
    EXPECT_EQ(Selected(), std::vector<int>{0}) << "Down with nothing selected takes the first";
    m_model->KeyDown(Qt::Key_Left, Qt::NoModifier);
    EXPECT_EQ(Selected(), std::vector<int>{0});
    m_model->KeyDown(Qt::Key_Down, Qt::KeypadModifier);
    EXPECT_EQ(Selected(), std::vector<int>{3}) << "the keypad's flag is no modifier";
    m_model->KeyDown(Qt::Key_End, Qt::NoModifier);
    m_model->KeyDown(Qt::Key_Right, Qt::NoModifier);
    EXPECT_EQ(Selected(), std::vector<int>{29}) << "Right on the last changes nothing";

    m_model->KeyDown(Qt::Key_Home, Qt::NoModifier);
    m_model->KeyDown(Qt::Key_Right, Qt::ControlModifier);
    m_model->KeyDown(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(Selected(), std::vector<int>{0}) << "Ctrl+arrows move only the focus";
    EXPECT_EQ(m_model->Current(), 4);
    EXPECT_TRUE(m_model->Cell(4).CaptionFocused);
    m_model->KeyDown(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 4}));
    EXPECT_FALSE(m_model->Cell(4).CaptionFocused);
    m_model->KeyDown(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), (std::vector<int>{4, 5, 6, 7})) << "Shift selects from the anchor";

    m_model->KeyDown(Qt::Key_Backspace, Qt::NoModifier);
    m_model->KeyDown(Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(m_view.upCalls, 1);
    EXPECT_EQ(m_view.opened, 1);
    m_model->ClearSelection();
    m_model->KeyDown(Qt::Key_Enter, Qt::NoModifier);
    EXPECT_EQ(m_view.opened, 1) << "with no current cell there is nothing to open";
}

TEST_F(PhotoGridModelTest, RubberBandTakesTogglesAndGivesBack)
{
    Fill(30);
    m_model->SetLayout(3, 2);
    // Content coordinates: from the gap left of row 1 across two columns.
    const QPoint start(1, 160);
    const int row1 = Geometry::c_GridMarginPx + Geometry::c_PitchYPx;
    const int eighth = Geometry::c_CellWidthPx / 8;
    Click(0);
    m_model->BeginBand(Qt::NoModifier, start);
    EXPECT_FALSE(m_model->EndBand()) << "a band that never moved";
    EXPECT_TRUE(Selected().empty()) << "a click on the empty area clears the selection";

    Click(0);
    m_model->BeginBand(Qt::NoModifier, start);
    m_model->MoveBand(Qt::NoModifier, QPoint(2 + Geometry::c_PitchXPx + eighth + 1, row1 + 19));
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4})) << "a plain band replaces the selection";
    EXPECT_TRUE(m_model->EndBand());
    m_model->BeginBand(Qt::NoModifier, start);
    m_model->MoveBand(Qt::NoModifier, QPoint(2 + Geometry::c_PitchXPx + eighth - 1, row1 + 19));
    EXPECT_EQ(Selected(), std::vector<int>{3}) << "a cell's outer eighth does not count";
    m_model->EndBand();

    Click(4, Qt::ControlModifier);
    ASSERT_EQ(Selected(), (std::vector<int>{3, 4}));
    m_model->BeginBand(Qt::ControlModifier, start);
    m_model->MoveBand(Qt::ControlModifier, QPoint(2 + 2 * Geometry::c_PitchXPx + eighth + 1, row1 + 19));
    EXPECT_EQ(Selected(), std::vector<int>{5}) << "Ctrl toggles against the state at the press";
    m_model->MoveBand(Qt::ControlModifier, QPoint(100, row1 + 19));
    EXPECT_EQ(Selected(), std::vector<int>{4}) << "a cell the band leaves gets its state back";
    m_model->FollowScroll(row1 + Geometry::c_PitchYPx + 19);
    EXPECT_EQ(Selected(), (std::vector<int>{4, 6})) << "the band's end follows the scrolling";
    m_model->EndBand();
}
