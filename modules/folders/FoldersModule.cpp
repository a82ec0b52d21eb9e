#include "FoldersModule.h"

#include <lumo/Errors.h>
#include <lumo/Log.h>
#include <lumo/Platform.h>

#include "Guard.h"

using namespace LumoApi;

namespace LumoFolders {

FoldersModule::~FoldersModule()
{
    ForgetHost(this);
}

int32_t LUMO_CALL FoldersModule::Initialize(HostProgramApi* host)
{
    return Guard(0, [&]() -> int32_t {
        if (!host)
            throw FolderError(ERROR_INVALID_PARAMETER);
        // The host takes over the module reference it is given, so pass one of ours.
        AddRef();
        ApiRef<LogApi> log = ApiRef<LogApi>::Adopt(static_cast<LogApi*>(host->GetApi(LogApi::TypeId, this)));
        SetHost(this, host, std::move(log));
        return 1;
    });
}

} // namespace LumoFolders
