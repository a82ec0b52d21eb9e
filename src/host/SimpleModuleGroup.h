// The group around a library that answers "ModuleApi" directly: one module, index ignored.
#pragma once

#include <string>

#include <lumo/Api.h>
#include <lumo/Module.h>

#include "platform/Library.h"

class SimpleModuleGroup : public LumoApi::RefCounted<LumoApi::ModuleGroupApi> {
public:
    // Loads the library once more by path (raising its load count) and finds its entry point;
    // raises 126 or 127 when either fails.
    explicit SimpleModuleGroup(const std::string& path);
    ~SimpleModuleGroup() override;

    int32_t LUMO_CALL GetCount() override;
    LumoApi::Api* LUMO_CALL GetApi(const char* type_id, int32_t index) override;

private:
    Platform::LibraryHandle m_library = nullptr;
    LumoApi::GetApiFunction m_getApi = nullptr;
};
