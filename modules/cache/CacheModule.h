// The module object of "LumoCache": reads the cache's settings and takes the host's log.
#pragma once

#include <lumo/DllSupport.h>
#include <lumo/Module.h>

namespace LumoCache {

class CacheModule : public LumoApi::DllRefCounted<LumoApi::ModuleApi> {
public:
    static constexpr const char c_Id[] = "LumoCache";

    CacheModule() = default;
    ~CacheModule() override;

    // Interface thread, once. Answers nonzero even without a host or settings: the host cannot
    // start without this module, and the defaults serve.
    int32_t LUMO_CALL Initialize(LumoApi::HostProgramApi* host) override;
    const char* LUMO_CALL GetDisplayName() override { return "Disk Cache"; }
    const char* LUMO_CALL GetId() override { return c_Id; }
};

} // namespace LumoCache
