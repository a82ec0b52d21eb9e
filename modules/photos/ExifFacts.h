// What a photo's EXIF block says about it, read with libexif.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace LumoPhotos {

struct ExifFacts {
    // 1 to 8 as EXIF numbers them; 5 to 8 turn the picture a quarter.
    int orientation = 1;
    // DateTimeOriginal (else DateTimeDigitized) read as local time: seconds since 1970.
    std::optional<int64_t> captureTime;
    // PixelXDimension and PixelYDimension; 0 when absent.
    uint32_t pixelWidth = 0;
    uint32_t pixelHeight = 0;
    // The embedded thumbnail (a JPEG) when asked for; empty when there is none.
    std::vector<uint8_t> thumbnail;
};

// Reads an APP1 payload that begins with "Exif\0\0". Bad data yields whatever could be read;
// nothing here fails.
ExifFacts ReadExif(const uint8_t* payload, size_t sizeBytes, bool wantThumbnail);

// "YYYY:MM:DD HH:MM:SS" as local time, in seconds since 1970; nothing for blanks, zeros and
// impossible fields.
std::optional<int64_t> ParseExifTime(std::string_view text);

} // namespace LumoPhotos
