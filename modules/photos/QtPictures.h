// Photos in the formats other than JPEG, through Qt's image reader and its plug-ins (PNG, GIF
// and BMP are built in; TIFF and WebP where their plug-ins are installed), in the helper library
// QtReaders.h describes. Without that library such a photo tells no size and has no picture.
#pragma once

#include "PhotoFile.h"
#include "PhotoFormats.h"
#include "Pixels.h"
#include "QtReaders.h"

namespace LumoPhotos {

// What the header says, read through file's descriptor: nothing beyond the header is read
// for the built-in formats. Never throws for bad data.
QtFacts ReadQtFacts(const PhotoFile& file, PhotoType type);

// The picture in stored orientation, at least atLeast where the reader can decode smaller
// itself (else whole), transparency laid on white. Throws PhotoError: 1630 when this machine
// has no reader for the format (or no helper library), 13 for data it cannot decode, 8 past
// c_MaxDecodedPixels.
Picture DecodeWithQt(const PhotoFile& file, PhotoType type, Size atLeast);

} // namespace LumoPhotos
