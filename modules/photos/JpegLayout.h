// The markers of a JPEG file up to its frame header, read without decoding anything.
#pragma once

#include <cstdint>

#include "PhotoFile.h"

namespace LumoPhotos {

struct JpegLayout {
    // From the frame header (SOF), in stored orientation.
    uint32_t width = 0;
    uint32_t height = 0;
    int components = 0;
    bool progressive = false;
    // An Adobe APP14 segment: four-component samples are stored as inverted ink.
    bool adobe = false;
    // The first APP1 segment holding EXIF: its payload from "Exif\0\0" on; size 0 when none.
    uint64_t exifOffset = 0;
    uint32_t exifSize = 0;
};

// Walks the segments from the start of source to the first frame header, filling layout as it
// goes. False when the data is no JPEG, ends first, or the frame header is unusable (zero
// size, a component count other than 1, 3 or 4); what was found before stays in layout.
// Throws PhotoError only when reading fails.
bool WalkJpegLayout(ByteSource& source, JpegLayout& layout);

// The same, throwing PhotoError 13 where WalkJpegLayout answers false.
JpegLayout ReadJpegLayout(ByteSource& source);

} // namespace LumoPhotos
