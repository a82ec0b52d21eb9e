#include "FolderFormat.h"

#include <cstring>
#include <optional>
#include <string>
#include <strings.h>
#include <sys/stat.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "FolderContainer.h"
#include "FolderDetails.h"
#include "FolderPaths.h"
#include "Guard.h"
#include "KnownEntries.h"

using namespace LumoApi;

namespace LumoFolders {

namespace {

constexpr char c_FolderType[] = "x-container/folder";

} // namespace

int32_t LUMO_CALL FolderFormat::GetFormat(int32_t index, FormatInfo* info)
{
    if (index != 0) {
        LumoSetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    if (!info) {
        LumoSetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    info->contentType = c_FolderType;
    info->extensions = "";
    info->description = "Folder";
    return 1;
}

int32_t LUMO_CALL FolderFormat::Identify(UrlApi* url, DataApi*)
{
    return Guard(-1, [&]() -> int32_t {
        // The host asks for every item it meets: no more than the scheme test and one stat, and
        // not even that for a child a listing has just handed out.
        // Kept per thread: no allocation for each of the many calls.
        thread_local std::string path;
        if (!PathOfFileUrl(url, path))
            return -1;
        if (std::optional<bool> isFolder = RecallEntry(path))
            return *isFolder ? 0 : -1;
        struct stat info { };
        return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? 0 : -1;
    });
}

const char* LUMO_CALL FolderMedia::GetContentTypes()
{
    return c_FolderType;
}

Api* LUMO_CALL FolderMedia::GetApi(const char* type_id, UrlApi* url)
{
    return Guard<Api*>(nullptr, [&]() -> Api* {
        std::string path;
        if (!type_id || !PathOfFileUrl(url, path))
            throw FolderError(ERROR_INVALID_PARAMETER);
        if (std::strcmp(type_id, DetailsApi::TypeId) == 0)
            return new FolderDetails(path, ApiRef<UrlApi>::Share(url));
        if (std::strcmp(type_id, ContainerApi::TypeId) == 0)
            return new FolderContainer(UrlMaker::Current(), path);
        throw FolderError(ERROR_INVALID_PARAMETER);
    });
}

} // namespace LumoFolders
