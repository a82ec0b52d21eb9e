#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <latch>
#include <new>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Log.h>
#include <lumo/Module.h>
#include <lumo/Platform.h>

#include "common/Exceptions.h"
#include "host/Log.h"
#include "host/ModuleLog.h"
#include "platform/System.h"

using namespace LumoApi;
namespace fs = std::filesystem;

namespace {

const char c_header[] = "Severity | Category | Module | Thread | Time | Message";

// A local time, as the log's clock would report it.
Log::TimePoint At(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Severity, category, module, thread, time and message; the message keeps any " | " of its own.
struct Fields {
    std::string severity, category, module, thread, time, message;
};

Fields Split(const std::string& line)
{
    std::vector<std::string> parts;
    size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        const size_t bar = line.find(" | ", at);
        if (bar == std::string::npos) {
            ADD_FAILURE() << "not a log line: " << line;
            return {};
        }
        parts.push_back(line.substr(at, bar - at));
        at = bar + 3;
    }
    return {parts[0], parts[1], parts[2], parts[3], parts[4], line.substr(at)};
}

class LogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Fixed texts for "%x" and "%X": 03/09/24 and 23:59:58.
        std::setlocale(LC_ALL, "C");
    }

    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "lumo-log-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        m_path = m_folder / "program.log";
        m_oldPath = m_folder / "program.old";
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    std::unique_ptr<Log> MakeLog(const fs::path& path)
    {
        return std::make_unique<Log>(path.string(), [this] { return m_now; });
    }

    std::vector<std::string> LogLines() const { return Lines(ReadFile(m_path)); }

    fs::path m_folder;
    fs::path m_path;
    fs::path m_oldPath;
    Log::TimePoint m_now = At(2024, 3, 9, 23, 59, 58);
};

TEST_F(LogTest, FirstLineRotatesThenWritesHeaderDateChangeOpenedAndTheLine)
{
    WriteFile(m_path, "previous run\n");
    WriteFile(m_oldPath, "run before that\n");
    auto log = MakeLog(m_path);
    EXPECT_EQ(log->OldPath(), m_oldPath.string());
    // Nothing touches the files before the first line.
    EXPECT_EQ(ReadFile(m_path), "previous run\n");

    log->Write(c_LogWarning, "Scan", "LumoMusic", "found %d of %s", 42, "songs");

    EXPECT_EQ(ReadFile(m_oldPath), "previous run\n");
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], c_header);

    const Fields date = Split(lines[1]);
    EXPECT_EQ(date.severity, "Info");
    EXPECT_EQ(date.category, "Log");
    EXPECT_EQ(date.module, "Host");
    EXPECT_EQ(date.time, "23:59:58");
    EXPECT_EQ(date.message, "Date change: 03/09/24");

    const Fields opened = Split(lines[2]);
    EXPECT_EQ(opened.category, "Log");
    EXPECT_EQ(opened.module, "Host");
    EXPECT_EQ(opened.message, "Log opened.");

    const Fields line = Split(lines[3]);
    EXPECT_EQ(line.severity, "Warning");
    EXPECT_EQ(line.category, "Scan");
    EXPECT_EQ(line.module, "LumoMusic");
    EXPECT_EQ(line.time, "23:59:58");
    EXPECT_EQ(line.message, "found 42 of songs");
    EXPECT_EQ(ReadFile(m_path).back(), '\n');
}

TEST_F(LogTest, NewDayGetsADateChangeLineBeforeTheLineAndSameDayDoesNot)
{
    auto log = MakeLog(m_path);
    log->Write(c_LogInfo, "Test", "Host", "before midnight");
    m_now = At(2024, 3, 9, 23, 59, 59);
    log->Write(c_LogInfo, "Test", "Host", "still the same day");
    m_now = At(2024, 3, 10, 0, 0, 1);
    log->Write(c_LogInfo, "Test", "Host", "after midnight");

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(Split(lines[3]).message, "before midnight");
    EXPECT_EQ(Split(lines[4]).message, "still the same day");
    const Fields change = Split(lines[5]);
    EXPECT_EQ(change.message, "Date change: 03/10/24");
    EXPECT_EQ(change.time, "00:00:01");
    EXPECT_EQ(Split(lines[6]).message, "after midnight");
}

TEST_F(LogTest, SeverityNames)
{
    const struct {
        uint8_t severity;
        const char* text;
    } cases[] = {{0, "Info"}, {1, "Warning"}, {2, "Error"}, {3, "Unknown"}, {7, "Unknown"}, {255, "Unknown"}};
    auto log = MakeLog(m_path);
    for (const auto& c : cases)
        log->Write(c.severity, "Test", "Host", "severity %u", unsigned(c.severity));

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u + std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Fields fields = Split(lines[3 + i]);
        EXPECT_EQ(fields.severity, cases[i].text) << fields.message;
        EXPECT_EQ(fields.message, "severity " + std::to_string(cases[i].severity));
    }
}

TEST_F(LogTest, ThreadColumnIsTheWritersKernelThreadIdInUpperCaseHex)
{
    auto log = MakeLog(m_path);
    log->Write(c_LogInfo, "Test", "Host", "main");
    pid_t workerId = 0;
    std::thread([&] {
        workerId = gettid();
        log->Write(c_LogInfo, "Test", "Host", "worker");
    }).join();

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    const std::regex shape("[0-9A-F]{4,}");
    const Fields main = Split(lines[3]);
    const Fields worker = Split(lines[4]);
    EXPECT_TRUE(std::regex_match(main.thread, shape)) << main.thread;
    EXPECT_TRUE(std::regex_match(worker.thread, shape)) << worker.thread;
    EXPECT_EQ(std::strtoul(main.thread.c_str(), nullptr, 16), static_cast<unsigned long>(gettid()));
    EXPECT_EQ(std::strtoul(worker.thread.c_str(), nullptr, 16), static_cast<unsigned long>(workerId));
    EXPECT_NE(main.thread, worker.thread);
}

TEST_F(LogTest, FieldsAreWrittenAsTheyAre)
{
    auto log = MakeLog(m_path);
    log->Write(c_LogInfo, "A | B", "Mod", "left | right\nnext line %s", "end");
    log->Write(c_LogInfo, nullptr, nullptr, nullptr);
    // Longer than any fixed buffer a formatter might use.
    const std::string longText(5000, 'x');
    log->Write(c_LogError, "Test", "Host", "[%s]", longText.c_str());

    const std::string text = ReadFile(m_path);
    EXPECT_NE(text.find(" | A | B | Mod | "), std::string::npos);
    EXPECT_NE(text.find(" | left | right\nnext line end\n"), std::string::npos);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 7u);
    const Fields empty = Split(lines[5]);
    EXPECT_EQ(empty.category, "");
    EXPECT_EQ(empty.module, "");
    EXPECT_EQ(empty.message, "");
    EXPECT_EQ(Split(lines[6]).message, "[" + longText + "]");
}

TEST_F(LogTest, DisabledFromTheStartCreatesNothingAndDeletesOnlyTheCurrentLog)
{
    WriteFile(m_path, "previous run\n");
    WriteFile(m_oldPath, "run before that\n");
    {
        auto log = MakeLog(m_path);
        log->SetEnabled(false);
        EXPECT_FALSE(log->IsEnabled());
        // Switching off alone touches nothing; the next line does.
        EXPECT_TRUE(fs::exists(m_path));
        log->Write(c_LogInfo, "Test", "Host", "dropped");
        EXPECT_FALSE(fs::exists(m_path));
        log->Write(c_LogInfo, "Test", "Host", "dropped too");
        EXPECT_FALSE(fs::exists(m_path));
    }
    EXPECT_EQ(ReadFile(m_oldPath), "run before that\n");

    // With no line at all, the exit deletes it.
    WriteFile(m_path, "previous run\n");
    {
        auto log = MakeLog(m_path);
        log->SetEnabled(false);
    }
    EXPECT_FALSE(fs::exists(m_path));
    EXPECT_EQ(ReadFile(m_oldPath), "run before that\n");
}

TEST_F(LogTest, DisablingDeletesTheOpenFileAndReEnablingOpensAgainWithoutANewDay)
{
    auto log = MakeLog(m_path);
    log->Write(c_LogInfo, "Test", "Host", "first");
    ASSERT_TRUE(fs::exists(m_path));

    log->SetEnabled(false);
    log->Write(c_LogInfo, "Test", "Host", "dropped");
    EXPECT_FALSE(fs::exists(m_path));

    log->SetEnabled(true);
    log->Write(c_LogInfo, "Test", "Host", "second");
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], c_header);
    EXPECT_EQ(Split(lines[1]).message, "Log opened.");
    EXPECT_EQ(Split(lines[2]).message, "second");

    // A reopening on a later day announces the day once more.
    log->SetEnabled(false);
    log->Write(c_LogInfo, "Test", "Host", "dropped");
    log->SetEnabled(true);
    m_now = At(2024, 3, 11, 8, 0, 0);
    log->Write(c_LogInfo, "Test", "Host", "third");
    const std::vector<std::string> later = LogLines();
    ASSERT_EQ(later.size(), 4u);
    EXPECT_EQ(Split(later[1]).message, "Date change: 03/11/24");
    EXPECT_EQ(Split(later[2]).message, "Log opened.");
}

TEST_F(LogTest, ClosingWritesTheClosingLineAndLaterLinesAreDropped)
{
    auto log = MakeLog(m_path);
    log->Write(c_LogInfo, "Test", "Host", "only");
    log->CloseAtExit();
    const std::string closed = ReadFile(m_path);
    const std::vector<std::string> lines = Lines(closed);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(Split(lines[4]).message, "Log closed.");

    // A late writer must not rotate away the file just closed.
    log->Write(c_LogInfo, "Test", "Host", "too late");
    EXPECT_EQ(ReadFile(m_path), closed);
    EXPECT_FALSE(fs::exists(m_oldPath));
}

TEST_F(LogTest, AFileThatCannotBeCreatedLeavesTheLogClosedUntilReEnabled)
{
    const fs::path missing = m_folder / "missing";
    auto log = MakeLog(missing / "program.log");
    log->Write(c_LogInfo, "Test", "Host", "nowhere to go");
    EXPECT_FALSE(fs::exists(missing));

    // Retrying at each line would rotate the previous logs away again and again.
    fs::create_directory(missing);
    WriteFile(missing / "program.log", "kept\n");
    log->Write(c_LogInfo, "Test", "Host", "still nowhere");
    EXPECT_EQ(ReadFile(missing / "program.log"), "kept\n");

    log->SetEnabled(true);
    log->Write(c_LogInfo, "Test", "Host", "arrives");
    EXPECT_EQ(ReadFile(missing / "program.old"), "kept\n");
    const std::vector<std::string> lines = Lines(ReadFile(missing / "program.log"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(Split(lines.back()).message, "arrives");
}

TEST_F(LogTest, ConcurrentWritersProduceWholeLinesAndOneOpening)
{
    constexpr int c_threads = 4;
    constexpr int c_linesEach = 40;
    auto log = MakeLog(m_path);
    std::latch start(c_threads);
    std::vector<std::thread> writers;
    for (int t = 0; t < c_threads; ++t) {
        writers.emplace_back([&, t] {
            start.arrive_and_wait();
            const std::string padding(300, static_cast<char>('a' + t));
            for (int i = 0; i < c_linesEach; ++i)
                log->Write(c_LogInfo, "Test", "Host", "writer %d line %d %s", t, i, padding.c_str());
        });
    }
    for (std::thread& writer : writers)
        writer.join();

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 3u + c_threads * c_linesEach);
    EXPECT_EQ(lines[0], c_header);
    EXPECT_EQ(Split(lines[1]).message.rfind("Date change: ", 0), 0u);
    EXPECT_EQ(Split(lines[2]).message, "Log opened.");

    const std::regex shape(R"(writer (\d) line (\d+) ([a-z])\3{299})");
    int next[c_threads] = {};
    for (size_t i = 3; i < lines.size(); ++i) {
        std::smatch match;
        const std::string message = Split(lines[i]).message;
        ASSERT_TRUE(std::regex_match(message, match, shape)) << lines[i];
        const int writer = std::stoi(match[1]);
        ASSERT_LT(writer, c_threads);
        EXPECT_EQ(match[3].str()[0], 'a' + writer);
        EXPECT_EQ(std::stoi(match[2]), next[writer]++) << "lines of one writer out of order";
    }
    for (int count : next)
        EXPECT_EQ(count, c_linesEach);
}

TEST(LogFileName, ReplacesTheProgramsExtensionWithLog)
{
    const struct {
        const char* executable;
        const char* name;
    } cases[] = {
        {"/usr/bin/lumo-publish", "lumo-publish.log"},
        {"/opt/lumo.d/publisher", "publisher.log"},
        {"/opt/lumo/Publisher.exe", "Publisher.log"},
        {"", "lumo.log"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Log::FileNameFor(c.executable), c.name) << c.executable;

    const fs::path path = Log::DefaultPath();
    // Our executables have no extension, so the program's whole name comes first.
    EXPECT_EQ(path.filename(), fs::path(Platform::ExecutablePath()).filename().string() + ".log");
    EXPECT_EQ(path.parent_path().filename(), "Lumo Desktop");
    EXPECT_TRUE(fs::is_directory(path.parent_path()));
}

// A module whose id the catalogue's factory reads.
class NamedModule : public RefCounted<ModuleApi> {
public:
    explicit NamedModule(const char* id) : m_id(id) { }
    int32_t LUMO_CALL Initialize(HostProgramApi*) override { return 1; }
    const char* LUMO_CALL GetDisplayName() override { return "Named"; }
    const char* LUMO_CALL GetId() override { return m_id; }

private:
    const char* m_id;
};

TEST_F(LogTest, ModuleLogWritesUnderItsModuleIdWithTheLowByteOfTheSeverity)
{
    auto log = MakeLog(m_path);
    ApiRef<LogApi> api = ApiRef<LogApi>::Adopt(new ModuleLog("LumoMusic", log.get()));
    api->Write(256 + c_LogError, "Tags", "%s has %d tags", "song.mp3", 7);

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    const Fields line = Split(lines[3]);
    EXPECT_EQ(line.severity, "Error");
    EXPECT_EQ(line.category, "Tags");
    EXPECT_EQ(line.module, "LumoMusic");
    EXPECT_EQ(line.message, "song.mp3 has 7 tags");
}

TEST_F(LogTest, ModuleLogKeepsExceptionsFromTheCaller)
{
    Log failing(m_path.string(), []() -> Log::TimePoint { throw std::bad_alloc(); });
    ApiRef<LogApi> api = ApiRef<LogApi>::Adopt(new ModuleLog("LumoPhotos", &failing));
    LumoSetLastError(0);
    EXPECT_NO_THROW(api->Write(c_LogInfo, "Test", "%d", 1));
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    // failing's destructor cannot write its closing line either, and must still close.
}

TEST(ModuleLogFactory, BindsTheAskingModulesIdAndRefusesNone)
{
    NamedModule module("LumoShellLink");
    ApiRef<ModuleLog> log = ApiRef<ModuleLog>::Adopt(ModuleLog::Create(&module));
    EXPECT_EQ(log->ModuleId(), "LumoShellLink");

    NamedModule anonymous(nullptr);
    EXPECT_EQ(ApiRef<ModuleLog>::Adopt(ModuleLog::Create(&anonymous))->ModuleId(), "");

    try {
        ModuleLog::Create(nullptr);
        ADD_FAILURE() << "a null module was accepted";
    } catch (const WinErrorException& error) {
        EXPECT_EQ(error.ErrorCode(), ERROR_INVALID_PARAMETER);
    }

    EXPECT_EQ(&ModuleLog::Host(), &ModuleLog::Host());
    EXPECT_EQ(ModuleLog::Host().ModuleId(), "Host");
}

} // namespace
