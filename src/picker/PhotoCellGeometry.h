// Where things are in the photo grid: the fixed cell layout, the grid around it, the caption's
// line breaking and the rubber band's auto-scroll. Pure arithmetic, so it is tested alone.
#pragma once

#include <QFontMetrics>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

class PhotoCellGeometry {
public:
    static constexpr int c_ThumbnailPx = 116;
    static constexpr int c_CaptionHeightPx = 20;
    static constexpr int c_OuterMarginPx = 4;
    static constexpr int c_SelectionPenPx = 3;
    static constexpr int c_InnerMarginPx = 3;
    static constexpr int c_CellWidthPx = (c_OuterMarginPx + c_InnerMarginPx) * 2 + c_ThumbnailPx;
    static constexpr int c_CellHeightPx = (c_OuterMarginPx + c_InnerMarginPx) * 2 + c_ThumbnailPx + c_CaptionHeightPx;
    static constexpr int c_GridMarginPx = 2;
    static constexpr int c_GapXPx = 5;
    static constexpr int c_GapYPx = 22;
    static constexpr int c_PitchXPx = c_CellWidthPx + c_GapXPx;
    static constexpr int c_PitchYPx = c_CellHeightPx + c_GapYPx;
    static constexpr int c_AutoScrollCapPx = 100;

    // Rectangles inside a cell, in cell pixels.
    static QRect CellRect() { return QRect(0, 0, c_CellWidthPx, c_CellHeightPx); }
    static QRect ImageArea() { return QRect(0, 0, c_CellWidthPx, c_CellHeightPx - c_CaptionHeightPx); }
    static QRect CaptionStrip()
    {
        return QRect(0, c_CellHeightPx - c_CaptionHeightPx, c_CellWidthPx, c_CaptionHeightPx);
    }
    static QRect FrameRect()
    {
        return ImageArea().adjusted(c_OuterMarginPx, c_OuterMarginPx, -c_OuterMarginPx, -c_OuterMarginPx);
    }
    static QRect ThumbnailRect()
    {
        return FrameRect().adjusted(c_InnerMarginPx, c_InnerMarginPx, -c_InnerMarginPx, -c_InnerMarginPx);
    }

    // Whole cells across a client width; never 0, so a narrow pane still shows one column
    // rather than dividing by zero.
    static int ColumnsFor(int clientWidth);
    // Whole cells down a client height; 0 when not even one fits.
    static int RowsFor(int clientHeight);
    // Top-left corner of cell index in client coordinates.
    static QPoint CellPosition(int index, int columns, int scrollY);
    // Height of the content holding count cells, margins included.
    static int ContentHeight(int count, int columns);

    // The selection frame on area: the four sides of a ring as wide as the selection pen,
    // which is what the pen's lines along the area's edges cover.
    static void SelectionFrame(const QRect& area, QRect (&sides)[4]);

    // The caption's lines for a strip of width x height: broken at the last space that makes a
    // line fit, else at a character; the last allowed line ends in "..." when text is left over.
    // fitted says whether everything was shown.
    static QStringList FitCaption(
        const QString& text, const QFontMetrics& metrics, int width, int height, bool& fitted);

    // The part of a cell a rubber band must touch to take it: the rectangle less an eighth of
    // its size on each side.
    static QRect BandTarget(const QRect& cell);
    // Pixels per auto-scroll tick for a pointer at y in a client area of clientHeight: the
    // square of the overshoot over 8, capped at 100, negative above the area.
    static int AutoScrollStep(int y, int clientHeight);
};
