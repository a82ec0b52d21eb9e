// Reads the texts of songs' tool tips on a thread of its own: a tip needs the song's tags, and
// reading those from a damaged, huge or remote file must never hold up the window.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <QObject>

#include <lumo/Api.h>
#include <lumo/Url.h>

class MediaItem;

class SongTipReader : public QObject {
public:
    // summarize builds a tip on the reader's thread, from an item of its own; ready runs on the
    // interface thread after each tip is read. Made on the interface thread.
    SongTipReader(std::function<std::string(MediaItem&)> summarize, std::function<void()> ready);
    // Drops a request not yet started and waits for the one being read.
    ~SongTipReader() override;
    SongTipReader(const SongTipReader&) = delete;
    SongTipReader& operator=(const SongTipReader&) = delete;

    // The tip of url's song once it has been read; until then nullopt, and the song is read
    // (in place of any other song waiting). Only the newest tip read is kept: the views keep
    // their own. Interface thread.
    std::optional<std::string> Tip(const LumoApi::ApiRef<LumoApi::UrlApi>& url);

private:
    void Run();

    const std::function<std::string(MediaItem&)> m_summarize;
    const std::function<void()> m_ready;

    // Guards everything below.
    std::mutex m_lock;
    std::condition_variable m_wake;
    // The song asked for and not yet started; empty when none.
    LumoApi::ApiRef<LumoApi::UrlApi> m_wanted;
    std::string m_wantedKey;
    // The song being read ("" when none), and the newest one read with its tip.
    std::string m_readingKey;
    std::string m_readKey;
    std::string m_readTip;
    bool m_stopping = false;
    // Started with the first request; joined by the destructor.
    std::thread m_thread;
};
