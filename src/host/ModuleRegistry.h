// A module's own settings key, "Software\Lumo\Desktop\Modules\<id>\Config".
#pragma once

#include <string>

#include <lumo/Api.h>
#include <lumo/Registry.h>

#include "host/HostRegistry.h"

class ModuleRegistry : public LumoApi::RefCounted<LumoApi::RegistryApi> {
public:
    explicit ModuleRegistry(const std::string& moduleId);

    const char* LUMO_CALL GetKeyPath() override;
    const char* LUMO_CALL ReadString(const char* name, const char* default_text) override;
    int32_t LUMO_CALL WriteString(const char* name, const char* text) override;
    int32_t LUMO_CALL ReadInteger(const char* name, int32_t default_value) override;
    int32_t LUMO_CALL WriteInteger(const char* name, int32_t value) override;

private:
    HostRegistry m_settings;
    // Keeps the text ReadString returned alive until the next call.
    std::string m_lastString;
};
