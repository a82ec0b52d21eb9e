// The program's own pictures, SVG files compiled in under ":/art/".
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

// Registers the pictures; the program calls it before the first icon is made from one. Any
// number of calls.
void InitArtwork();

// The picture at path drawn at size logical pixels, sharp on the screen's pixel ratio; a
// transparent pixmap when it cannot be read.
QPixmap RenderArt(const QString& path, QSize size);
