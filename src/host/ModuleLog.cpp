#include "ModuleLog.h"

#include <cstdarg>

#include <lumo/Errors.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"
#include "host/Log.h"

ModuleLog::ModuleLog(std::string moduleId, Log* log) : m_moduleId(std::move(moduleId)), m_log(log)
{
}

ModuleLog* ModuleLog::Create(LumoApi::ModuleApi* module)
{
    if (!module)
        ThrowWinError(LumoApi::ERROR_INVALID_PARAMETER);
    const char* id = module->GetId();
    return new ModuleLog(id ? id : "");
}

ModuleLog& ModuleLog::Host()
{
    static ModuleLog* const host = new ModuleLog("Host");
    return *host;
}

void ModuleLog::Write(int32_t severity, const char* category, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    ApiBoundaryVoid([&] {
        Log& log = m_log ? *m_log : Log::Instance();
        log.Write(static_cast<uint8_t>(severity), category, m_moduleId.c_str(), format, args);
    });
    va_end(args);
}
