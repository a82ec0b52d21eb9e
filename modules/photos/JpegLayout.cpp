#include "JpegLayout.h"

#include <cstring>

#include <lumo/Errors.h>

#include "PhotoError.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

constexpr uint8_t c_Soi = 0xD8;
constexpr uint8_t c_Eoi = 0xD9;
constexpr uint8_t c_Sos = 0xDA;
constexpr uint8_t c_App1 = 0xE1;
constexpr uint8_t c_App14 = 0xEE;

uint32_t BigEndian16(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) << 8 | bytes[1];
}

// The frame headers: C0-CF less DHT (C4), JPG (C8) and DAC (CC).
bool IsFrameHeader(uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsProgressive(uint8_t marker)
{
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

} // namespace

bool WalkJpegLayout(ByteSource& source, JpegLayout& layout)
{
    const uint8_t* start = source.At(0, 2);
    if (!start || start[0] != 0xFF || start[1] != c_Soi)
        return false;
    uint64_t at = 2;
    for (;;) {
        const uint8_t* marker = source.At(at, 2);
        if (!marker || marker[0] != 0xFF)
            return false;
        const uint8_t code = marker[1];
        if (code == 0xFF) {
            ++at; // fill byte
            continue;
        }
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            at += 2; // stand-alone markers
            continue;
        }
        // Image data or the end before any frame header.
        if (code == c_Soi || code == c_Eoi || code == c_Sos)
            return false;
        const uint8_t* lengthBytes = source.At(at + 2, 2);
        if (!lengthBytes)
            return false;
        const uint32_t length = BigEndian16(lengthBytes);
        if (length < 2)
            return false;
        const uint64_t payload = at + 4;
        const uint32_t payloadSize = length - 2;

        if (IsFrameHeader(code)) {
            const uint8_t* frame = source.At(payload, 6);
            if (!frame || payloadSize < 6)
                return false;
            const uint32_t height = BigEndian16(frame + 1), width = BigEndian16(frame + 3);
            const int components = frame[5];
            // A height of 0 is defined later by a DNL marker, which no decoder here supports.
            if (width == 0 || height == 0 || payloadSize < 6u + 3u * components)
                return false;
            if (components != 1 && components != 3 && components != 4)
                return false;
            layout.width = width;
            layout.height = height;
            layout.components = components;
            layout.progressive = IsProgressive(code);
            return true;
        }
        if (code == c_App1 && layout.exifSize == 0 && payloadSize >= 6) {
            const uint8_t* name = source.At(payload, 6);
            if (name && std::memcmp(name, "Exif\0\0", 6) == 0) {
                layout.exifOffset = payload;
                layout.exifSize = payloadSize;
            }
        } else if (code == c_App14 && payloadSize >= 5) {
            const uint8_t* name = source.At(payload, 5);
            if (name && std::memcmp(name, "Adobe", 5) == 0)
                layout.adobe = true;
        }
        at = payload + payloadSize;
    }
}

JpegLayout ReadJpegLayout(ByteSource& source)
{
    JpegLayout layout;
    if (!WalkJpegLayout(source, layout))
        throw PhotoError(ERROR_INVALID_DATA, "no usable JPEG frame header");
    return layout;
}

} // namespace LumoPhotos
