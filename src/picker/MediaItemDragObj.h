// What a drag between the program's own views carries: the items being dragged, which stay
// owned by the views they came from. Valid inside this process only.
#pragma once

#include <QList>
#include <QMimeData>

class MyMediaItem;

class MediaItemDragObj : public QMimeData {
    Q_OBJECT

public:
    static constexpr const char c_Format[] = "application/x-lumo-media-items";

    explicit MediaItemDragObj(QList<MyMediaItem*> items);

    const QList<MyMediaItem*>& Items() const noexcept { return m_items; }

    // The drag object of a drop from one of our own views; null for anything else.
    static const MediaItemDragObj* From(const QMimeData* data);

private:
    QList<MyMediaItem*> m_items;
};
