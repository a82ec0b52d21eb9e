// The module object of "LumoFolders": keeps the host and its log for the module's objects.
#pragma once

#include <lumo/Module.h>

#include "ModuleServices.h"

namespace LumoFolders {

class FoldersModule : public Counted<LumoApi::ModuleApi> {
public:
    static constexpr const char c_Id[] = "LumoFolders";

    FoldersModule() = default;
    ~FoldersModule() override;

    // Interface thread, once.
    int32_t LUMO_CALL Initialize(LumoApi::HostProgramApi* host) override;
    const char* LUMO_CALL GetDisplayName() override { return "Folders"; }
    const char* LUMO_CALL GetId() override { return c_Id; }
};

} // namespace LumoFolders
