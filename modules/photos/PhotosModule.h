// The module object of "LumoPhotos": connects the photos class and the host's cache and log.
#pragma once

#include <lumo/DllSupport.h>
#include <lumo/Module.h>

namespace LumoPhotos {

class PhotosModule : public LumoApi::DllRefCounted<LumoApi::ModuleApi> {
public:
    PhotosModule() = default;
    ~PhotosModule() override;

    // Interface thread, once. 0 with the class support's last error when the photos class
    // cannot be set up; the host then leaves the module out.
    int32_t LUMO_CALL Initialize(LumoApi::HostProgramApi* host) override;
    const char* LUMO_CALL GetDisplayName() override { return "Photos"; }
    const char* LUMO_CALL GetId() override;

private:
    bool m_classInitialized = false;
};

} // namespace LumoPhotos
