#include "picker/PhotoGridAccessible.h"

#include <QAccessibleActionInterface>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

namespace {

const QString c_PropertiesAction = QStringLiteral("Properties");

class PhotoCellAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    PhotoCellAccessible(QWidget* widget, int index) : m_widget(widget), m_index(index) { }

    bool isValid() const override
    {
        const PhotoGridAccessible* grid = Grid();
        return grid && m_index < grid->Grid().AccessibleCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_widget ? m_widget->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_widget); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    void setText(QAccessible::Text, const QString&) override { }

    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name || !isValid())
            return QString();
        return Grid()->Grid().AccessibleCaption(m_index);
    }

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect local = Grid()->Grid().AccessibleRect(m_index);
        return local.isEmpty() ? QRect() : QRect(m_widget->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const AccessibleGrid& grid = Grid()->Grid();
        state.selectable = true;
        state.multiSelectable = true;
        state.focusable = true;
        state.selected = grid.AccessibleSelected(m_index);
        state.focused = m_widget->hasFocus() && grid.AccessibleCurrent() == m_index;
        if (grid.AccessibleRect(m_index).isEmpty())
            state.invisible = state.offscreen = true;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), setFocusAction(), c_PropertiesAction}; }
    QString localizedActionName(const QString& name) const override
    {
        if (name == c_PropertiesAction)
            return QCoreApplication::translate("PhotoGridAccessible", "Properties");
        return QAccessibleActionInterface::localizedActionName(name);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    void doAction(const QString& name) override
    {
        if (!isValid())
            return;
        AccessibleGrid& grid = Grid()->Grid();
        if (name == pressAction() || name == setFocusAction()) {
            grid.AccessibleSelect(m_index);
            if (name == setFocusAction())
                m_widget->setFocus(Qt::OtherFocusReason);
        } else if (name == c_PropertiesAction) {
            grid.AccessibleOpen(m_index);
        }
    }

private:
    const PhotoGridAccessible* Grid() const
    {
        if (!m_widget)
            return nullptr;
        return dynamic_cast<const PhotoGridAccessible*>(QAccessible::queryAccessibleInterface(m_widget));
    }

    QPointer<QWidget> m_widget;
    int m_index;
};

QAccessibleInterface* GridFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    auto* grid = dynamic_cast<AccessibleGrid*>(object);
    return widget && grid ? new PhotoGridAccessible(widget, *grid) : nullptr;
}

} // namespace

PhotoGridAccessible::PhotoGridAccessible(QWidget* widget, AccessibleGrid& grid)
    : QAccessibleWidget(widget, QAccessible::List), m_grid(grid)
{
}

PhotoGridAccessible::~PhotoGridAccessible()
{
    for (QAccessible::Id id : m_cells)
        if (id)
            QAccessible::deleteAccessibleInterface(id);
}

int PhotoGridAccessible::childCount() const
{
    return m_grid.AccessibleCount();
}

QAccessibleInterface* PhotoGridAccessible::child(int index) const
{
    if (index < 0 || index >= m_grid.AccessibleCount())
        return nullptr;
    if (size_t(index) >= m_cells.size())
        m_cells.resize(size_t(index) + 1, 0);
    QAccessible::Id& id = m_cells[size_t(index)];
    if (!id)
        id = QAccessible::registerAccessibleInterface(new PhotoCellAccessible(widget(), index));
    return QAccessible::accessibleInterface(id);
}

int PhotoGridAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child)
        return -1;
    const QAccessible::Id id = QAccessible::uniqueId(const_cast<QAccessibleInterface*>(child));
    for (size_t index = 0; index < m_cells.size() && int(index) < m_grid.AccessibleCount(); ++index)
        if (m_cells[index] == id)
            return int(index);
    return -1;
}

QAccessibleInterface* PhotoGridAccessible::childAt(int x, int y) const
{
    const QPoint point = widget()->mapFromGlobal(QPoint(x, y));
    for (int index = 0; index < m_grid.AccessibleCount(); ++index)
        if (m_grid.AccessibleRect(index).contains(point))
            return child(index);
    return nullptr;
}

QAccessibleInterface* PhotoGridAccessible::focusChild() const
{
    const int current = m_grid.AccessibleCurrent();
    return widget()->hasFocus() && current >= 0 ? child(current) : nullptr;
}

QAccessible::State PhotoGridAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.multiSelectable = true;
    return state;
}

void InstallPhotoGridAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&GridFactory);
        return true;
    }();
    (void)installed;
}

void NotifyGridFocus(QWidget* widget, int index)
{
    if (!QAccessible::isActive() || index < 0)
        return;
    QAccessibleEvent event(widget, QAccessible::Focus);
    event.setChild(index);
    QAccessible::updateAccessibility(&event);
}

void NotifyGridSelection(QWidget* widget)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(widget, QAccessible::SelectionWithin);
    QAccessible::updateAccessibility(&event);
}
