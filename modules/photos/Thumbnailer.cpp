#include "Thumbnailer.h"

#include <cmath>
#include <optional>

#include <lumo/Errors.h>

#include "JpegCodec.h"
#include "PhotoError.h"
#include "PhotoFacts.h"
#include "QtPictures.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

Size StoredSide(Size shown, int orientation)
{
    return SwapsSides(orientation) ? shown.Swapped() : shown;
}

std::optional<Picture> FromEmbedded(const PhotoFacts& facts, Size storedTarget)
{
    MemorySource source(facts.thumbnail.data(), facts.thumbnail.size());
    JpegLayout layout;
    if (!WalkJpegLayout(source, layout))
        return std::nullopt;
    const Size size{layout.width, layout.height};
    if (size.width < storedTarget.width || size.height < storedTarget.height || !AspectMatches(size, facts.stored))
        return std::nullopt;
    try {
        return DecodeJpeg(facts.thumbnail.data(), facts.thumbnail.size(), layout, storedTarget);
    } catch (const PhotoError&) {
        return std::nullopt; // a broken thumbnail does not spoil the photo
    }
}

Picture JpegPicture(const PhotoFile& file, const ThumbnailRequest& request, int& orientation)
{
    const PhotoFacts facts = ReadPhotoFacts(file, PhotoType::Jpeg, !request.noEmbeddedThumbnail);
    if (!facts.layoutComplete)
        throw PhotoError(ERROR_INVALID_DATA, "no usable JPEG frame header");
    orientation = request.ignoreOrientation ? 1 : facts.orientation;
    const Size storedTarget = StoredSide(FitInto(facts.Shown(request.ignoreOrientation), request.box), orientation);
    std::optional<Picture> picture;
    if (!facts.thumbnail.empty())
        picture = FromEmbedded(facts, storedTarget);
    if (!picture) {
        const std::vector<uint8_t> bytes = file.ReadAll(c_MaxPhotoBytes);
        picture = DecodeJpeg(bytes.data(), bytes.size(), facts.layout, storedTarget);
    }
    return AreaResize(std::move(*picture), storedTarget);
}

Picture QtPicture(const PhotoFile& file, PhotoType type, const ThumbnailRequest& request, int& orientation)
{
    const QtFacts facts = ReadQtFacts(file, type);
    orientation = request.ignoreOrientation ? 1 : facts.orientation;
    const Size stored = facts.stored;
    const Size shown = SwapsSides(orientation) ? stored.Swapped() : stored;
    Picture picture = DecodeWithQt(file, type, StoredSide(FitInto(shown, request.box), orientation));
    // The header may not have told the size; the decoded picture does.
    const Size decodedShown = SwapsSides(orientation) ? picture.size.Swapped() : picture.size;
    const Size target = StoredSide(FitInto(stored.Pixels() ? shown : decodedShown, request.box), orientation);
    return AreaResize(std::move(picture), target);
}

} // namespace

bool AspectMatches(Size thumbnail, Size photo)
{
    if (thumbnail.Pixels() == 0 || photo.Pixels() == 0)
        return false;
    const double thumbnailAspect = double(thumbnail.width) / thumbnail.height;
    const double photoAspect = double(photo.width) / photo.height;
    return std::fabs(thumbnailAspect - photoAspect) <= c_EmbeddedAspectTolerance * photoAspect;
}

std::vector<uint8_t> MakeThumbnail(const PhotoFile& file, PhotoType type, const ThumbnailRequest& request)
{
    int orientation = 1;
    Picture picture = type == PhotoType::Jpeg ? JpegPicture(file, request, orientation)
                                              : QtPicture(file, type, request, orientation);
    return EncodeJpeg(Orient(std::move(picture), orientation), c_ThumbnailQuality);
}

} // namespace LumoPhotos
