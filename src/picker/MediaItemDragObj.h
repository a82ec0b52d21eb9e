// What a drag between the program's own views carries: the items being dragged. Valid inside
// this process only.
#pragma once

#include <memory>
#include <vector>

#include <QList>
#include <QMimeData>

class MyMediaItem;
class UpdateQueue;

class MediaItemDragObj : public QMimeData {
    Q_OBJECT

public:
    static constexpr const char c_Format[] = "application/x-lumo-media-items";

    // Carries the items themselves, which stay owned by the views they came from.
    explicit MediaItemDragObj(QList<MyMediaItem*> items);
    ~MediaItemDragObj() override;

    // Carries copies of the items, owned by the drag object: a drag runs an event loop of its
    // own, in which a view may delete the rows and nodes the originals belong to.
    static MediaItemDragObj* CopyOf(const QList<MyMediaItem*>& items, UpdateQueue& queue);

    const QList<MyMediaItem*>& Items() const noexcept { return m_items; }

    // The drag object of a drop from one of our own views; null for anything else.
    static const MediaItemDragObj* From(const QMimeData* data);

private:
    QList<MyMediaItem*> m_items;
    std::vector<std::unique_ptr<MyMediaItem>> m_copies;
};
