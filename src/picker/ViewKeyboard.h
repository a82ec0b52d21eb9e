// What a list or tree view needs to be worked from the keyboard: Shift+F10 and the Menu key
// open its popup menu at its current item rather than where the mouse pointer happens to rest,
// and its current item shows a focus frame however the focus came to it.
#pragma once

#include <QObject>
#include <QPoint>
#include <QStyledItemDelegate>

class QAbstractItemView;
class QEvent;
class QKeyEvent;

// Whether event asks for the focused widget's popup menu.
bool IsMenuKey(const QKeyEvent& event);

// Where a keyboard-opened menu of view appears, in its viewport's coordinates: below the
// current item while it is in sight, else the viewport's top-left corner.
QPoint MenuAnchor(const QAbstractItemView& view);

// Watches view for the menu keys and for the keyboard's context-menu requests (which the
// windowing system sends for the Menu key), and answers both with the view's
// customContextMenuRequested at MenuAnchor, the signal its mouse menu already uses.
class MenuKeys : public QObject {
public:
    // Owned by view.
    explicit MenuKeys(QAbstractItemView& view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView& m_view;
};

// Styles draw an item view's focus frame only after the focus last moved by Tab, so after a
// click the arrow keys move an invisible current item. This delegate asks for the frame
// whenever the view has the focus.
class FocusFrameDelegate : public QStyledItemDelegate {
public:
    // Owned by view, which it becomes the delegate of.
    explicit FocusFrameDelegate(QAbstractItemView& view);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
