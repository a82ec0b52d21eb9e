// Pictures of image items.
#pragma once

#include "Api.h"

namespace LumoApi {

class DataApi;

// Supplied by an image item's media module ("ImageApi" through MediaApi::GetApi).
//
// A song's module may also answer "ImageApi" for a song: the picture stored with the song (its
// cover), and null with 1168 for a song that stores none. Such a picture may come as stored:
// GetData then answers only for the stored type ("image/jpeg" or "image/png", 1630 for any
// other), SetSize may be accepted without being applied, and GetWidth/GetHeight may fail.
// Callers ask for "image/jpeg" first, then "image/png". A module that gives no song pictures
// answers null as before, and callers look for a cover file beside the song instead.
// ("LumoMusic" gives song pictures since version 1.1.)
class ImageApi : public Api {
public:
    static constexpr const char TypeId[] = "ImageApi";

    // The largest picture wanted; the aspect is kept. 0 x 0: the image's own size.
    // Nonzero on success.
    virtual int32_t LUMO_CALL SetSize(int32_t width, int32_t height) = 0;
    // A module-defined option; 0 means none. Nonzero on success. "LumoPhotos" reads bits: 1 the
    // picture and its size as stored (EXIF orientation not applied), 2 never the thumbnail
    // embedded in the photo, 4 neither look up nor store in the host's cache; other bits fail
    // with 87.
    virtual int32_t LUMO_CALL SetOption(uint32_t option) = 0;
    // Width of the source image in pixels, or 0 with a last error when it cannot be read.
    virtual int32_t LUMO_CALL GetWidth() = 0;
    // Height of the source image in pixels, or 0 with a last error when it cannot be read.
    virtual int32_t LUMO_CALL GetHeight() = 0;
    // The picture encoded as content_type ("image/jpeg"): a new reference, or null with a
    // last error.
    virtual DataApi* LUMO_CALL GetData(const char* content_type) = 0;
};

} // namespace LumoApi
