// The song properties dialog with its Play/Pause preview, and the song tool tip. The dialog
// holds its own reference to the song, so the row it came from may go while it is open.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QDialog>
#include <QString>

#include <lumo/Api.h>
#include <lumo/Url.h>

class MediaItem;
class MyMediaItem;
class QFontMetrics;
class QLabel;
class QPushButton;
class QShowEvent;
class QWidget;

// What the preview needs of a media player. Handlers run on the interface thread; a test
// drives a scripted player through the same calls.
class PreviewPlayer {
public:
    enum class Mode { NotReady, Stopped, Playing, Paused };
    using ModeHandler = std::function<void()>;
    using ErrorHandler = std::function<void(const std::string& message)>;

    virtual ~PreviewPlayer() = default;

    // modeChanged after every change of Mode(); failed once per failure to open or play.
    virtual void SetHandlers(ModeHandler modeChanged, ErrorHandler failed) = 0;
    virtual Mode CurrentMode() const = 0;
    // Closes any open file first; playback waits for Play.
    virtual void Open(const std::string& path) = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Rewind() = 0;
    // Stops and lets go of the file.
    virtual void Close() = 0;
};

// A player on Qt Multimedia, playing to the default audio output.
std::unique_ptr<PreviewPlayer> MakeMediaPlayer();

class TMusicProps : public QDialog {
    Q_OBJECT

public:
    // Takes its own reference to the item. player serves the preview; none means the Qt
    // Multimedia player, made on the first Play.
    TMusicProps(QWidget* parent, MyMediaItem& item, std::unique_ptr<PreviewPlayer> player = nullptr);
    ~TMusicProps() override;

    void PlayButtonClick();
    void PauseButtonClick();
    void MediaPlayerNotify();
    // Ends playback with the dialog.
    void done(int result) override;

    QLabel* MusicPropsSongTitleLabel;
    QLabel* MusicPropsSongTitle;
    QLabel* MusicPropsAlbumLabel;
    QLabel* MusicPropsAlbum;
    QLabel* MusicPropsArtistLabel;
    QLabel* MusicPropsArtist;
    QLabel* MusicPropsYearLabel;
    QLabel* MusicPropsYear;
    QLabel* MusicPropsGenreLabel;
    QLabel* MusicPropsGenre;
    QLabel* MusicPropsDurationLabel;
    QLabel* MusicPropsDuration;
    QLabel* MusicPropsBitRateLabel;
    QLabel* MusicPropsBitRate;
    QLabel* MusicPropsSampleRateLabel;
    QLabel* MusicPropsSampleRate;
    QLabel* MusicPropsLocationLabel;
    QLabel* MusicPropsLocation;
    QWidget* PlaybackButtonsPanel;
    QPushButton* PauseButton;
    QPushButton* PlayButton;
    QPushButton* Button1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Fills the labels once; an item that is not a song closes the dialog.
    void FormShow();
    void PlayerFailed(const std::string& message);
    void SetButtons(bool playing);
    PreviewPlayer& Player();

    const LumoApi::ApiRef<LumoApi::UrlApi> m_url;
    // The song with its details, made when the dialog is first shown.
    std::unique_ptr<MediaItem> m_song;
    std::unique_ptr<PreviewPlayer> m_player;
    bool m_shown = false;
    bool m_playerConnected = false;
    // One message per failed attempt, however many errors the player reports for it.
    bool m_failureShown = false;
};

// The song list's tip: artist, album, duration and location, each present one on its own
// line; "" for an item that is neither a song nor broken, or when the item cannot be read
// (the failure is left as the last error). It reads the song's tags: any thread, with an item
// used by that thread alone.
std::string SongSummary(MediaItem& song);
std::string SongSummary(MyMediaItem& item);
