#include "DataStream.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include <lumo/Errors.h>
#include <lumo/Log.h>

#include "common/Exceptions.h"
#include "host/ModuleLog.h"

using namespace LumoApi;

namespace {

std::atomic<int32_t> g_openCount{0};
std::atomic<DataStream::LogSink> g_logSink{nullptr};

// One line in the host's own log. The text is already formatted and goes in as an argument:
// names are URLs and may hold "%".
void StreamLog(const char* text)
{
    if (DataStream::LogSink sink = g_logSink.load(std::memory_order_acquire))
        sink(c_LogInfo, "Stream", text);
    else
        ModuleLog::Host().Write(c_LogInfo, "Stream", "%s", text);
}

} // namespace

DataStream::DataStream(ApiRef<DataApi> data, std::string name) : m_data(std::move(data)), m_name(std::move(name))
{
}

DataStream::~DataStream()
{
    close();
}

std::unique_ptr<DataStream> DataStream::Open(ApiRef<DataApi> data, std::string name)
{
    if (!data)
        ThrowWinError(ERROR_INVALID_PARAMETER);
    auto stream = std::make_unique<DataStream>(std::move(data), std::move(name));
    stream->open(ReadOnly);
    return stream;
}

bool DataStream::open(OpenMode mode)
{
    if (isOpen() || !m_data || !(mode & ReadOnly) || (mode & (WriteOnly | Append | Truncate)))
        return false;
    // Unbuffered: the bytes are in memory already; a read-ahead buffer would only copy them twice.
    if (!QIODevice::open(mode | Unbuffered))
        return false;
    m_position = 0;
    const std::string text = "Stream opened (" + (m_name.empty() ? std::string("unnamed") : m_name) + ")";
    StreamLog(text.c_str());
    g_openCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void DataStream::close()
{
    if (!isOpen())
        return;
    g_openCount.fetch_sub(1, std::memory_order_relaxed);
    StreamLog("Stream closed");
    m_data.Reset();
    QIODevice::close();
}

qint64 DataStream::size() const
{
    return isOpen() && m_data ? qint64(m_data->GetSize()) : 0;
}

bool DataStream::seek(qint64 position)
{
    if (!isOpen())
        return QIODevice::seek(position);
    m_position = static_cast<uint32_t>(std::clamp<qint64>(position, 0, size()));
    return QIODevice::seek(m_position);
}

qint64 DataStream::readData(char* data, qint64 maxSize)
{
    if (!m_data)
        return -1;
    // The size is asked afresh each time; a block that shrank below the position reads as ended.
    const uint32_t size = m_data->GetSize();
    if (maxSize <= 0 || m_position >= size)
        return 0;
    const uint8_t* bytes = m_data->GetBytes();
    if (!bytes)
        return -1;
    const auto n = static_cast<uint32_t>(std::min<qint64>(maxSize, size - m_position));
    std::memcpy(data, bytes + m_position, n);
    m_position += n;
    return n;
}

qint64 DataStream::writeData(const char*, qint64)
{
    return 0;
}

int32_t DataStream::OpenCount() noexcept
{
    return g_openCount.load(std::memory_order_relaxed);
}

void DataStream::SetLogSink(LogSink sink) noexcept
{
    g_logSink.store(sink, std::memory_order_release);
}
