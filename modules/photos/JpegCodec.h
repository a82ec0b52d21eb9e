// Decoding and encoding JPEG pictures with TurboJPEG. Corrupt data is an error result here,
// never a call to exit(): the library reports through return values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "JpegLayout.h"
#include "Pixels.h"

namespace LumoPhotos {

// The decoded size for the smallest DCT scaling factor (1/8, 1/4, 3/8, 1/2, ... 1) whose
// result is at least atLeast on both sides; the full size for 0 x 0.
Size ScaledDecodeSize(Size stored, Size atLeast);

// jpeg (laid out as layout says) decoded at ScaledDecodeSize, as RGB. Scaling in the DCT
// domain skips most of the work a full decode does. Throws PhotoError: 13 with the library's
// text for corrupt or truncated data (warnings included: they mean grey filler), 8 past
// c_MaxDecodedPixels.
Picture DecodeJpeg(const uint8_t* jpeg, size_t sizeBytes, const JpegLayout& layout, Size atLeast);

// picture as a baseline JPEG at quality (1 to 100). Throws PhotoError.
std::vector<uint8_t> EncodeJpeg(const Picture& picture, int quality);

} // namespace LumoPhotos
