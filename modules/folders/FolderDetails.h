// The properties of one folder. Values are read from the file system at every request, so a
// folder that went away fails with 2 (file not found) instead of showing what it was. A
// listing's young record of the folder stands in for that look at the file system for the
// values a listing shows (name, type, location, dates); the drive and special-folder types
// always look.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <lumo/Media.h>
#include <lumo/Url.h>

#include "ModuleServices.h"

namespace LumoFolders {

// Any thread; calls are serialised, and a returned text stays valid until the next call.
class FolderDetails : public Counted<LumoApi::DetailsApi> {
public:
    // url: the folder's URL, for the listing's record of it; may be null.
    FolderDetails(std::string path, LumoApi::ApiRef<LumoApi::UrlApi> url);

    const char* LUMO_CALL GetFirstName() override;
    const char* LUMO_CALL GetNextName() override;
    const char* LUMO_CALL GetValue(const char* name) override;

private:
    // Stats the folder again, or takes its listing's record when exact is false and the record
    // is young; raises its system code when it is gone or no folder any more.
    void Refresh(bool exact);
    // The value of name, or false when the folder has no such property.
    bool ValueOf(const std::string& name, std::string& value) const;

    // Guards everything below.
    std::mutex m_lock;
    const std::string m_path;
    const LumoApi::ApiRef<LumoApi::UrlApi> m_url;
    // From the last refresh.
    bool m_hasBirthTime = false;
    int64_t m_birthSec = 0;
    int64_t m_changeSec = 0;
    int64_t m_modifySec = 0;
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
