#include "PhotoFacts.h"

#include "ExifFacts.h"
#include "QtPictures.h"

namespace LumoPhotos {

PhotoFacts ReadPhotoFacts(const PhotoFile& file, PhotoType type, bool wantThumbnail)
{
    PhotoFacts facts;
    if (type != PhotoType::Jpeg) {
        const QtFacts qt = ReadQtFacts(file, type);
        facts.stored = qt.stored;
        facts.orientation = qt.orientation;
        return facts;
    }
    FileHead head(file);
    facts.layoutComplete = WalkJpegLayout(head, facts.layout);
    if (facts.layoutComplete)
        facts.stored = {facts.layout.width, facts.layout.height};
    if (facts.layout.exifSize != 0) {
        if (const uint8_t* exif = head.At(facts.layout.exifOffset, facts.layout.exifSize)) {
            ExifFacts found = ReadExif(exif, facts.layout.exifSize, wantThumbnail);
            facts.orientation = found.orientation;
            facts.captureTime = found.captureTime;
            facts.thumbnail = std::move(found.thumbnail);
            // A file cut short after its EXIF block still tells its size.
            if (!facts.layoutComplete && found.pixelWidth != 0 && found.pixelHeight != 0)
                facts.stored = {found.pixelWidth, found.pixelHeight};
        }
    }
    return facts;
}

} // namespace LumoPhotos
