#include "app/SplashScreen.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

#include "app/Artwork.h"
#include "host/HostRegistry.h"
#include "host/Version.h"
#include "picker/PaletteInk.h"

namespace {

constexpr int c_widthPx = 393;
constexpr int c_heightPx = 262;
constexpr int c_versionTopPx = 172;
constexpr int c_statusTopPx = 230;
const QRect c_progressRect(14, 205, 365, 19);
constexpr char c_stepsSection[] = "Publisher";
constexpr char c_stepsName[] = "SplashSteps";

TSplashScreen* g_splash = nullptr;

// A splash above every window would hide the debugger stopped at a breakpoint during start-up.
bool DebuggerAttached()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0)
            return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
    }
    return false;
}

QString ProductVersion()
{
    std::string version;
    QueryVersion(CurrentVersionResource(), "ProductVersion", &version);
    return QString::fromStdString(version);
}

// The texts stand in boxes of the palette's darkest shade over the artwork, in its brightest
// text colour, or dimmed towards the box.
enum class Ink { Bright, Dim };

QLabel* MakeLabel(QWidget* parent, int sizePx, bool bold, Ink ink)
{
    auto* label = new QLabel(parent);
    QFont font = QApplication::font();
    font.setPixelSize(sizePx);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    const QColor box = palette.color(QPalette::Shadow);
    const QColor bright = palette.color(QPalette::BrightText);
    palette.setColor(QPalette::Window, box);
    palette.setColor(QPalette::WindowText, ink == Ink::Bright ? bright : Mix(bright, box, 0.25));
    label->setPalette(palette);
    label->setAutoFillBackground(true);
    label->setAlignment(Qt::AlignCenter);
    label->setContentsMargins(4, 0, 4, 0);
    return label;
}

// The black box fits the text, centred across the window.
void PlaceCentred(QLabel* label, int top)
{
    label->adjustSize();
    label->move((c_widthPx - label->width()) / 2, top);
}

} // namespace

TSplashScreen* TSplashScreen::Current() noexcept
{
    return g_splash;
}

TSplashScreen::TSplashScreen(QWidget* owner)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_owner(owner),
      m_settings(std::make_unique<HostRegistry>())
{
    g_splash = this;
    setObjectName("SplashScreen");
    if (!DebuggerAttached())
        setWindowFlag(Qt::WindowStaysOnTopHint);
    setFixedSize(c_widthPx, c_heightPx);
    m_image = RenderArt(":/art/splash.svg", size());

    m_version = MakeLabel(this, 15, true, Ink::Bright);
    m_version->setObjectName("version");
    m_version->setText(tr("Welcome to Version %1!").arg(ProductVersion()));
    PlaceCentred(m_version, c_versionTopPx);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName("progress");
    m_progress->setGeometry(c_progressRect);
    m_progress->setTextVisible(false);
    m_progress->setStyleSheet("QProgressBar { background: palette(shadow); border: 1px solid palette(dark); }"
                              "QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                              " stop:0 palette(light), stop:1 palette(highlight)); }");
    m_progress->setMinimum(0);
    // Zero or less would turn the bar into a busy indicator.
    m_progress->setMaximum(std::max(1, m_settings->ReadInteger(c_stepsSection, c_stepsName, c_defaultSteps)));
    m_progress->setValue(0);

    m_status = MakeLabel(this, 13, false, Ink::Dim);
    m_status->setObjectName("status");
    m_status->setText(tr("Boy Howdy!"));
    PlaceCentred(m_status, c_statusTopPx);

    m_timer = new QTimer(this);
    m_timer->setObjectName("expiry");
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &TSplashScreen::Expired);
    m_timer->start(c_minimumShowMs);

    if (owner) {
        // A splash outliving its main window would wait forever for Finish.
        connect(owner, &QObject::destroyed, this, [this] { delete this; });
    }
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen)
        move(screen->availableGeometry().center() - rect().center());
}

TSplashScreen::~TSplashScreen()
{
    try {
        m_settings->WriteInteger(c_stepsSection, c_stepsName, m_steps);
    } catch (...) {
        // An unwritable settings file costs only the bar's scale on the next start.
    }
    if (m_owner)
        m_owner->window()->setEnabled(true);
    if (g_splash == this)
        g_splash = nullptr;
}

void TSplashScreen::SetStatus(const QString& text)
{
    if (m_finished)
        return;
    m_status->setText(text);
    PlaceCentred(m_status, c_statusTopPx);
    QCoreApplication::processEvents();
}

void TSplashScreen::Step()
{
    if (m_finished)
        return;
    if (m_progress->value() < m_progress->maximum())
        m_progress->setValue(m_progress->value() + 1);
    // Counted when the bar is full too: the next start scales to what this one needed.
    ++m_steps;
    QCoreApplication::processEvents();
}

void TSplashScreen::Finish()
{
    m_progress->setValue(m_progress->maximum());
    QPointer<TSplashScreen> self(this);
    QCoreApplication::processEvents();
    if (!self)
        return;
    m_finished = true;
    if (m_expired)
        delete this;
}

void TSplashScreen::Expired()
{
    m_expired = true;
    // Not deleted here: the timer emitting this signal is our child.
    if (m_finished)
        deleteLater();
}

void TSplashScreen::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_image);
    // Raised double bevel: the outer edge, then one pixel in.
    const QRect outer = rect().adjusted(0, 0, -1, -1);
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    const auto bevel = [&painter](const QRect& r, const QColor& light, const QColor& dark) {
        painter.setPen(light);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(dark);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    };
    const QPalette& colours = palette();
    bevel(outer, colours.color(QPalette::Light), colours.color(QPalette::Shadow));
    bevel(inner, colours.color(QPalette::Midlight), colours.color(QPalette::Dark));
}

void SplashCreate(QWidget* owner)
{
    // One at a time: a second request while one is up changes nothing.
    if (g_splash)
        return;
    auto* splash = new TSplashScreen(owner);
    splash->show();
    QCoreApplication::processEvents();
}

void SplashSetStatus(const QString& text)
{
    if (g_splash)
        g_splash->SetStatus(text);
}

void SplashStep()
{
    if (g_splash)
        g_splash->Step();
}

void SplashFinish()
{
    if (g_splash)
        g_splash->Finish();
}

void SplashAbandon()
{
    delete g_splash;
}
