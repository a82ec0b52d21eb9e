#include "QtReaders.h"

#include <cstring>
#include <new>

#include <QFile>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>

#include <lumo/Errors.h>

using namespace LumoApi;

namespace LumoPhotos {

namespace {

// Reads through the module's own descriptor: no path round trip through QString, which would
// lose the bytes of names that are not UTF-8.
class DescriptorDevice {
public:
    explicit DescriptorDevice(int descriptor)
    {
        m_open = m_file.open(descriptor, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) && m_file.seek(0);
    }
    bool IsOpen() const noexcept { return m_open; }
    QFile* Device() noexcept { return &m_file; }

private:
    QFile m_file;
    bool m_open = false;
};

int OrientationOf(QImageIOHandler::Transformations transformation)
{
    switch (int(transformation)) {
    case QImageIOHandler::TransformationMirror:
        return 2;
    case QImageIOHandler::TransformationRotate180:
        return 3;
    case QImageIOHandler::TransformationFlip:
        return 4;
    case QImageIOHandler::TransformationFlipAndRotate90:
        return 5;
    case QImageIOHandler::TransformationRotate90:
        return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        return 7;
    case QImageIOHandler::TransformationRotate270:
        return 8;
    default:
        return 1;
    }
}

Size SizeOf(const QSize& size)
{
    return size.isValid() && size.width() > 0 && size.height() > 0
        ? Size{uint32_t(size.width()), uint32_t(size.height())}
        : Size{};
}

Picture OnWhite(const QImage& image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    Picture picture = Picture::Allocate(SizeOf(rgba.size()));
    uint8_t* out = picture.Data();
    for (int y = 0; y < rgba.height(); ++y) {
        const uint8_t* in = rgba.constScanLine(y);
        for (int x = 0; x < rgba.width(); ++x, in += 4, out += 3) {
            const unsigned alpha = in[3];
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t((in[c] * alpha + 255u * (255u - alpha) + 127) / 255);
        }
    }
    return picture;
}

Picture Opaque(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    Picture picture = Picture::Allocate(SizeOf(rgb.size()));
    const size_t rowBytes = size_t(picture.size.width) * 3;
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(picture.Data() + rowBytes * size_t(y), rgb.constScanLine(y), rowBytes);
    return picture;
}

QtFacts ReadFacts(int descriptor, const char* qtFormat) noexcept
{
    QtFacts facts;
    try {
        DescriptorDevice device(descriptor);
        if (!device.IsOpen())
            return facts;
        QImageReader reader(device.Device(), qtFormat);
        facts.stored = SizeOf(reader.size());
        facts.orientation = OrientationOf(reader.transformation());
    } catch (...) {
        return QtFacts();
    }
    return facts;
}

uint32_t DecodeInto(Picture& picture, std::string& detail, int descriptor, const char* qtFormat, Size atLeast)
{
    DescriptorDevice device(descriptor);
    if (!device.IsOpen())
        return ERROR_CANTREAD;
    QImageReader reader(device.Device(), qtFormat);
    // Orientation is applied by the caller to the small result, as for JPEG.
    reader.setAutoTransform(false);
    if (!reader.canRead()) {
        detail = reader.errorString().toStdString();
        return QImageReader::supportedImageFormats().contains(qtFormat) ? ERROR_INVALID_DATA : ERROR_UNSUPPORTED_TYPE;
    }
    const Size stored = SizeOf(reader.size());
    if (stored.Pixels() > c_MaxDecodedPixels) {
        detail = "picture too large to decode";
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    const Size wanted = FitInto(stored, atLeast);
    if (stored.Pixels() != 0 && !(wanted == stored) && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(QSize(int(wanted.width), int(wanted.height)));
    const QImage image = reader.read();
    if (image.isNull()) {
        detail = reader.errorString().toStdString();
        return ERROR_INVALID_DATA;
    }
    if (uint64_t(image.width()) * uint64_t(image.height()) > c_MaxDecodedPixels) {
        detail = "picture too large to decode";
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    picture = image.hasAlphaChannel() ? OnWhite(image) : Opaque(image);
    return 0;
}

uint32_t Decode(int descriptor, const char* qtFormat, Size atLeast, Picture* picture, std::string* detail) noexcept
{
    try {
        return DecodeInto(*picture, *detail, descriptor, qtFormat, atLeast);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL_ERROR;
    }
}

constexpr QtReaderCalls c_Calls{ReadFacts, Decode};

} // namespace

} // namespace LumoPhotos

extern "C" __attribute__((visibility("default"))) const LumoPhotos::QtReaderCalls* LumoPhotos_QtReaderCalls()
{
    return &LumoPhotos::c_Calls;
}
