// The module object of "LumoMusic": hands the host to the shared state.
#pragma once

#include <lumo/DllSupport.h>
#include <lumo/Module.h>

namespace LumoMusic {

class MusicModule : public LumoApi::DllRefCounted<LumoApi::ModuleApi> {
public:
    static constexpr const char c_Id[] = "LumoMusic";

    MusicModule() = default;
    ~MusicModule() override;

    // Interface thread, once. Answers nonzero even when the published set cannot be opened:
    // songs and playlists still show, and the class's own objects report the failure.
    int32_t LUMO_CALL Initialize(LumoApi::HostProgramApi* host) override;
    const char* LUMO_CALL GetDisplayName() override { return "Music"; }
    const char* LUMO_CALL GetId() override { return c_Id; }
};

} // namespace LumoMusic
