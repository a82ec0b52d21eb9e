#include "MusicModule.h"

#include <lumo/Log.h>
#include <lumo/Platform.h>

#include "Guard.h"
#include "MusicState.h"

using namespace LumoApi;

namespace LumoMusic {

MusicModule::~MusicModule()
{
    MusicState::Instance().Detach(this);
}

int32_t LUMO_CALL MusicModule::Initialize(HostProgramApi* host)
{
    return Guard(0, [&] {
        MusicState& state = MusicState::Instance();
        if (!state.Attach(host, this))
            state.Log(
                c_LogError, "The published music cannot be opened (error " + std::to_string(LumoGetLastError()) + ")");
        return 1;
    });
}

} // namespace LumoMusic
