#include "Log.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <unistd.h>

#include "platform/System.h"

namespace {

constexpr uint8_t c_info = 0;
constexpr char c_header[] = "Severity | Category | Module | Thread | Time | Message\n";

std::tm LocalTime(Log::TimePoint time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

// Local calendar days since 30 December 1899: never 0 for a real date, so the first line
// of a process always differs from the stored day's initial 0.
int64_t DayNumber(Log::TimePoint time)
{
    using namespace std::chrono;
    const std::tm local = LocalTime(time);
    const sys_days date{year(local.tm_year + 1900) / month(static_cast<unsigned>(local.tm_mon + 1))
        / day(static_cast<unsigned>(local.tm_mday))};
    return (date - sys_days{year(1899) / December / day(30)}).count();
}

// format is "%x" (date) or "%X" (time), both after the locale the program set.
std::string TimeText(Log::TimePoint time, const char* format)
{
    const std::tm local = LocalTime(time);
    char text[128];
    const size_t size = std::strftime(text, sizeof text, format, &local);
    return std::string(text, size);
}

std::string ThreadText()
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(gettid()));
    return text;
}

std::string FormatMessage(const char* format, va_list args)
{
    if (!format)
        return std::string();
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (size < 0)
        return std::string();
    if (static_cast<size_t>(size) < sizeof small)
        return std::string(small, static_cast<size_t>(size));
    std::string text(static_cast<size_t>(size), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

std::string WithExtension(const std::string& path, const char* extension)
{
    return std::filesystem::path(path).replace_extension(extension).string();
}

} // namespace

Log& Log::Instance()
{
    static Log* const log = [] {
        Log* created = new Log(DefaultPath());
        std::atexit([] { Log::Instance().CloseAtExit(); });
        return created;
    }();
    return *log;
}

std::string Log::DefaultPath()
{
    std::string base = Platform::UserDataFolder();
    std::error_code ignored;
    if (base.empty())
        base = std::filesystem::temp_directory_path(ignored).string();
    const std::string folder = base + "/Lumo Desktop";
    std::filesystem::create_directories(folder, ignored);
    return folder + "/" + FileNameFor(Platform::ExecutablePath());
}

std::string Log::FileNameFor(const std::string& executablePath)
{
    std::filesystem::path name = std::filesystem::path(executablePath).filename();
    if (name.empty())
        name = "lumo";
    return name.replace_extension(".log").string();
}

Log::Log(std::string path, NowFunction now)
    : m_path(std::move(path)),
      m_oldPath(WithExtension(m_path, ".old")),
      m_now(now ? std::move(now) : NowFunction([] { return std::chrono::system_clock::now(); }))
{
}

Log::~Log()
{
    CloseAtExit();
}

void Log::SetEnabled(bool enabled)
{
    std::lock_guard lock(m_lock);
    m_enabled = enabled;
    if (enabled)
        m_openFailed = false;
}

bool Log::IsEnabled() const
{
    std::lock_guard lock(m_lock);
    return m_enabled;
}

void Log::Write(uint8_t severity, const char* category, const char* module, const char* format, va_list args)
{
    std::lock_guard lock(m_lock);
    if (const std::optional<TimePoint> time = PrepareLocked())
        EmitLocked(severity, category, module, *time, FormatMessage(format, args));
}

void Log::Write(uint8_t severity, const char* category, const char* module, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    try {
        Write(severity, category, module, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void Log::CloseAtExit()
{
    std::lock_guard lock(m_lock);
    if (m_atExit)
        return;
    CloseLocked();
    m_atExit = true;
}

const char* Log::SeverityText(uint8_t severity) noexcept
{
    switch (severity) {
    case 0:
        return "Info";
    case 1:
        return "Warning";
    case 2:
        return "Error";
    default:
        return "Unknown";
    }
}

// Everything a line needs before its own text: honour the enabled flag, open the file, and
// announce a new day. Answers the line's time, or nothing when no line is to be written.
std::optional<Log::TimePoint> Log::PrepareLocked()
{
    if (m_atExit)
        return std::nullopt;
    if (!m_enabled) {
        CloseLocked();
        return std::nullopt;
    }
    if (!m_file) {
        if (m_openFailed)
            return std::nullopt;
        OpenLocked();
        if (!m_file)
            return std::nullopt;
    }
    const TimePoint now = m_now();
    if (const int64_t day = DayNumber(now); day != m_day) {
        m_day = day;
        WriteLocked(c_info, "Log", "Host", "Date change: " + TimeText(now, "%x"));
    }
    return now;
}

void Log::WriteLocked(uint8_t severity, const char* category, const char* module, std::string_view message)
{
    if (const std::optional<TimePoint> time = PrepareLocked())
        EmitLocked(severity, category, module, *time, message);
}

void Log::EmitLocked(
    uint8_t severity, const char* category, const char* module, TimePoint time, std::string_view message)
{
    const std::string thread = ThreadText();
    const std::string clock = TimeText(time, "%X");
    std::string line = SeverityText(severity);
    for (const std::string_view field : {std::string_view(category ? category : ""),
             std::string_view(module ? module : ""), std::string_view(thread), std::string_view(clock), message}) {
        line += " | ";
        line += field;
    }
    line += '\n';
    // A failed write (disk full) loses the line; there is nobody to tell.
    std::fwrite(line.data(), 1, line.size(), m_file);
    std::fflush(m_file);
    fsync(fileno(m_file));
}

void Log::OpenLocked()
{
    // Rotation failures are of no consequence: the new file is what matters.
    std::remove(m_oldPath.c_str());
    std::rename(m_path.c_str(), m_oldPath.c_str());
    // Close-on-exec, so programs the host starts do not inherit the log.
    m_file = std::fopen(m_path.c_str(), "we");
    if (!m_file) {
        m_openFailed = true;
        return;
    }
    std::fputs(c_header, m_file);
    WriteLocked(c_info, "Log", "Host", "Log opened.");
}

void Log::CloseLocked()
{
    if (m_file) {
        if (m_enabled) {
            // The file is closed even when its last line cannot be written.
            try {
                WriteLocked(c_info, "Log", "Host", "Log closed.");
            } catch (...) {
            }
        }
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_enabled)
        std::remove(m_path.c_str());
}
