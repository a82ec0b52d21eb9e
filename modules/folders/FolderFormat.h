// The module's one format, "x-container/folder", and the media handler of that type.
#pragma once

#include <lumo/Media.h>

#include "ModuleServices.h"

namespace LumoFolders {

// Any thread: Identify costs one stat at most.
class FolderFormat : public Counted<LumoApi::FormatApi> {
public:
    int32_t LUMO_CALL GetFormatCount() override { return 1; }
    int32_t LUMO_CALL GetFormat(int32_t index, LumoApi::FormatInfo* info) override;
    // 0 when url is a "file" URL naming a folder (symbolic links followed), else -1. Never
    // reads data.
    int32_t LUMO_CALL Identify(LumoApi::UrlApi* url, LumoApi::DataApi* data) override;
};

// Any thread. "DetailsApi" and "ContainerApi" of folders; null with 87 for other types and for
// URLs that are not "file" URLs.
class FolderMedia : public Counted<LumoApi::MediaApi> {
public:
    const char* LUMO_CALL GetContentTypes() override;
    const char* LUMO_CALL GetSecondaryTypes() override { return nullptr; }
    LumoApi::Api* LUMO_CALL GetApi(const char* type_id, LumoApi::UrlApi* url) override;
};

} // namespace LumoFolders
