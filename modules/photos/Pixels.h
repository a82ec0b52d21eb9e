// Pictures in memory as packed 8-bit RGB, and the geometry of thumbnails.
#pragma once

#include <cstdint>
#include <memory>

namespace LumoPhotos {

struct Size {
    uint32_t width = 0;
    uint32_t height = 0;

    Size Swapped() const { return {height, width}; }
    uint64_t Pixels() const { return uint64_t(width) * height; }
    friend bool operator==(const Size&, const Size&) = default;
};

// Three bytes a pixel, rows packed without padding.
struct Picture {
    Size size;
    // Left uninitialised when made: a header may claim a huge picture whose data then fails
    // to decode, and pages never written are never committed.
    std::unique_ptr<uint8_t[]> rgb;

    static Picture Allocate(Size size);
    uint8_t* Data() noexcept { return rgb.get(); }
    const uint8_t* Data() const noexcept { return rgb.get(); }
    size_t Bytes() const noexcept { return size_t(size.Pixels()) * 3; }
};

// The most pixels any picture is decoded to (about 400 MB as RGB, more than any camera
// makes): a header may claim 65535 x 65535 in a file of a few bytes.
constexpr uint64_t c_MaxDecodedPixels = uint64_t(128) << 20;

// True for EXIF orientations that turn the picture a quarter, swapping its width and height.
constexpr bool SwapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// The largest size within box (a side of 0 leaves that side free) with the aspect of
// picture, never larger than picture and at least 1 x 1. A box of 0 x 0 gives picture.
Size FitInto(Size picture, Size box);

// picture reduced to size (each side at most the picture's) by averaging the area every
// target pixel covers, which keeps fine detail from turning into noise.
Picture AreaResize(Picture picture, Size size);

// picture as shown under EXIF orientation (1 to 8); 5 to 8 swap width and height.
Picture Orient(Picture picture, int orientation);

} // namespace LumoPhotos
