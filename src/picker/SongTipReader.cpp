#include "picker/SongTipReader.h"

#include "host/MediaItem.h"
#include "picker/ViewSupport.h"

using namespace LumoApi;

SongTipReader::SongTipReader(std::function<std::string(MediaItem&)> summarize, std::function<void()> ready)
    : m_summarize(std::move(summarize)), m_ready(std::move(ready))
{
}

SongTipReader::~SongTipReader()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = true;
        m_wanted.Reset();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<std::string> SongTipReader::Tip(const ApiRef<UrlApi>& url)
{
    const std::string key = TextOf(url.Get());
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_readKey.empty() && key == m_readKey)
        return m_readTip;
    if (key != m_readingKey && key != m_wantedKey) {
        m_wanted = url;
        m_wantedKey = key;
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
        m_wake.notify_all();
    }
    return std::nullopt;
}

void SongTipReader::Run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_wanted; });
        if (m_stopping)
            return;
        const ApiRef<UrlApi> url = std::move(m_wanted);
        m_wanted.Reset();
        m_readingKey = std::move(m_wantedKey);
        m_wantedKey.clear();
        lock.unlock();
        // The item is the thread's own: the views' items are not to be touched from here.
        std::string tip;
        try {
            MediaItem song(url);
            tip = m_summarize(song);
        } catch (...) {
            // A song that cannot be read has no tip.
        }
        lock.lock();
        m_readKey = std::move(m_readingKey);
        m_readingKey.clear();
        m_readTip = std::move(tip);
        // Runs on the interface thread; dropped with this object if it goes first.
        QMetaObject::invokeMethod(
            this, [this] { m_ready(); }, Qt::QueuedConnection);
    }
}
