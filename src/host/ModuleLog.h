// The host's LogApi: writes to the process-wide log under one module's identifier.
#pragma once

#include <string>

#include <lumo/Log.h>
#include <lumo/Module.h>

class Log;

class ModuleLog : public LumoApi::RefCounted<LumoApi::LogApi> {
public:
    // Writes under moduleId into log, or into Log::Instance() when log is null (looked up at
    // each line, so the process-wide log is still created by its first line).
    explicit ModuleLog(std::string moduleId, Log* log = nullptr);

    // The object the catalogue hands to a module asking for "LogApi": a new reference bound to
    // the module's id. A null module raises WinErrorException 87; a null id prints as empty.
    static ModuleLog* Create(LumoApi::ModuleApi* module);

    // The host's own instance, module "Host"; created on first use and never destroyed, so
    // host services may still write while the process exits. Borrowed.
    static ModuleLog& Host();

    const std::string& ModuleId() const noexcept { return m_moduleId; }

    // Writes one line; nothing thrown inside reaches the caller. severity is 8 bits wide:
    // only its low byte counts. Any thread.
    void Write(int32_t severity, const char* category, const char* format, ...) override
        __attribute__((format(printf, 4, 5)));

private:
    const std::string m_moduleId;
    Log* const m_log;
};
