// What the head of a photo file says: its size, orientation, capture time and, for JPEG, the
// layout and the embedded thumbnail. Read once per details or image object.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "JpegLayout.h"
#include "PhotoFile.h"
#include "PhotoFormats.h"
#include "Pixels.h"

namespace LumoPhotos {

struct PhotoFacts {
    // Stored size, from the JPEG frame header, else EXIF, else the format's header through
    // Qt; 0 x 0 when none can be read.
    Size stored;
    // As EXIF numbers it; 1 when unknown.
    int orientation = 1;
    std::optional<int64_t> captureTime;
    // JPEG only: whether the frame header was read, and the layout found.
    bool layoutComplete = false;
    JpegLayout layout;
    // JPEG only, when asked for: the EXIF-embedded thumbnail.
    std::vector<uint8_t> thumbnail;

    // The size as shown: sides swapped for orientations 5 to 8 unless ignored.
    Size Shown(bool ignoreOrientation = false) const
    {
        return SwapsSides(orientation) && !ignoreOrientation ? stored.Swapped() : stored;
    }
};

// Reads file's head only. Bad data leaves the facts it spoils unknown; throws PhotoError only
// when reading the file fails.
PhotoFacts ReadPhotoFacts(const PhotoFile& file, PhotoType type, bool wantThumbnail);

} // namespace LumoPhotos
