#include "picker/PhotoCellGeometry.h"

#include <algorithm>

int PhotoCellGeometry::ColumnsFor(int clientWidth)
{
    return std::max(1, (c_GapXPx + clientWidth - 2 * c_GridMarginPx) / c_PitchXPx);
}

int PhotoCellGeometry::RowsFor(int clientHeight)
{
    return std::max(0, (c_GapYPx + clientHeight - 2 * c_GridMarginPx) / c_PitchYPx);
}

QPoint PhotoCellGeometry::CellPosition(int index, int columns, int scrollY)
{
    columns = std::max(1, columns);
    const int column = index % columns;
    const int row = index / columns;
    return QPoint(c_GridMarginPx + column * c_PitchXPx, c_GridMarginPx + row * c_PitchYPx - scrollY);
}

int PhotoCellGeometry::ContentHeight(int count, int columns)
{
    if (count <= 0)
        return 0;
    const int rows = (count + std::max(1, columns) - 1) / std::max(1, columns);
    return c_GridMarginPx + (rows - 1) * c_PitchYPx + c_CellHeightPx + c_GridMarginPx;
}

void PhotoCellGeometry::SelectionFrame(const QRect& area, QRect (&sides)[4])
{
    const int pen = c_SelectionPenPx;
    sides[0] = QRect(area.left(), area.top(), pen, area.height());
    sides[1] = QRect(area.left(), area.bottom() - pen + 1, area.width(), pen);
    sides[2] = QRect(area.right() - pen + 1, area.top(), pen, area.height());
    sides[3] = QRect(area.left(), area.top(), area.width(), pen);
}

QStringList PhotoCellGeometry::FitCaption(
    const QString& text, const QFontMetrics& metrics, int width, int height, bool& fitted)
{
    QStringList lines;
    fitted = true;
    const int lineHeight = std::max(1, metrics.height());
    const int maxLines = height / lineHeight;
    auto wide = [&](const QString& line) { return metrics.horizontalAdvance(line) > width; };
    QString remaining = text;
    while (!remaining.isEmpty() && lines.size() < maxLines) {
        QString line = remaining;
        if (wide(line)) {
            while (wide(line)) {
                const qsizetype space = line.lastIndexOf(' ');
                if (space < 0)
                    break;
                line.truncate(space);
            }
            while (wide(line) && !line.isEmpty())
                line.chop(1);
        }
        remaining.remove(0, line.size());
        if (lines.size() + 1 == maxLines && !remaining.isEmpty()) {
            fitted = false;
            const int room = width - metrics.horizontalAdvance("...");
            while (!line.isEmpty() && metrics.horizontalAdvance(line) > room)
                line.chop(1);
            line += "...";
        }
        lines.append(line);
    }
    return lines;
}

QRect PhotoCellGeometry::BandTarget(const QRect& cell)
{
    const int dx = cell.width() / 8;
    const int dy = cell.height() / 8;
    return cell.adjusted(dx, dy, -dx, -dy);
}

int PhotoCellGeometry::AutoScrollStep(int y, int clientHeight)
{
    int overshoot = 0;
    if (y < 0)
        overshoot = -y;
    else if (y > clientHeight - 1)
        overshoot = y - clientHeight + 1;
    const int step = std::min(c_AutoScrollCapPx, overshoot * overshoot / 8);
    return y < 0 ? -step : step;
}
