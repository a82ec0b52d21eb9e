#include "FolderDetails.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/sysmacros.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "FolderPaths.h"
#include "Guard.h"
#include "MountTable.h"
#include "UserDirs.h"

using namespace LumoApi;

namespace LumoFolders {

namespace {

constexpr char c_FolderType[] = "x-container/folder";

// STATX_ATTR_MOUNT_ROOT, for C libraries whose headers predate it.
constexpr uint64_t c_AttrMountRoot = 0x00002000;

// The drive and special-folder types need a look of their own.
bool NeedsOwnLook(const char* name)
{
    return std::strcmp(name, "DriveType") == 0 || std::strcmp(name, "SpecialFolderType") == 0;
}

} // namespace

FolderDetails::FolderDetails(std::string path, ApiRef<UrlApi> url) : m_path(std::move(path)), m_url(std::move(url))
{
}

void FolderDetails::Refresh(bool exact)
{
    if (!exact && m_url) {
        if (const std::optional<ListedFile> listed = Listed().Read(m_url.Get())) {
            if (listed->fileType != c_ListedFolder)
                throw FolderError(LumoApi::ERROR_PATH_NOT_FOUND);
            m_hasBirthTime = (listed->flags & c_ListedBirthTime) != 0;
            m_birthSec = LumoModules::WholeSeconds(listed->createdNs);
            m_changeSec = LumoModules::WholeSeconds(listed->changedNs);
            m_modifySec = LumoModules::WholeSeconds(listed->modifiedNs);
            return;
        }
    }
    struct statx info { };
    if (statx(AT_FDCWD, m_path.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
        throw FolderError(CodeFromErrno(errno));
    if (!S_ISDIR(info.stx_mode))
        throw FolderError(LumoApi::ERROR_PATH_NOT_FOUND);
    m_hasBirthTime = (info.stx_mask & STATX_BTIME) != 0;
    m_birthSec = info.stx_btime.tv_sec;
    m_changeSec = info.stx_ctime.tv_sec;
    m_modifySec = info.stx_mtime.tv_sec;
    // Cheap: the user-dirs file is read again only when it changed.
    m_specialFolderType
        = SpecialFolderTypeOf(m_path, makedev(info.stx_dev_major, info.stx_dev_minor), ino_t(info.stx_ino));
    if (m_extrasKnown && m_extrasDeviceMajor == info.stx_dev_major && m_extrasDeviceMinor == info.stx_dev_minor
        && m_extrasInode == info.stx_ino)
        return;
    std::optional<bool> isMountRoot;
    if (info.stx_attributes_mask & c_AttrMountRoot)
        isMountRoot = (info.stx_attributes & c_AttrMountRoot) != 0;
    m_driveType = DriveTypeOf(m_path, isMountRoot);
    m_extrasDeviceMajor = info.stx_dev_major;
    m_extrasDeviceMinor = info.stx_dev_minor;
    m_extrasInode = info.stx_ino;
    m_extrasKnown = true;
}

bool FolderDetails::ValueOf(const std::string& name, std::string& value) const
{
    if (name == "FileName")
        value = ReadableText(LeafOf(m_path));
    else if (name == "SourceFormat" || name == "ContentType")
        value = c_FolderType;
    else if (name == "SourceLocation")
        value = ReadableText(m_path);
    else if (name == "CreationDate")
        // Birth time where the file system keeps one; the change time stands in elsewhere.
        value = std::to_string(m_hasBirthTime ? m_birthSec : m_changeSec);
    else if (name == "LastChangeDate")
        value = std::to_string(m_modifySec);
    else if (name == "DriveType" && !m_driveType.empty())
        value = m_driveType;
    else if (name == "SpecialFolderType" && !m_specialFolderType.empty())
        value = m_specialFolderType;
    else
        return false;
    return true;
}

const char* LUMO_CALL FolderDetails::GetFirstName()
{
    return Guard<const char*>(nullptr, [&]() -> const char* {
        std::lock_guard<std::mutex> lock(m_lock);
        Refresh(true);
        m_names = {"FileName", "SourceFormat", "ContentType", "SourceLocation", "CreationDate", "LastChangeDate"};
        if (!m_driveType.empty())
            m_names.push_back("DriveType");
        if (!m_specialFolderType.empty())
            m_names.push_back("SpecialFolderType");
        m_nextName = 1;
        return m_names.front();
    });
}

const char* LUMO_CALL FolderDetails::GetNextName()
{
    return Guard<const char*>(nullptr, [&]() -> const char* {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_nextName >= m_names.size()) {
            LumoSetLastError(ERROR_NO_MORE_ITEMS);
            return nullptr;
        }
        return m_names[m_nextName++];
    });
}

const char* LUMO_CALL FolderDetails::GetValue(const char* name)
{
    return Guard<const char*>(nullptr, [&]() -> const char* {
        if (!name)
            throw FolderError(ERROR_INVALID_PARAMETER);
        std::lock_guard<std::mutex> lock(m_lock);
        Refresh(NeedsOwnLook(name));
        if (!ValueOf(name, m_value)) {
            LumoSetLastError(ERROR_NOT_FOUND);
            return nullptr;
        }
        return m_value.c_str();
    });
}

} // namespace LumoFolders
