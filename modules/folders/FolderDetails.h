// The properties of one folder. Values are read from the file system at every request, so a
// folder that went away fails with 2 (file not found) instead of showing what it was.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <lumo/Media.h>

#include "ModuleServices.h"

namespace LumoFolders {

// Any thread; calls are serialised, and a returned text stays valid until the next call.
class FolderDetails : public Counted<LumoApi::DetailsApi> {
public:
    explicit FolderDetails(std::string path);

    const char* LUMO_CALL GetFirstName() override;
    const char* LUMO_CALL GetNextName() override;
    const char* LUMO_CALL GetValue(const char* name) override;

private:
    // Stats the folder again; raises its system code when it is gone or no folder any more.
    void Refresh();
    // The value of name, or false when the folder has no such property.
    bool ValueOf(const std::string& name, std::string& value) const;

    // Guards everything below.
    std::mutex m_lock;
    const std::string m_path;
    struct statx m_info { };
    // The drive type is worked out again only when the folder's identity changes.
    bool m_extrasKnown = false;
    uint32_t m_extrasDeviceMajor = 0;
    uint32_t m_extrasDeviceMinor = 0;
    uint64_t m_extrasInode = 0;
    std::string m_driveType;
    std::string m_specialFolderType;

    std::vector<const char*> m_names;
    size_t m_nextName = 0;
    std::string m_value;
};

} // namespace LumoFolders
