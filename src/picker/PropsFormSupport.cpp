#include "picker/PropsFormSupport.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>

namespace PropsForm {

QString ShortenPath(const QString& path, const QFontMetrics& metrics, int widthPx)
{
    if (metrics.horizontalAdvance(path) <= widthPx)
        return path;
    static const QRegularExpression c_head(R"(^([A-Za-z]:[\\/]|[A-Za-z][A-Za-z0-9+.-]*://[^/]*/|[\\/]+))");
    const QRegularExpressionMatch head = c_head.match(path);
    const QString root = head.hasMatch() ? head.captured(0) : QString();
    const qsizetype lastSeparator = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    if (lastSeparator < root.size())
        return metrics.elidedText(path, Qt::ElideMiddle, widthPx);
    const QChar separator = path[lastSeparator];
    const QString name = path.mid(lastSeparator);
    static const QRegularExpression c_separators(R"([\\/])");
    QStringList folders = path.mid(root.size(), lastSeparator - root.size()).split(c_separators, Qt::SkipEmptyParts);
    QString shortened;
    do {
        folders.removeFirst();
        shortened = root + "..." + (folders.isEmpty() ? QString() : separator + folders.join(separator)) + name;
    } while (!folders.isEmpty() && metrics.horizontalAdvance(shortened) > widthPx);
    // A file name too long on its own is cut as well rather than overflowing the label.
    return metrics.elidedText(shortened, Qt::ElideMiddle, widthPx);
}

QString ValueText(const std::string& value)
{
    return value.empty() ? QCoreApplication::translate("PropsForm", "Unknown") : QString::fromStdString(value);
}

QString Caption(const std::string& title, const char* untitled)
{
    return QCoreApplication::translate("PropsForm", "%1 Properties")
        .arg(title.empty() ? QCoreApplication::translate("PropsForm", untitled) : QString::fromStdString(title));
}

void SetUpDialog(QDialog& dialog, int clientWidthPx, int clientHeightPx)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    dialog.setFont(font);
    dialog.setFixedSize(clientWidthPx, clientHeightPx);
}

QLabel* FixedLabel(QWidget* parent, const char* name, const QString& text, int xPx, int yPx, int widthPx)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(xPx, yPx, widthPx, std::max(13, label->fontMetrics().height()));
    return label;
}

QPushButton* CloseButton(QDialog& dialog, int xPx, int yPx)
{
    auto* button = new QPushButton(QCoreApplication::translate("PropsForm", "Close"), &dialog);
    button->setObjectName("Button1");
    button->setGeometry(xPx, yPx, 75, 22);
    button->setDefault(true);
    QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
    return button;
}

void NameValuesForScreenReaders(QWidget& dialog)
{
    static const QLatin1StringView c_CaptionSuffix("Label");
    for (QLabel* caption : dialog.findChildren<QLabel*>()) {
        const QString name = caption->objectName();
        if (!name.endsWith(c_CaptionSuffix))
            continue;
        auto* value = dialog.findChild<QLabel*>(name.chopped(c_CaptionSuffix.size()));
        if (!value)
            continue;
        QString what = caption->text().trimmed();
        if (what.endsWith(':'))
            what.chop(1);
        const QString said = value->toolTip().isEmpty() ? value->text() : value->toolTip();
        value->setAccessibleName(said.isEmpty() ? what : QString("%1: %2").arg(what, said));
    }
}

} // namespace PropsForm
