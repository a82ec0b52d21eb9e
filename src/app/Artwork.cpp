#include "app/Artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void RegisterArtwork()
{
    // A resource in a static library is dropped by the linker unless something names it.
    Q_INIT_RESOURCE(Artwork);
}

void InitArtwork()
{
    static const bool registered = (RegisterArtwork(), true);
    (void)registered;
}

QPixmap RenderArt(const QString& path, QSize size)
{
    InitArtwork();
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    return pixmap;
}
