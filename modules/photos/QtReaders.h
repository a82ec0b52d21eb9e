// The photos module's road to Qt's image readers, which live in a library of their own
// (lumo-photos-qt.so, in the "photos-qt" folder beside the module). The module loads it only
// when a picture in a format other than JPEG is first read: the imaging part of the toolkit
// and the thirty libraries it brings cost a third of the start of a program that only lists.
//
// Both sides are built together, so the calls may pass the module's own types; nothing throws
// across them.
#pragma once

#include <cstdint>
#include <string>

#include "Pixels.h"

namespace LumoPhotos {

struct QtFacts {
    // Stored size; 0 x 0 when the reader cannot tell.
    Size stored;
    // As EXIF numbers it, from the format's own orientation tag.
    int orientation = 1;
};

struct QtReaderCalls {
    // What the header of the picture open as descriptor says, read with the Qt reader for
    // qtFormat ("png", "gif" ...): nothing beyond the header for the built-in formats.
    QtFacts (*readFacts)(int descriptor, const char* qtFormat) noexcept;
    // Decodes the picture in stored orientation into picture, at least atLeast where the
    // reader can decode smaller itself (else whole), transparency laid on white. 0, or a
    // system code (1630, 13, 8, 1012, 1359) with the reader's own words in detail.
    uint32_t (*decode)(
        int descriptor, const char* qtFormat, Size atLeast, Picture* picture, std::string* detail) noexcept;
};

} // namespace LumoPhotos

// The helper library's one export.
extern "C" const LumoPhotos::QtReaderCalls* LumoPhotos_QtReaderCalls();
