// The read-only device the host decodes pictures from: a DataApi block seen as a QIODevice.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QIODevice>

#include <lumo/Api.h>
#include <lumo/Data.h>

class DataStream : public QIODevice {
public:
    // Receives the stream's log lines in place of the host log.
    using LogSink = void (*)(int32_t severity, const char* category, const char* text);

    // Not yet open; name (the item's URL text, or "") only appears in the log.
    DataStream(LumoApi::ApiRef<LumoApi::DataApi> data, std::string name);
    ~DataStream() override;

    // A stream already opened for reading; raises 87 when data is null.
    static std::unique_ptr<DataStream> Open(LumoApi::ApiRef<LumoApi::DataApi> data, std::string name);

    // Read-only, once: the data is let go of at close.
    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return false; }
    qint64 size() const override;
    // Clamps to 0..size rather than failing.
    bool seek(qint64 position) override;

    // Streams open in the process now.
    static int32_t OpenCount() noexcept;
    // Redirects the log lines (tests); null restores the host log.
    static void SetLogSink(LogSink sink) noexcept;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    // Writes nothing.
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    LumoApi::ApiRef<LumoApi::DataApi> m_data;
    std::string m_name;
    uint32_t m_position = 0;
};
