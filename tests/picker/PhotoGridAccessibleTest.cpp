// What assistive technology sees of a grid that paints its own cells: a list with a child per
// cell, named by its caption, with its selection and focus, and actions that reach the grid.
#include <vector>

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QWidget>

#include "picker/PhotoGridAccessible.h"

namespace {

QApplication& WidgetApplication()
{
    static int argc = 1;
    static char name[] = "photo_grid_accessible_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

// Three cells in a row, 100 px wide; the third is scrolled out of view.
class StandInGrid : public QWidget, public AccessibleGrid {
public:
    int AccessibleCount() const override { return int(captions.size()); }
    QString AccessibleCaption(int index) const override { return captions.at(size_t(index)); }
    QRect AccessibleRect(int index) const override { return index < 2 ? QRect(index * 100, 0, 100, 120) : QRect(); }
    bool AccessibleSelected(int index) const override { return selected.at(size_t(index)); }
    int AccessibleCurrent() const override { return current; }
    void AccessibleSelect(int index) override
    {
        selected.assign(selected.size(), false);
        selected.at(size_t(index)) = true;
        current = index;
    }
    void AccessibleOpen(int index) override { opened.push_back(index); }

    std::vector<QString> captions{"beach", "harbour", "hills"};
    std::vector<bool> selected{false, true, false};
    int current = 1;
    std::vector<int> opened;
};

TEST(PhotoGridAccessibleTest, CellsAreChildrenWithTheirCaptionsStatesAndActions)
{
    WidgetApplication();
    InstallPhotoGridAccessibility();
    StandInGrid grid;
    grid.resize(300, 120);
    grid.show();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->role(), QAccessible::List);
    ASSERT_EQ(list->childCount(), 3);

    QAccessibleInterface* harbour = list->child(1);
    ASSERT_TRUE(harbour);
    EXPECT_EQ(harbour->role(), QAccessible::ListItem);
    EXPECT_EQ(harbour->text(QAccessible::Name), "harbour");
    EXPECT_TRUE(harbour->state().selected);
    EXPECT_FALSE(list->child(0)->state().selected);
    EXPECT_TRUE(list->child(2)->state().offscreen);
    EXPECT_EQ(list->indexOfChild(harbour), 1);
    EXPECT_EQ(list->child(1), harbour) << "a cell keeps one interface";
    EXPECT_EQ(harbour->parent(), list);
    EXPECT_EQ(list->childAt(grid.mapToGlobal(QPoint(150, 10)).x(), grid.mapToGlobal(QPoint(150, 10)).y()), harbour);

    QApplication::setActiveWindow(&grid);
    grid.setFocus();
    ASSERT_TRUE(grid.hasFocus());
    EXPECT_EQ(list->focusChild(), harbour);
    EXPECT_TRUE(harbour->state().focused);

    QAccessibleActionInterface* actions = list->child(0)->actionInterface();
    ASSERT_TRUE(actions);
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(grid.selected[0]);
    EXPECT_FALSE(grid.selected[1]);
    EXPECT_EQ(grid.current, 0);
    actions->doAction("Properties");
    EXPECT_EQ(grid.opened, std::vector<int>{0});

    // A cell asked for after the grid shrank is no longer valid, and does nothing.
    QAccessibleInterface* hills = list->child(2);
    grid.captions.pop_back();
    grid.selected.pop_back();
    EXPECT_EQ(list->childCount(), 2);
    EXPECT_FALSE(hills->isValid());
    EXPECT_TRUE(hills->text(QAccessible::Name).isEmpty());
    hills->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(grid.current, 0);
    EXPECT_EQ(list->child(2), nullptr);
}

} // namespace
