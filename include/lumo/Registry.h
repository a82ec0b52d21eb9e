// Per-module settings.
#pragma once

#include "Api.h"

namespace LumoApi {

// Implemented by the host ("RegistryApi", a new object per request, bound to the asking
// module). Values live under the module's own key; integers are stored as decimal text.
// Reads fail with 1012, writes with 1013. One thread at a time per object.
class RegistryApi : public Api {
public:
    static constexpr const char TypeId[] = "RegistryApi";

    // "Software\Lumo\Desktop\Modules\<id>\Config". Borrowed.
    virtual const char* LUMO_CALL GetKeyPath() = 0;
    // The value, or default_text when absent; last error 0 on success. Borrowed until the
    // next ReadString on this object.
    virtual const char* LUMO_CALL ReadString(const char* name, const char* default_text) = 0;
    // 1 on success.
    virtual int32_t LUMO_CALL WriteString(const char* name, const char* text) = 0;
    // The value, or default_value when absent or not a number; last error 0 on success.
    virtual int32_t LUMO_CALL ReadInteger(const char* name, int32_t default_value) = 0;
    // 1 on success.
    virtual int32_t LUMO_CALL WriteInteger(const char* name, int32_t value) = 0;
};

} // namespace LumoApi
