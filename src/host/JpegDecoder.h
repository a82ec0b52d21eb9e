// JPEG decoding for the pictures image modules deliver.
#pragma once

#include <cstddef>
#include <cstdint>

#include <QImage>
#include <QSize>

// Decodes a whole JPEG into an RGB888 picture (grayscale and CMYK converted). Raises 13 for
// anything but a complete, intact JPEG (truncated or corrupt data included), 8 when the picture
// cannot be allocated; never reads outside [bytes, bytes + size).
QImage DecodeJpeg(const uint8_t* bytes, size_t size);

// The same, scaled down in the decoder by the smallest of 1/8 ... 8/8 that still covers
// atLeast in both directions (full size when none does). A width or height of 0 or less sets
// no bound in that direction; with neither bounded the picture has its full size.
QImage DecodeJpeg(const uint8_t* bytes, size_t size, QSize atLeast);
