// The "DetailsApi" of one photo: file facts, capture date and size. Found in stages as they are
// asked for (see ListedDetails, also for threads): a listing's name and type need no look at
// the file while the listing's record of it is young, and only the capture date and size open
// it.
#pragma once

#include <optional>
#include <string>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "PhotoFacts.h"
#include "PhotoFile.h"
#include "PhotoFormats.h"
#include "support/ListedDetails.h"

namespace LumoPhotos {

// Names: "FileName", "SourceFormat", "ContentType", "SourceLocation", "SourceSize",
// "CreationDate", "LastChangeDate" (seconds since 1970), and where known "CaptureDate"
// (EXIF, local time, seconds since 1970), "SourceWidth" and "SourceHeight" (as shown). A photo
// whose file is gone is broken: content type and format "x-application/lumo-broken", with
// its name and location only. Texts are UTF-8; bytes of names that are not show as U+FFFD.
// A file that can be neither read nor told missing fails the first request for its type,
// size or dates with its error.
class PhotoDetails : public LumoModules::ListedDetails {
public:
    // url: the photo's URL, for its listing's record; may be null.
    PhotoDetails(std::string path, PhotoType type, LumoApi::ApiRef<LumoApi::UrlApi> url);

private:
    void LoadStage(int stage) override;
    // Reads the picture's facts from file, a read error spoiling only them.
    void ReadFacts(const PhotoFile& file);

    const std::string m_path;
    const PhotoType m_type;
    const LumoApi::ApiRef<LumoApi::UrlApi> m_url;
    // From the stage that settles the type.
    bool m_broken = false;
    // The file could not be opened for reading: its facts stay unknown.
    bool m_unreadable = false;
    FileStamp m_stamp;
    // Read when that stage had the file open anyway.
    std::optional<PhotoFacts> m_facts;
};

} // namespace LumoPhotos
