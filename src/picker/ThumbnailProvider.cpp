#include "picker/ThumbnailProvider.h"

#include <exception>
#include <memory>
#include <utility>

#include <lumo/Data.h>
#include <lumo/Image.h>

#include "common/Exceptions.h"
#include "host/DataStream.h"
#include "host/Image.h"
#include "host/JpegDecoder.h"
#include "host/UrlImpl.h"

using namespace LumoApi;

QByteArray LoadThumbnailJpeg(const ApiRef<UrlApi>& url, int sizePx)
{
    // Read the way the host's picture loader reads it, so the bytes kept can be decoded again to
    // the same pixels.
    Image image(url);
    ImageApi& api = *image.Api();
    if (!api.SetSize(sizePx, sizePx))
        ThrowLastError();
    ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(api.GetData("image/jpeg"));
    if (!data)
        ThrowLastError();
    const std::unique_ptr<DataStream> stream = DataStream::Open(std::move(data), image.UrlText());
    return stream->readAll();
}

ThumbnailProvider::ThumbnailProvider(QObject* parent) : QObject(parent), m_loader(LoadThumbnailJpeg)
{
    // Queued like Ready and connected before any receiver's, so the count drops as an answer
    // is delivered.
    connect(this, &ThumbnailProvider::Ready, this, &ThumbnailProvider::Answered, Qt::QueuedConnection);
}

ThumbnailProvider::~ThumbnailProvider()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = true;
        m_waiting.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ThumbnailProvider::SetLoader(Loader loader)
{
    m_loader = std::move(loader);
}

void ThumbnailProvider::Request(uint64_t ticket, const std::string& key, int sizePx)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        // Each job carries its loader: one replaced meanwhile never runs on a request made before.
        m_waiting.push_back(Job{ticket, key, sizePx, m_loader});
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
    }
    ++m_outstanding;
    m_wake.notify_one();
}

void ThumbnailProvider::CancelWaiting()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_outstanding -= int(m_waiting.size());
    m_waiting.clear();
}

void ThumbnailProvider::Answered(quint64)
{
    if (m_outstanding > 0)
        --m_outstanding;
}

void ThumbnailProvider::Run()
{
    while (true) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        QByteArray jpeg;
        QImage picture;
        bool failed = false;
        try {
            // A URL object serves one thread at a time: this one is the worker's alone.
            const ApiRef<UrlApi> url = MakeUrl(job.key);
            jpeg = job.loader(url, job.sizePx);
            picture = DecodeJpeg(reinterpret_cast<const uint8_t*>(jpeg.constData()), size_t(jpeg.size()));
            // The bytes are what the cell keeps; they shrink to fit so a large listing stays small.
            jpeg.squeeze();
        } catch (...) {
            failed = true;
            jpeg = QByteArray();
            picture = QImage();
        }
        // The loader's function object dies here, on its own thread, not under the lock.
        job.loader = nullptr;
        emit Ready(job.ticket, jpeg, picture, failed);
    }
}
