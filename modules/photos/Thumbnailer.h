// Pictures of photos at a requested size, encoded as JPEG.
#pragma once

#include <cstdint>
#include <vector>

#include "PhotoFile.h"
#include "PhotoFormats.h"
#include "Pixels.h"

namespace LumoPhotos {

struct ThumbnailRequest {
    // The largest picture wanted, as shown; 0 x 0 for the photo's own size.
    Size box;
    bool ignoreOrientation = false;
    bool noEmbeddedThumbnail = false;
};

// The most bytes of one photo read into memory to decode it.
constexpr uint64_t c_MaxPhotoBytes = uint64_t(256) << 20;
constexpr int c_ThumbnailQuality = 85;

// The EXIF-embedded thumbnail stands in for the photo when its aspect is within this share of
// the photo's: an edited photo often keeps the camera's thumbnail of the uncropped picture.
constexpr double c_EmbeddedAspectTolerance = 0.02;

// True when a picture of size thumbnail shows the same frame as one of size photo.
bool AspectMatches(Size thumbnail, Size photo);

// file (of type) as a JPEG that fits request.box with the aspect kept, never enlarged, the
// EXIF orientation applied. JPEG photos come from the embedded thumbnail when it is at least
// the fitted size and shows the same frame, else from a decode at the smallest DCT scale that
// still gives the fitted size; the small result is then averaged down, turned and encoded.
// Throws PhotoError: 13 for a corrupt photo, 8 for one too large, 1630 for a format this
// machine cannot read.
std::vector<uint8_t> MakeThumbnail(const PhotoFile& file, PhotoType type, const ThumbnailRequest& request);

} // namespace LumoPhotos
