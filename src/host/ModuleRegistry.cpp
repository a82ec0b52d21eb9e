#include "ModuleRegistry.h"

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"

using namespace LumoApi;

namespace {

// Every failure of a read is "cannot read", of a write "cannot write", whatever caused it.
template <class Body>
auto Guarded(uint32_t failureCode, Body&& body)
{
    return ApiBoundary(0, [&] {
        try {
            return body();
        } catch (...) {
            ThrowWinError(failureCode);
        }
    });
}

} // namespace

ModuleRegistry::ModuleRegistry(const std::string& moduleId) : m_settings("Modules\\" + moduleId + "\\Config")
{
}

const char* LUMO_CALL ModuleRegistry::GetKeyPath()
{
    return m_settings.KeyPath().c_str();
}

const char* LUMO_CALL ModuleRegistry::ReadString(const char* name, const char* default_text)
{
    return ApiBoundary(nullptr, [&]() -> const char* {
        try {
            m_lastString = m_settings.ReadString("", name ? name : "", default_text ? default_text : "");
        } catch (...) {
            ThrowWinError(ERROR_CANTREAD);
        }
        LumoSetLastError(ERROR_SUCCESS);
        return m_lastString.c_str();
    });
}

int32_t LUMO_CALL ModuleRegistry::WriteString(const char* name, const char* text)
{
    return Guarded(ERROR_CANTWRITE, [&] {
        m_settings.WriteString("", name ? name : "", text ? text : "");
        return 1;
    });
}

int32_t LUMO_CALL ModuleRegistry::ReadInteger(const char* name, int32_t default_value)
{
    return Guarded(ERROR_CANTREAD, [&] {
        const int32_t value = m_settings.ReadInteger("", name ? name : "", default_value);
        LumoSetLastError(ERROR_SUCCESS);
        return value;
    });
}

int32_t LUMO_CALL ModuleRegistry::WriteInteger(const char* name, int32_t value)
{
    return Guarded(ERROR_CANTWRITE, [&] {
        m_settings.WriteInteger("", name ? name : "", value);
        return 1;
    });
}
