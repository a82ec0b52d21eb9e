#include "picker/MediaItemDragObj.h"

MediaItemDragObj::MediaItemDragObj(QList<MyMediaItem*> items) : m_items(std::move(items))
{
    // Announces the format so drop targets can accept it; the pointers never leave the process.
    setData(c_Format, QByteArray());
}

const MediaItemDragObj* MediaItemDragObj::From(const QMimeData* data)
{
    return qobject_cast<const MediaItemDragObj*>(data);
}
