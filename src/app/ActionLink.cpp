#include "app/ActionLink.h"

#include <QAction>

ActionLink::ActionLink(QAction* item, Caption caption) : QObject(item), m_item(item), m_caption(caption)
{
    connect(item, &QAction::triggered, this, [this] {
        // trigger() checks the source's own enabled state, so a stale item cannot run it.
        if (m_source)
            m_source->trigger();
    });
    Sync();
}

void ActionLink::Bind(QAction* source)
{
    disconnect(m_changed);
    disconnect(m_destroyed);
    m_source = source;
    if (source) {
        m_changed = connect(source, &QAction::changed, this, &ActionLink::Sync);
        // A page that goes first must not leave its items enabled with nothing behind them.
        m_destroyed = connect(source, &QObject::destroyed, this, &ActionLink::Sync);
    }
    Sync();
}

void ActionLink::Sync()
{
    if (!m_source) {
        m_item->setEnabled(false);
        return;
    }
    m_item->setEnabled(m_source->isEnabled());
    if (m_caption == Caption::Follow) {
        m_item->setText(m_source->text());
        m_item->setShortcuts(m_source->shortcuts());
    }
}
