// The photo grid paints its cells itself, so assistive technology would see one blank widget.
// The widget that takes the grid's focus implements AccessibleGrid; the factory installed by
// InstallPhotoGridAccessibility then shows it as a list with one child per cell.
#pragma once

#include <vector>

#include <QAccessibleWidget>
#include <QRect>
#include <QString>

class AccessibleGrid {
public:
    virtual int AccessibleCount() const = 0;
    virtual QString AccessibleCaption(int index) const = 0;
    // In the widget's own coordinates; empty while the cell is out of view.
    virtual QRect AccessibleRect(int index) const = 0;
    virtual bool AccessibleSelected(int index) const = 0;
    // -1 for none.
    virtual int AccessibleCurrent() const = 0;
    // As a click on the cell: it alone is selected and becomes the current one.
    virtual void AccessibleSelect(int index) = 0;
    // As a double click: the cell's properties.
    virtual void AccessibleOpen(int index) = 0;

protected:
    ~AccessibleGrid() = default;
};

// The grid as a list. Its cells are children by position; a cell interface asked for after the
// grid shrank is invalid rather than dangling.
class PhotoGridAccessible : public QAccessibleWidget {
public:
    PhotoGridAccessible(QWidget* widget, AccessibleGrid& grid);
    ~PhotoGridAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    QAccessible::State state() const override;

    AccessibleGrid& Grid() const { return m_grid; }

private:
    AccessibleGrid& m_grid;
    // Cell interfaces made so far, by position; registered with QAccessible, which owns them.
    mutable std::vector<QAccessible::Id> m_cells;
};

// Installs the factory once per process; harmless to call again.
void InstallPhotoGridAccessibility();

// Tells assistive technology that the current cell moved or the selection changed.
void NotifyGridFocus(QWidget* widget, int index);
void NotifyGridSelection(QWidget* widget);
