#include "picker/MusicPropsForm.h"

#include <algorithm>
#include <initializer_list>

#include <QAudioOutput>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>

#include "common/ApiBoundary.h"
#include "common/Assert.h"
#include "common/Exceptions.h"
#include "host/MediaItem.h"
#include "picker/MyMediaItem.h"
#include "picker/PaletteInk.h"
#include "picker/PropsFormSupport.h"
#include "picker/Utilities.h"
#include "picker/ViewSupport.h"
#include "platform/MessageBox.h"

namespace {

constexpr QSize c_ClientSize(388, 274);
constexpr int c_FormPointSize = 8;
constexpr int c_CaptionX = 8;
constexpr int c_ValueX = 80;
constexpr int c_ValueWidth = 290;
constexpr int c_CaptionGap = 4;
constexpr int c_BottomRowY = 245;
constexpr QSize c_PlaybackButton(28, 22);
constexpr QRect c_CloseButton(304, c_BottomRowY, 75, 22);
constexpr int c_GlyphPx = 16;

constexpr char c_Unknown[] = QT_TRANSLATE_NOOP("TMusicProps", "Unknown");
constexpr char c_Untitled[] = QT_TRANSLATE_NOOP("PropsForm", "Music");
constexpr char c_CannotPlay[] = QT_TRANSLATE_NOOP("TMusicProps", "The song cannot be played.");

struct Row {
    int y;
    const char* caption;
};
constexpr Row c_Rows[] = {
    {13, QT_TRANSLATE_NOOP("TMusicProps", "Song:")},
    {37, QT_TRANSLATE_NOOP("TMusicProps", "Album:")},
    {61, QT_TRANSLATE_NOOP("TMusicProps", "Artist:")},
    {85, QT_TRANSLATE_NOOP("TMusicProps", "Year:")},
    {109, QT_TRANSLATE_NOOP("TMusicProps", "Genre:")},
    {133, QT_TRANSLATE_NOOP("TMusicProps", "Duration:")},
    {157, QT_TRANSLATE_NOOP("TMusicProps", "Bit Rate:")},
    {181, QT_TRANSLATE_NOOP("TMusicProps", "Sample Rate:")},
    {205, QT_TRANSLATE_NOOP("TMusicProps", "Location:")},
};

QFont DesktopFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(c_FormPointSize);
    return font;
}

// Play is green, leaning towards the button's text colour so that it shows on a dark button
// as on a light one; pause is in the text colour.
constexpr QColor c_PlayHue(0, 110, 0);

// Drawn for one and two device pixels a point, so it stays sharp on a HiDPI screen.
QIcon Glyph(bool play, const QPalette& palette)
{
    const QColor text = palette.color(QPalette::ButtonText);
    QIcon icon;
    for (const qreal ratio : {1.0, 2.0}) {
        QPixmap pixmap(QSize(c_GlyphPx, c_GlyphPx) * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        if (play) {
            painter.setBrush(Mix(text, c_PlayHue, 0.6));
            painter.drawPolygon(QPolygon({{4, 2}, {13, 8}, {4, 14}}));
        } else {
            painter.setBrush(Mix(text, palette.color(QPalette::Button), 0.15));
            painter.drawRect(3, 2, 4, 12);
            painter.drawRect(9, 2, 4, 12);
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A duration that cannot be read counts as missing rather than spoiling the other details.
std::string DurationText(MediaItem& song)
{
    try {
        return FormatDuration(song.Property("Duration"));
    } catch (const ConvertError&) {
        return std::string();
    }
}

QUrl SourceUrl(const std::string& location)
{
    const QString text = QString::fromStdString(location);
    return text.contains("://") ? QUrl(text) : QUrl::fromLocalFile(text);
}

class MediaPlayer : public PreviewPlayer {
public:
    MediaPlayer()
    {
        m_player.setAudioOutput(&m_output);
        QObject::connect(&m_player, &QMediaPlayer::playbackStateChanged, &m_player, [this] {
            if (m_modeChanged)
                m_modeChanged();
        });
        QObject::connect(
            &m_player, &QMediaPlayer::errorOccurred, &m_player, [this](QMediaPlayer::Error error, const QString& text) {
                if (error != QMediaPlayer::NoError && m_failed)
                    m_failed(text.isEmpty() ? QCoreApplication::translate("TMusicProps", c_CannotPlay).toStdString()
                                            : text.toStdString());
            });
    }
    ~MediaPlayer() override { QObject::disconnect(&m_player, nullptr, nullptr, nullptr); }

    void SetHandlers(ModeHandler modeChanged, ErrorHandler failed) override
    {
        m_modeChanged = std::move(modeChanged);
        m_failed = std::move(failed);
    }
    Mode CurrentMode() const override
    {
        switch (m_player.playbackState()) {
        case QMediaPlayer::PlayingState:
            return Mode::Playing;
        case QMediaPlayer::PausedState:
            return Mode::Paused;
        case QMediaPlayer::StoppedState:
            return Mode::Stopped;
        }
        return Mode::NotReady;
    }
    void Open(const std::string& path) override
    {
        Close();
        m_player.setSource(SourceUrl(path));
    }
    void Play() override { m_player.play(); }
    void Pause() override { m_player.pause(); }
    void Rewind() override { m_player.setPosition(0); }
    void Close() override
    {
        m_player.stop();
        m_player.setSource(QUrl());
    }

private:
    // Declared first so the player, which plays into it, goes first.
    QAudioOutput m_output;
    QMediaPlayer m_player;
    ModeHandler m_modeChanged;
    ErrorHandler m_failed;
};

} // namespace

std::unique_ptr<PreviewPlayer> MakeMediaPlayer()
{
    return std::make_unique<MediaPlayer>();
}

TMusicProps::TMusicProps(QWidget* parent, MyMediaItem& item, std::unique_ptr<PreviewPlayer> player)
    : QDialog(parent,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint),
      m_url(item.Url()),
      m_player(std::move(player))
{
    setFont(DesktopFont());
    setFixedSize(c_ClientSize);
    const int labelHeight = fontMetrics().height() + 2;

    QLabel** captions[] = {&MusicPropsSongTitleLabel, &MusicPropsAlbumLabel, &MusicPropsArtistLabel,
        &MusicPropsYearLabel, &MusicPropsGenreLabel, &MusicPropsDurationLabel, &MusicPropsBitRateLabel,
        &MusicPropsSampleRateLabel, &MusicPropsLocationLabel};
    QLabel** values[] = {&MusicPropsSongTitle, &MusicPropsAlbum, &MusicPropsArtist, &MusicPropsYear, &MusicPropsGenre,
        &MusicPropsDuration, &MusicPropsBitRate, &MusicPropsSampleRate, &MusicPropsLocation};
    const char* names[] = {"MusicPropsSongTitle", "MusicPropsAlbum", "MusicPropsArtist", "MusicPropsYear",
        "MusicPropsGenre", "MusicPropsDuration", "MusicPropsBitRate", "MusicPropsSampleRate", "MusicPropsLocation"};
    // The captions may be wider in the desktop's font than the column allows; the values then
    // start after the widest, keeping their right edge.
    int valueX = c_ValueX;
    for (size_t row = 0; row < std::size(c_Rows); ++row) {
        QLabel* caption = new QLabel(tr(c_Rows[row].caption), this);
        caption->setObjectName(QString(names[row]) + "Label");
        caption->move(c_CaptionX, c_Rows[row].y);
        caption->adjustSize();
        valueX = std::max(valueX, caption->geometry().right() + 1 + c_CaptionGap);
        *captions[row] = caption;
    }
    for (size_t row = 0; row < std::size(c_Rows); ++row) {
        QLabel* value = new QLabel(this);
        value->setObjectName(names[row]);
        // Titles and paths are shown as they are, never as markup.
        value->setTextFormat(Qt::PlainText);
        value->setGeometry(valueX, c_Rows[row].y, c_ValueX + c_ValueWidth - valueX, labelHeight);
        *values[row] = value;
    }

    PlaybackButtonsPanel = new QWidget(this);
    PlaybackButtonsPanel->setObjectName("PlaybackButtonsPanel");
    // Only one button shows at a time, and the panel fits it, so both stand in one place.
    auto* buttons = new QHBoxLayout(PlaybackButtonsPanel);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSizeConstraint(QLayout::SetFixedSize);
    PauseButton = new QPushButton(Glyph(false, palette()), QString(), PlaybackButtonsPanel);
    PauseButton->setObjectName("PauseButton");
    PlayButton = new QPushButton(Glyph(true, palette()), QString(), PlaybackButtonsPanel);
    PlayButton->setObjectName("PlayButton");
    for (QPushButton* button : {PauseButton, PlayButton}) {
        button->setFixedSize(c_PlaybackButton);
        button->setIconSize(QSize(c_GlyphPx, c_GlyphPx));
        button->setAutoDefault(false);
        button->setEnabled(false);
        button->setVisible(false);
        buttons->addWidget(button);
    }
    PauseButton->setToolTip(tr("Pause"));
    PlayButton->setToolTip(tr("Play"));
    // The buttons show only a glyph; this is what a screen reader says of them.
    PauseButton->setAccessibleName(tr("Pause"));
    PlayButton->setAccessibleName(tr("Play"));
    PlaybackButtonsPanel->move(c_CaptionX, c_BottomRowY);

    Button1 = new QPushButton(tr("Close"), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(c_CloseButton);
    Button1->setDefault(true);
    // Escape closes like the button: with the OK result.
    auto* cancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);

    connect(PlayButton, &QPushButton::clicked, this, [this] { Guarded([this] { PlayButtonClick(); }); });
    connect(PauseButton, &QPushButton::clicked, this, [this] { Guarded([this] { PauseButtonClick(); }); });
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QShortcut::activated, this, &QDialog::accept);
    if (m_player)
        Player();
}

TMusicProps::~TMusicProps()
{
    if (m_player) {
        m_player->SetHandlers(nullptr, nullptr);
        m_player->Close();
    }
}

PreviewPlayer& TMusicProps::Player()
{
    if (!m_player)
        m_player = MakeMediaPlayer();
    if (!m_playerConnected) {
        m_player->SetHandlers([this] { Guarded([this] { MediaPlayerNotify(); }); },
            [this](const std::string& message) { Guarded([&] { PlayerFailed(message); }); });
        m_playerConnected = true;
    }
    return *m_player;
}

void TMusicProps::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_shown || event->spontaneous())
        return;
    m_shown = true;
    bool filled = false;
    Guarded([&] {
        FormShow();
        filled = m_song != nullptr;
    });
    // Closed once exec has its loop running; closing inside show would leave exec waiting.
    if (!filled)
        QTimer::singleShot(0, this, [this] { done(Rejected); });
}

void TMusicProps::done(int result)
{
    // Playback ends with the dialog, not with the player's destruction later.
    if (m_player)
        m_player->Close();
    QDialog::done(result);
}

void TMusicProps::FormShow()
{
    auto song = std::make_unique<MediaItem>(m_url);
    if (!song->IsAudio() && !IsBroken(*song)) {
        try {
            LUMO_ASSERT(false);
        } catch (const LumoAssertException&) {
        }
        return;
    }
    const std::string title = song->Property("Title");
    setWindowTitle(PropsForm::Caption(title, c_Untitled));
    MusicPropsSongTitle->setText(PropsForm::ValueText(song->Property("SongTitle")));
    MusicPropsAlbum->setText(PropsForm::ValueText(song->Property("AlbumTitle")));
    MusicPropsArtist->setText(PropsForm::ValueText(song->Property("ArtistName")));
    MusicPropsYear->setText(PropsForm::ValueText(song->Property("AlbumYear")));
    MusicPropsGenre->setText(PropsForm::ValueText(song->Property("MusicGenre")));
    MusicPropsDuration->setText(PropsForm::ValueText(DurationText(*song)));
    MusicPropsBitRate->setText(PropsForm::ValueText(song->Property("SourceBitRate")));
    MusicPropsSampleRate->setText(PropsForm::ValueText(song->Property("SourceSampleRate")));
    const std::string location = song->Property("SourceLocation");
    MusicPropsLocation->setText(location.empty() ? tr(c_Unknown)
                                                 : PropsForm::ShortenPath(QString::fromStdString(location),
                                                     MusicPropsLocation->fontMetrics(), MusicPropsLocation->width()));
    MusicPropsLocation->setToolTip(QString::fromStdString(location));
    PropsForm::NameValuesForScreenReaders(*this);
    m_song = std::move(song);
    SetButtons(false);
}

void TMusicProps::PlayButtonClick()
{
    if (!m_song)
        return;
    PreviewPlayer& player = Player();
    if (player.CurrentMode() == PreviewPlayer::Mode::Paused) {
        player.Play();
        return;
    }
    const std::string location = m_song->Property("SourceLocation");
    if (location.empty())
        return;
    m_failureShown = false;
    player.Open(location);
    player.Play();
}

void TMusicProps::PauseButtonClick()
{
    Player().Pause();
}

void TMusicProps::MediaPlayerNotify()
{
    PreviewPlayer& player = *m_player;
    switch (player.CurrentMode()) {
    case PreviewPlayer::Mode::Stopped:
        player.Rewind();
        SetButtons(false);
        break;
    case PreviewPlayer::Mode::Playing:
        SetButtons(true);
        break;
    case PreviewPlayer::Mode::Paused:
        SetButtons(false);
        break;
    default:
        break;
    }
}

void TMusicProps::PlayerFailed(const std::string& message)
{
    // The player may report one failure several times, and may stay in a mode it never
    // reached; the file is let go so the next Play starts afresh.
    m_player->Close();
    SetButtons(false);
    if (m_failureShown)
        return;
    m_failureShown = true;
    Platform::ShowMessageBox(message.c_str(), "Lumo Publisher", Platform::MB_OK | Platform::MB_ICONERROR);
}

void TMusicProps::SetButtons(bool playing)
{
    PlayButton->setEnabled(!playing);
    PauseButton->setEnabled(playing);
    PlayButton->setVisible(PlayButton->isEnabled());
    PauseButton->setVisible(PauseButton->isEnabled());
}

std::string SongSummary(MyMediaItem& item)
{
    try {
        return SongSummary(item.Item());
    } catch (...) {
        Detail::SetLastErrorFromCurrentException();
        return std::string();
    }
}

std::string SongSummary(MediaItem& song)
{
    try {
        if (!song.IsAudio() && !IsBroken(song))
            return std::string();
        std::string tip;
        for (const std::string& value : {song.Property("ArtistName"), song.Property("AlbumTitle"), DurationText(song),
                 song.Property("SourceLocation")}) {
            if (value.empty())
                continue;
            if (!tip.empty())
                tip += '\n';
            tip += value;
        }
        return tip;
    } catch (...) {
        Detail::SetLastErrorFromCurrentException();
        return std::string();
    }
}
