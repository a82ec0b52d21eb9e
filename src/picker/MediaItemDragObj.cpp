#include "picker/MediaItemDragObj.h"

#include "picker/MyMediaItem.h"

MediaItemDragObj::MediaItemDragObj(QList<MyMediaItem*> items) : m_items(std::move(items))
{
    // Announces the format so drop targets can accept it; the pointers never leave the process.
    setData(c_Format, QByteArray());
}

MediaItemDragObj::~MediaItemDragObj() = default;

MediaItemDragObj* MediaItemDragObj::CopyOf(const QList<MyMediaItem*>& items, UpdateQueue& queue)
{
    std::vector<std::unique_ptr<MyMediaItem>> copies;
    QList<MyMediaItem*> carried;
    for (MyMediaItem* item : items) {
        if (!item)
            continue;
        // No view is their target: nothing is ever listed or subscribed through them.
        copies.push_back(std::make_unique<MyMediaItem>(item->Url(), nullptr, queue));
        carried.append(copies.back().get());
    }
    auto* drag = new MediaItemDragObj(carried);
    drag->m_copies = std::move(copies);
    return drag;
}

const MediaItemDragObj* MediaItemDragObj::From(const QMimeData* data)
{
    return qobject_cast<const MediaItemDragObj*>(data);
}
