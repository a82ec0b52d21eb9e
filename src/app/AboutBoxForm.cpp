#include "app/AboutBoxForm.h"

#include <string>

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "app/Artwork.h"
#include "app/NoticesForm.h"
#include "host/Version.h"
#include "picker/PaletteInk.h"

namespace {

constexpr int c_widthPx = 385;
constexpr int c_heightPx = 254;
constexpr int c_marginPx = 12;

QString VersionString(std::string_view key)
{
    std::string text;
    QueryVersion(CurrentVersionResource(), key, &text);
    return QString::fromStdString(text);
}

// Over the artwork's dark band: the palette's brightest text colour, or dimmed towards its
// darkest shade.
enum class Ink { Bright, Dim };

QLabel* MakeLine(QWidget* parent, const QString& text, int top, int sizePx, bool bold, Ink ink)
{
    auto* label = new QLabel(text, parent);
    QFont font = QApplication::font();
    font.setPixelSize(sizePx);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    const QColor bright = palette.color(QPalette::BrightText);
    palette.setColor(
        QPalette::WindowText, ink == Ink::Bright ? bright : Mix(bright, palette.color(QPalette::Shadow), 0.25));
    label->setPalette(palette);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(c_marginPx, top, c_widthPx - 2 * c_marginPx, sizePx + 6);
    return label;
}

} // namespace

TAboutBoxForm::TAboutBoxForm(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName("AboutBoxForm");
    const QString ownerCaption = owner ? owner->window()->windowTitle() : QGuiApplication::applicationDisplayName();
    setWindowTitle(tr("About %1").arg(ownerCaption));
    setModal(true);
    setFixedSize(c_widthPx, c_heightPx);
    m_image = RenderArt(":/art/about.svg", size());

    MakeLine(this, tr("Version %1").arg(VersionString("ProductVersion")), 130, 15, true, Ink::Bright)
        ->setObjectName("version");
    MakeLine(this, VersionString("LegalCopyright"), 160, 12, false, Ink::Dim)->setObjectName("legal");
    MakeLine(this, tr("All rights reserved."), 178, 12, false, Ink::Dim)->setObjectName("rights");

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setGeometry(c_widthPx - c_marginPx - 82, c_heightPx - c_marginPx - 24, 82, 24);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* more = new QPushButton(tr("&More Legal..."), this);
    more->setGeometry(ok->x() - 8 - 100, ok->y(), 100, 24);
    connect(more, &QPushButton::clicked, this, &TAboutBoxForm::ShowNotices);
}

void TAboutBoxForm::paintEvent(QPaintEvent*)
{
    QPainter(this).drawPixmap(0, 0, m_image);
}

void TAboutBoxForm::ShowNotices()
{
    TNoticesForm notices(this);
    notices.exec();
}

void ShowAboutBox(QWidget* owner)
{
    TAboutBoxForm about(owner);
    about.exec();
}
