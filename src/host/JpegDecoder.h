// The pictures image modules deliver, decoded from their JPEG. The toolkit's imaging library
// comes in with this file alone (see host/Image.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <QImage>
#include <QSize>

#include <lumo/Api.h>
#include <lumo/Image.h>
#include <lumo/Url.h>

// Decodes a whole JPEG into an RGB888 picture (grayscale and CMYK converted). Raises 13 for
// anything but a complete, intact JPEG (truncated or corrupt data included), 8 when the picture
// cannot be allocated; never reads outside [bytes, bytes + size).
QImage DecodeJpeg(const uint8_t* bytes, size_t size);

// The same, scaled down in the decoder by the smallest of 1/8 ... 8/8 that still covers
// atLeast in both directions (full size when none does). A width or height of 0 or less sets
// no bound in that direction; with neither bounded the picture has its full size.
QImage DecodeJpeg(const uint8_t* bytes, size_t size, QSize atLeast);

// The item's picture, at most width x height (0 x 0: its own size), from the JPEG its module
// delivers; the caller owns it. option is the module's own (0: none is sent). Raises 87 for a
// negative size, the module's last error when it refuses, 13 for a JPEG that does not decode.
QImage LoadPicture(LumoApi::ApiRef<LumoApi::UrlApi> url, int32_t width, int32_t height, uint32_t option);

// The same, once the item's image API is known; name labels the reading stream in the log.
QImage LoadPicture(LumoApi::ImageApi& image, const std::string& name, int32_t width, int32_t height, uint32_t option);
