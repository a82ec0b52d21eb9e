#include "JpegCodec.h"

#include <climits>
#include <memory>
#include <string>

#include <turbojpeg.h>

#include <lumo/Errors.h>

#include "PhotoError.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

// Up to this many pixels the chroma keeps full resolution: subsampled colour edges blur
// visibly on a thumbnail, and the bytes saved are few.
constexpr uint64_t c_FullChromaPixels = 512 * 512;

class TurboHandle {
public:
    explicit TurboHandle(tjhandle handle) : m_handle(handle)
    {
        if (!m_handle)
            throw PhotoError(ERROR_NOT_ENOUGH_MEMORY);
    }
    ~TurboHandle() { tjDestroy(m_handle); }
    TurboHandle(const TurboHandle&) = delete;
    TurboHandle& operator=(const TurboHandle&) = delete;
    tjhandle Get() const noexcept { return m_handle; }
    std::string Error() const { return tjGetErrorStr2(m_handle); }

private:
    tjhandle m_handle;
};

uint32_t Scaled(uint32_t side, const tjscalingfactor& factor)
{
    return uint32_t((uint64_t(side) * factor.num + factor.denom - 1) / factor.denom);
}

// Ink as stored; Adobe writes it inverted (255 is no ink).
void CmykToRgb(const uint8_t* cmyk, uint8_t* rgb, size_t pixels, bool inverted)
{
    for (size_t i = 0; i < pixels; ++i, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned value = inverted ? cmyk[c] : 255u - cmyk[c];
            rgb[c] = uint8_t((value * k + 127) / 255);
        }
    }
}

} // namespace

Size ScaledDecodeSize(Size stored, Size atLeast)
{
    if (atLeast.width == 0 && atLeast.height == 0)
        return stored;
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    Size best = stored;
    for (int i = 0; factors && i < count; ++i) {
        const tjscalingfactor& factor = factors[i];
        if (factor.num > factor.denom)
            continue;
        const Size scaled{Scaled(stored.width, factor), Scaled(stored.height, factor)};
        if (scaled.width >= atLeast.width && scaled.height >= atLeast.height && scaled.Pixels() < best.Pixels())
            best = scaled;
    }
    return best;
}

Picture DecodeJpeg(const uint8_t* jpeg, size_t sizeBytes, const JpegLayout& layout, Size atLeast)
{
    const Size size = ScaledDecodeSize({layout.width, layout.height}, atLeast);
    if (size.Pixels() > c_MaxDecodedPixels)
        throw PhotoError(ERROR_NOT_ENOUGH_MEMORY, "picture too large to decode");
    if (sizeBytes > ULONG_MAX)
        throw PhotoError(ERROR_NOT_ENOUGH_MEMORY);
    const bool cmyk = layout.components == 4;
    Picture picture = Picture::Allocate(size);
    std::unique_ptr<uint8_t[]> inks = cmyk ? std::make_unique_for_overwrite<uint8_t[]>(size.Pixels() * 4) : nullptr;
    uint8_t* samples = cmyk ? inks.get() : picture.Data();

    TurboHandle decoder(tjInitDecompress());
    // Warnings stop the decode: they mean missing or corrupt data filled with grey. The scan
    // limit keeps crafted progressive files from running for minutes.
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    if (tjDecompress2(decoder.Get(), jpeg, static_cast<unsigned long>(sizeBytes), samples, int(size.width), 0,
            int(size.height), cmyk ? TJPF_CMYK : TJPF_RGB, flags)
        != 0)
        throw PhotoError(ERROR_INVALID_DATA, decoder.Error());
    if (cmyk)
        CmykToRgb(inks.get(), picture.Data(), size.Pixels(), layout.adobe);
    return picture;
}

std::vector<uint8_t> EncodeJpeg(const Picture& picture, int quality)
{
    const Size size = picture.size;
    if (size.width == 0 || size.height == 0 || size.width > INT_MAX || size.height > INT_MAX)
        throw PhotoError(ERROR_INVALID_PARAMETER);
    const int subsampling = size.Pixels() <= c_FullChromaPixels ? TJSAMP_444 : TJSAMP_420;
    std::vector<uint8_t> bytes(tjBufSize(int(size.width), int(size.height), subsampling));
    unsigned char* out = bytes.data();
    unsigned long outSize = static_cast<unsigned long>(bytes.size());
    TurboHandle encoder(tjInitCompress());
    if (tjCompress2(encoder.Get(), picture.Data(), int(size.width), 0, int(size.height), TJPF_RGB, &out, &outSize,
            subsampling, quality, TJFLAG_NOREALLOC)
        != 0)
        throw PhotoError(ERROR_NOT_ENOUGH_MEMORY, encoder.Error());
    bytes.resize(outSize);
    return bytes;
}

} // namespace LumoPhotos
