// Makes the thumbnails of the photo grid on a thread of its own: asking a module for a picture
// may read and scale a large photo, and the window must keep painting meanwhile. The grid still
// decides which cell is asked for and when; this only takes the waiting off its thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <QByteArray>
#include <QImage>
#include <QObject>

#include <lumo/Api.h>
#include <lumo/Url.h>

class ThumbnailProvider : public QObject {
    Q_OBJECT

public:
    // The JPEG bytes a photo's module delivers at most sizePx square. Runs on the provider's
    // thread, with a URL object of that thread's own.
    using Loader = std::function<QByteArray(const LumoApi::ApiRef<LumoApi::UrlApi>& url, int sizePx)>;

    // The host's image service by default. Made on the interface thread.
    explicit ThumbnailProvider(QObject* parent = nullptr);
    // Drops the requests not yet started and waits for the one being made.
    ~ThumbnailProvider() override;
    ThumbnailProvider(const ThumbnailProvider&) = delete;
    ThumbnailProvider& operator=(const ThumbnailProvider&) = delete;

    // Replaces the loader for requests made from now on. Interface thread.
    void SetLoader(Loader loader);
    // Asks for the thumbnail of the item whose URL text is key; Ready answers with ticket, once.
    // Interface thread.
    void Request(uint64_t ticket, const std::string& key, int sizePx);
    // Drops the requests not yet started; the one being made still answers. Interface thread.
    void CancelWaiting();
    // Requests made and not yet answered on the interface thread. Interface thread.
    int Outstanding() const noexcept { return m_outstanding; }

signals:
    // Queued to the interface thread. failed: the module gave no picture or it did not decode;
    // jpeg and picture are then empty. picture is as decoded, not scaled to fit.
    void Ready(quint64 ticket, QByteArray jpeg, QImage picture, bool failed);

private:
    struct Job {
        uint64_t ticket = 0;
        std::string key;
        int sizePx = 0;
        Loader loader;
    };

    void Run();
    void Answered(quint64 ticket);

    Loader m_loader;
    int m_outstanding = 0;

    // Guards everything below.
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Job> m_waiting;
    bool m_stopping = false;
    // Started with the first request; joined by the destructor.
    std::thread m_thread;
};

// The thumbnail's JPEG as the host's image service makes it, at most sizePx square.
QByteArray LoadThumbnailJpeg(const LumoApi::ApiRef<LumoApi::UrlApi>& url, int sizePx);
