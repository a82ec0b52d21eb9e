// The "DetailsApi" of one photo: file facts, capture date and size, read once when made.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <lumo/DllSupport.h>
#include <lumo/Media.h>

#include "PhotoFormats.h"

namespace LumoPhotos {

// Names: "FileName", "SourceFormat", "ContentType", "SourceLocation", "SourceSize",
// "CreationDate", "LastChangeDate" (seconds since 1970), and where known "CaptureDate"
// (EXIF, local time, seconds since 1970), "SourceWidth" and "SourceHeight" (as shown). A photo
// whose file is gone is broken: content type and format "x-application/lumo-broken", with
// its name and location only. Texts are UTF-8; bytes of names that are not show as U+FFFD.
// One thread at a time.
class PhotoDetails : public LumoApi::DllRefCounted<LumoApi::DetailsApi> {
public:
    // Reads the file's head now. Throws PhotoError when the file can be neither read nor
    // told missing.
    PhotoDetails(const std::string& path, PhotoType type);

    const char* LUMO_CALL GetFirstName() override;
    const char* LUMO_CALL GetNextName() override;
    // Null with 1168 for a property the photo lacks, 87 for a null name.
    const char* LUMO_CALL GetValue(const char* name) override;

private:
    void Add(const char* name, std::string value);

    std::vector<std::pair<const char*, std::string>> m_values;
    size_t m_next = 0;
};

} // namespace LumoPhotos
