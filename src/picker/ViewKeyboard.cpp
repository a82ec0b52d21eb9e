#include "picker/ViewKeyboard.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QKeyEvent>

namespace {

constexpr int c_CornerInsetPx = 4;

} // namespace

bool IsMenuKey(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (event.key() == Qt::Key_Menu)
        return modifiers == Qt::NoModifier;
    return event.key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier;
}

QPoint MenuAnchor(const QAbstractItemView& view)
{
    const QRect area = view.viewport()->rect();
    const QRect item = view.visualRect(view.currentIndex());
    if (item.isValid() && area.intersects(item)) {
        const QPoint below(item.left() + std::min(item.width() / 2, item.height()), item.bottom());
        return QPoint(
            std::clamp(below.x(), area.left(), area.right()), std::clamp(below.y(), area.top(), area.bottom()));
    }
    return area.topLeft() + QPoint(c_CornerInsetPx, c_CornerInsetPx);
}

MenuKeys::MenuKeys(QAbstractItemView& view) : QObject(&view), m_view(view)
{
    view.installEventFilter(this);
}

bool MenuKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_view)
        return false;
    const bool asked = (event->type() == QEvent::KeyPress && IsMenuKey(*static_cast<QKeyEvent*>(event)))
        || (event->type() == QEvent::ContextMenu
            && static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard);
    if (!asked || m_view.contextMenuPolicy() != Qt::CustomContextMenu)
        return false;
    event->accept();
    emit m_view.customContextMenuRequested(MenuAnchor(m_view));
    return true;
}

FocusFrameDelegate::FocusFrameDelegate(QAbstractItemView& view) : QStyledItemDelegate(&view)
{
    view.setItemDelegate(this);
}

void FocusFrameDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->state & QStyle::State_HasFocus)
        option->state |= QStyle::State_KeyboardFocusChange;
}
