// Colours the program draws with, derived from the palette so that a dark desktop theme reads
// as well as a light one.
#pragma once

#include <QColor>

// other laid over base with the given share (0 keeps base, 1 gives other); the alpha of base.
inline QColor Mix(const QColor& base, const QColor& other, qreal share)
{
    const auto blend = [share](float a, float b) { return a + (b - a) * float(share); };
    QColor mixed = QColor::fromRgbF(blend(base.redF(), other.redF()), blend(base.greenF(), other.greenF()),
        blend(base.blueF(), other.blueF()), base.alphaF());
    return mixed;
}
