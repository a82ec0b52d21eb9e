// The song properties dialog over a real host: what it shows, the song tip, the shortened
// location, and the Play/Pause preview through a scripted player and once through Qt's own.
#include <string>
#include <utility>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QAudioDevice>
#include <QFontMetrics>
#include <QLabel>
#include <QMediaDevices>
#include <QPushButton>
#include <QRegularExpression>

#include "PickerTestSupport.h"
#include "modules/music/MusicTestSupport.h"
#include "picker/MusicPropsForm.h"
#include "picker/MyMediaItem.h"
#include "platform/MessageBox.h"
#include "support/WidgetApplication.h"

namespace {

constexpr char c_Song[] = "mem://fixture/root/song1.fxa";

struct Boxes {
    static inline std::vector<std::string> texts;
    static int Show(const char* text, const char*, uint32_t)
    {
        texts.push_back(text);
        return Platform::IDNO;
    }
};

// Reports each change of mode at once, as a notifying player does; Play fails on request.
class ScriptedPlayer : public PreviewPlayer {
public:
    std::vector<std::string> calls;
    int positionMs = 0;
    bool failPlay = false;

    void SetHandlers(ModeHandler modeChanged, ErrorHandler failed) override
    {
        m_modeChanged = std::move(modeChanged);
        m_failed = std::move(failed);
    }
    Mode CurrentMode() const override { return m_mode; }
    void Open(const std::string& path) override
    {
        calls.push_back("open " + path);
        positionMs = 0;
    }
    void Play() override
    {
        calls.push_back("play");
        SetMode(Mode::Playing);
        if (failPlay) {
            m_failed("bad file");
            m_failed("bad file");
        }
    }
    void Pause() override { SetMode(Mode::Paused); }
    void Rewind() override { positionMs = 0; }
    void Close() override
    {
        calls.push_back("close");
        SetMode(Mode::Stopped);
    }
    void SetMode(Mode mode)
    {
        if (std::exchange(m_mode, mode) != mode && m_modeChanged)
            m_modeChanged();
    }

private:
    Mode m_mode = Mode::Stopped;
    ModeHandler m_modeChanged;
    ErrorHandler m_failed;
};

class MusicPropsTest : public testing::Test {
protected:
    MusicPropsTest() { Boxes::texts.clear(); }
    ~MusicPropsTest() override { Platform::SetMessageBoxHandler(m_previousBox); }

    void SetProperty(const char* url, const char* name, const char* value)
    {
        m_folder.MediaFunction<void (*)(const char*, const char*, const char*)>("Fixture_SetProperty")(
            url, name, value);
    }
    void AddSong(const char* url, const char* contentType)
    {
        m_folder.MediaFunction<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild")(
            "mem://fixture/root", url, contentType, 0);
    }
    std::unique_ptr<MyMediaItem> Item(const char* url)
    {
        return std::make_unique<MyMediaItem>(MemUrl(url), nullptr, m_queue);
    }
    std::unique_ptr<TMusicProps> Shown(MyMediaItem& item, std::unique_ptr<PreviewPlayer> player = nullptr)
    {
        auto dialog = std::make_unique<TMusicProps>(nullptr, item, std::move(player));
        dialog->show();
        return dialog;
    }
    // The button the panel shows; enabled and shown must go together.
    static std::string Shows(TMusicProps& dialog)
    {
        EXPECT_EQ(dialog.PlayButton->isEnabled(), dialog.PlayButton->isVisible());
        EXPECT_EQ(dialog.PauseButton->isEnabled(), dialog.PauseButton->isVisible());
        EXPECT_NE(dialog.PlayButton->isVisible(), dialog.PauseButton->isVisible());
        return dialog.PlayButton->isVisible() ? "Play" : "Pause";
    }

    QApplication& m_application = WidgetApplication();
    Platform::MessageBoxHandler m_previousBox = Platform::SetMessageBoxHandler(&Boxes::Show);
    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};
    UpdateQueue m_queue;
};

TEST_F(MusicPropsTest, ShowsEachDetailWithUnknownForMissingOnes)
{
    SetProperty(c_Song, "SongTitle", "First <b>Song</b>");
    SetProperty(c_Song, "Duration", "61000");
    SetProperty(c_Song, "SourceSampleRate", "44100");
    auto item = Item(c_Song);
    auto dialog = Shown(*item);
    EXPECT_EQ(dialog->windowTitle(), "song1 Properties");
    EXPECT_EQ(dialog->MusicPropsSongTitle->text(), "First <b>Song</b>");
    EXPECT_EQ(dialog->MusicPropsSongTitle->textFormat(), Qt::PlainText);
    EXPECT_EQ(dialog->MusicPropsDuration->text(), "01:01");
    EXPECT_EQ(dialog->MusicPropsSampleRate->text(), "44100");
    EXPECT_EQ(dialog->MusicPropsLocation->text(), c_Song);
    for (QLabel* missing : {dialog->MusicPropsAlbum, dialog->MusicPropsArtist, dialog->MusicPropsYear,
             dialog->MusicPropsGenre, dialog->MusicPropsBitRate})
        EXPECT_EQ(missing->text(), "Unknown") << missing->objectName().toStdString();
    EXPECT_EQ(Shows(*dialog), "Play");
    // A screen reader says what each value is, and the whole location where it is shortened.
    const auto said = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).toStdString();
    };
    EXPECT_EQ(said(dialog->MusicPropsSongTitle), "Song: First <b>Song</b>");
    EXPECT_EQ(said(dialog->MusicPropsAlbum), "Album: Unknown");
    EXPECT_EQ(said(dialog->MusicPropsLocation), std::string("Location: ") + c_Song);
    EXPECT_EQ(said(dialog->PlayButton), "Play");
    // No caption runs into its value, whatever the font.
    for (QLabel* caption : dialog->findChildren<QLabel*>(QRegularExpression("Label$"))) {
        auto* value = dialog->findChild<QLabel*>(caption->objectName().chopped(5));
        ASSERT_TRUE(value);
        EXPECT_LT(caption->geometry().right(), value->x()) << caption->objectName().toStdString();
    }

    // An unreadable duration is missing, not an error; an untitled song is "Music".
    AddSong("mem://fixture/root/", "audio/x-fixture");
    SetProperty("mem://fixture/root/", "Duration", "long");
    auto untitled = Item("mem://fixture/root/");
    auto second = Shown(*untitled);
    EXPECT_EQ(second->windowTitle(), "Music Properties");
    EXPECT_EQ(second->MusicPropsDuration->text(), "Unknown");
    EXPECT_TRUE(Boxes::texts.empty());

    auto photo = Item("mem://fixture/root/photo1.fxi");
    TMusicProps refused(nullptr, *photo);
    EXPECT_EQ(refused.exec(), QDialog::Rejected);
    ASSERT_EQ(Boxes::texts.size(), 1u);
    EXPECT_NE(Boxes::texts[0].find("TMusicProps::FormShow"), std::string::npos) << Boxes::texts[0];
}

TEST_F(MusicPropsTest, SongTipHasOneLinePerPresentValue)
{
    const std::string location = c_Song;
    SetProperty(c_Song, "ArtistName", "Artist");
    EXPECT_EQ(SongSummary(*Item(c_Song)), "Artist\n" + location);
    SetProperty(c_Song, "AlbumTitle", "Album");
    SetProperty(c_Song, "Duration", "3600000");
    EXPECT_EQ(SongSummary(*Item(c_Song)), "Artist\nAlbum\n1:00:00\n" + location);
    SetProperty(c_Song, "Duration", "soon");
    EXPECT_EQ(SongSummary(*Item(c_Song)), "Artist\nAlbum\n" + location);

    EXPECT_EQ(SongSummary(*Item("mem://fixture/root/photo1.fxi")), "");
    AddSong("mem://fixture/root/gone.fxa", "x-application/lumo-broken");
    EXPECT_EQ(SongSummary(*Item("mem://fixture/root/gone.fxa")), "mem://fixture/root/gone.fxa");
}

TEST_F(MusicPropsTest, PlayAndPauseTakeTurnsAndAFailureShowsOnce)
{
    auto item = Item(c_Song);
    auto owned = std::make_unique<ScriptedPlayer>();
    ScriptedPlayer& player = *owned;
    auto dialog = Shown(*item, std::move(owned));

    dialog->PlayButton->click();
    EXPECT_EQ(Shows(*dialog), "Pause");
    player.positionMs = 500;
    dialog->PauseButton->click();
    EXPECT_EQ(Shows(*dialog), "Play");
    dialog->PlayButton->click();
    EXPECT_EQ(Shows(*dialog), "Pause");
    EXPECT_EQ(player.positionMs, 500) << "resumed where it paused";
    player.SetMode(PreviewPlayer::Mode::Stopped); // the end of the song
    EXPECT_EQ(Shows(*dialog), "Play");
    EXPECT_EQ(player.positionMs, 0);
    dialog->PlayButton->click();
    const std::string open = std::string("open ") + c_Song;
    EXPECT_EQ(player.calls, (std::vector<std::string>{open, "play", "play", open, "play"}));

    // Each failed attempt shows one message and hands the turn back to Play.
    player.SetMode(PreviewPlayer::Mode::Stopped);
    player.failPlay = true;
    dialog->PlayButton->click();
    dialog->PlayButton->click();
    EXPECT_EQ(Boxes::texts, (std::vector<std::string>{"bad file", "bad file"}));
    EXPECT_EQ(Shows(*dialog), "Play");

    player.failPlay = false;
    dialog->PlayButton->click();
    dialog->accept();
    EXPECT_EQ(player.calls.back(), "close");
    EXPECT_EQ(player.CurrentMode(), PreviewPlayer::Mode::Stopped);
}

TEST(MusicPropsPlayback, PlaysARealSongToItsEnd)
{
    WidgetApplication();
    if (QMediaDevices::audioOutputs().isEmpty())
        GTEST_SKIP() << "no audio output device";
    Boxes::texts.clear();
    struct Restore {
        Platform::MessageBoxHandler previous;
        ~Restore() { Platform::SetMessageBoxHandler(previous); }
    } restore{Platform::SetMessageBoxHandler(&Boxes::Show)};
    MusicTest::MusicHostFolder folder;
    MusicTest::SandBox sandbox;
    HostInternals host(folder.Path());
    UpdateQueue queue;
    const std::string path = sandbox.File("tone.wav", MusicTest::WavBytes(22050, 1, 16, 22050));
    MyMediaItem item(MusicTest::FileUrl(path), nullptr, queue);
    {
        TMusicProps dialog(nullptr, item);
        dialog.show();
        ASSERT_EQ(dialog.MusicPropsDuration->text(), "00:01");
        dialog.PlayButton->click();
        EXPECT_TRUE(WaitUntil([&] { return dialog.PauseButton->isVisible() || !Boxes::texts.empty(); }));
        if (!Boxes::texts.empty())
            GTEST_SKIP() << "the media backend cannot play here: " << Boxes::texts.front();
        EXPECT_TRUE(WaitUntil([&] { return dialog.PlayButton->isVisible(); }, 5000));
        EXPECT_TRUE(Boxes::texts.empty());
    }
}

} // namespace
