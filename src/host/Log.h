// The process-wide log file: one plain-text file per user and program, rotated to ".old" each
// time it is opened, written line by line by the host and, through ModuleLog, by every module.
#pragma once

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class Log {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    using NowFunction = std::function<TimePoint()>;

    // The process-wide log, created on the first call at DefaultPath() and closed at process
    // exit. Never destroyed, so threads still writing during exit find it intact.
    static Log& Instance();

    // "<data folder>/<program file name>.log", the data folder created when missing.
    static std::string DefaultPath();
    // The log file name for an executable: its file name with the extension replaced by ".log".
    static std::string FileNameFor(const std::string& executablePath);

    // A log over path (the ".log" file) that reads the time from now (the system clock when
    // empty). Instance() is the program's; tests build their own.
    explicit Log(std::string path, NowFunction now = {});
    // Closes the file as at process exit.
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    const std::string& Path() const noexcept { return m_path; }
    const std::string& OldPath() const noexcept { return m_oldPath; }

    // Takes effect at the next line: disabled, it closes the file without the closing line
    // and deletes it; enabled again, it opens and rotates afresh.
    void SetEnabled(bool enabled);
    bool IsEnabled() const;

    // Writes one line "Severity | Category | Module | Thread | Time | Message", opening the
    // file first when needed, then flushes it and commits it to disk. A null category, module
    // or format prints as empty text. Any thread.
    void Write(uint8_t severity, const char* category, const char* module, const char* format, va_list args);
    void Write(uint8_t severity, const char* category, const char* module, const char* format, ...)
        __attribute__((format(printf, 5, 6)));

    // Closes the file as at process exit; lines written afterwards are dropped, so a late
    // writer cannot rotate away the log this process has just closed.
    void CloseAtExit();

    // "Info", "Warning", "Error"; "Unknown" for any other value.
    static const char* SeverityText(uint8_t severity) noexcept;

private:
    std::optional<TimePoint> PrepareLocked();
    void WriteLocked(uint8_t severity, const char* category, const char* module, std::string_view message);
    void EmitLocked(
        uint8_t severity, const char* category, const char* module, TimePoint time, std::string_view message);
    void OpenLocked();
    void CloseLocked();

    const std::string m_path;
    const std::string m_oldPath;
    const NowFunction m_now;

    // Guards everything below. Recursive because the log writes its own lines (opened, date
    // change, closed) through the same procedure while holding it.
    mutable std::recursive_mutex m_lock;
    bool m_enabled = true;
    std::FILE* m_file = nullptr;
    // Local day of the last line, counted from 30 December 1899; 0 until the first line, and
    // kept across reopening, so only a new day gets a "Date change" line in a reopened file.
    int64_t m_day = 0;
    // Set when the file could not be created: a retry per line would rotate (and so delete)
    // the previous logs over and over. Cleared by SetEnabled(true).
    bool m_openFailed = false;
    bool m_atExit = false;
};
