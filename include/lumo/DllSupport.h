// Optional helpers for module libraries: remember the manager's callback and report each
// destroyed API object to it, so the host can unload the library once nothing of it is alive.
#pragma once

#include "Api.h"
#include "Dll.h"

namespace LumoApi {

// The callback the host gave this library in DllApi::Initialize. Each library has its own
// (build modules with hidden visibility).
inline DllCallbackApi*& DllCallback()
{
    static DllCallbackApi* callback = nullptr;
    return callback;
}

// A DllApi that keeps the callback and accepts the host. Return a static instance from
// Lumo_GetApi("DllApi").
class DefaultDllApi : public RefNeutral<DllApi> {
public:
    int32_t LUMO_CALL Initialize(DllCallbackApi* callback) override
    {
        DllCallback() = callback;
        return 1;
    }
};

// RefCounted that reports its destruction to the host. Use it for every API object the
// library hands out through Lumo_GetApi.
template <class T>
class DllRefCounted : public RefCounted<T> {
public:
    ~DllRefCounted() override
    {
        if (DllCallbackApi* callback = DllCallback())
            callback->ApiDestroyed(static_cast<Api*>(static_cast<T*>(this)));
    }
};

} // namespace LumoApi
