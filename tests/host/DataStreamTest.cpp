#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Log.h>

#include "host/ByteData.h"
#include "host/DataStream.h"
#include "host/Log.h"

using namespace LumoApi;

namespace {

std::vector<std::string> g_lines;

class DataStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_lines.clear();
        DataStream::SetLogSink([](int32_t severity, const char* category, const char* text) {
            g_lines.push_back(std::to_string(severity) + " " + category + " " + text);
        });
    }
    void TearDown() override
    {
        DataStream::SetLogSink(nullptr);
        EXPECT_EQ(DataStream::OpenCount(), m_openBefore);
    }

    const int32_t m_openBefore = DataStream::OpenCount();
};

} // namespace

TEST_F(DataStreamTest, OpenAndCloseAreLoggedCountedAndLetGoOfTheData)
{
    const int aliveBefore = ByteData::s_alive;
    auto stream = DataStream::Open(ByteData::Make("0123456789"), "file:///a.jpg");
    EXPECT_EQ(DataStream::OpenCount(), m_openBefore + 1);
    stream->close();
    EXPECT_EQ(ByteData::s_alive, aliveBefore);
    stream->close();
    stream.reset();
    DataStream::Open(ByteData::Make("x"), "").reset(); // closed by its destructor
    EXPECT_EQ(g_lines,
        (std::vector<std::string>{"0 Stream Stream opened (file:///a.jpg)", "0 Stream Stream closed",
            "0 Stream Stream opened (unnamed)", "0 Stream Stream closed"}));
}

TEST_F(DataStreamTest, ReadsAndSeeksAreClampedToTheData)
{
    auto data = ByteData::Make("0123456789");
    auto stream = DataStream::Open(data, "item");
    EXPECT_EQ(stream->read(4), "0123");
    EXPECT_EQ(stream->read(100), "456789");
    EXPECT_EQ(stream->read(1), "");

    EXPECT_TRUE(stream->seek(20));
    EXPECT_EQ(stream->pos(), 10);
    EXPECT_EQ(stream->read(1), "");
    EXPECT_TRUE(stream->seek(-5));
    EXPECT_EQ(stream->pos(), 0);
    EXPECT_TRUE(stream->seek(7));
    EXPECT_EQ(stream->readAll(), "789");

    // A block that shrank below the position reads as ended rather than past its end.
    stream->seek(8);
    data->m_bytes.resize(4);
    char buffer[16];
    EXPECT_EQ(stream->read(buffer, sizeof buffer), 0);
}

TEST_F(DataStreamTest, OpensOnlyForReadingAndOnlyOnce)
{
    auto data = ByteData::Make("abc");
    DataStream stream(data, "item");
    EXPECT_FALSE(stream.open(QIODevice::ReadWrite));
    EXPECT_FALSE(stream.open(QIODevice::WriteOnly));
    EXPECT_TRUE(g_lines.empty());
    ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
    EXPECT_EQ(stream.write("XYZ", 3), -1);
    EXPECT_EQ(data->m_bytes, std::vector<uint8_t>({'a', 'b', 'c'}));
    stream.close();
    EXPECT_FALSE(stream.open(QIODevice::ReadOnly)); // the data went at close
}

TEST(DataStreamLogTest, LinesGoToTheHostLogUnderHost)
{
    // A log of this process's own: other test processes of the same program start their logs
    // in the shared test folder, and each start moves the last one aside.
    const std::filesystem::path home
        = std::filesystem::temp_directory_path() / ("lumo-log-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);

    // Conversions in a name come out as text; they are not taken as a format.
    const std::string name = "mem://log-test/" + std::to_string(getpid()) + "/100%25%s%n.jpg";
    DataStream::Open(ByteData::Make("abc"), name).reset();

    std::ifstream file(Log::Instance().Path());
    ASSERT_TRUE(file.is_open()) << Log::Instance().Path();
    int found = 0;
    for (std::string line; std::getline(file, line);)
        found += line.starts_with("Info | Stream | Host | ") && line.ends_with("Stream opened (" + name + ")");
    EXPECT_EQ(found, 1);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}
