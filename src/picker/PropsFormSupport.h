// What the property dialogs share: their frame and font, fixed labels, the Close button, and
// how values, captions and long locations are shown.
#pragma once

#include <string>

#include <QString>

class QDialog;
class QFontMetrics;
class QLabel;
class QPushButton;
class QWidget;

// What the property dialogs share.
namespace PropsForm {

// The path cut to width by replacing leading folders with "...", keeping the drive or root
// and the file name.
QString ShortenPath(const QString& path, const QFontMetrics& metrics, int widthPx);
// "Unknown" for an empty value.
QString ValueText(const std::string& value);
// "<title> Properties", or "<untitled> Properties" for an empty title.
QString Caption(const std::string& title, const char* untitled);
// Fixed border with the system menu only, the desktop font at 8 points.
void SetUpDialog(QDialog& dialog, int clientWidthPx, int clientHeightPx);
// A label at x, y that keeps its size whatever its text.
QLabel* FixedLabel(QWidget* parent, const char* name, const QString& text, int xPx, int yPx, int widthPx);
// "Close": default and cancel button, closing with the OK result.
QPushButton* CloseButton(QDialog& dialog, int xPx, int yPx);
// Gives every value label of the dialog (named after its caption "<name>Label") the accessible
// name "<caption>: <value>", so that a screen reader says what a value is; the full text of a
// shortened value (its tool tip) is said in its place. Call after the values change.
void NameValuesForScreenReaders(QWidget& dialog);

} // namespace PropsForm
