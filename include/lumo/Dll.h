// What every plug-in library supplies first, and what the host's API manager gives it.
#pragma once

#include "Api.h"

namespace LumoApi {

// Implemented by the host's API manager (a RefNeutral object: AddRef and Release do nothing).
class DllCallbackApi : public Api {
public:
    static constexpr const char TypeId[] = "DllCallbackApi";

    // A library calls this when an API object it handed to the host is being destroyed,
    // once per object, so the manager knows when the library may be unloaded.
    // Never fails; any thread that destroys the object. old_api is borrowed.
    virtual void LUMO_CALL ApiDestroyed(Api* old_api) = 0;
};

// Implemented by every plug-in library; asked for first, under the type identifier "DllApi".
class DllApi : public Api {
public:
    static constexpr const char TypeId[] = "DllApi";

    // Called once by the host after loading the library. callback is borrowed and stays
    // valid until the library is unloaded. Answers nonzero on success; 0 gets the library
    // unloaded again without anything being reported. Interface thread.
    virtual int32_t LUMO_CALL Initialize(DllCallbackApi* callback) = 0;
};

} // namespace LumoApi
