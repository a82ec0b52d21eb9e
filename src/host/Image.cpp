#include "Image.h"

#include <memory>

#include <QByteArray>

#include <lumo/Data.h>
#include <lumo/Errors.h>

#include "common/Exceptions.h"
#include "host/DataStream.h"
#include "host/JpegDecoder.h"

using namespace LumoApi;

Image::Image(ApiRef<UrlApi> url) : MediaItem(std::move(url)), m_image(GetApi<ImageApi>())
{
}

QImage LoadPicture(ApiRef<UrlApi> url, int32_t width, int32_t height, uint32_t option)
{
    Image image(std::move(url));
    return LoadPicture(*image.Api(), image.UrlText(), width, height, option);
}

QImage LoadPicture(ImageApi& image, const std::string& name, int32_t width, int32_t height, uint32_t option)
{
    if (width != 0 || height != 0) {
        if (width < 0 || height < 0)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        if (!image.SetSize(width, height))
            ThrowLastError();
    }
    if (option != 0 && !image.SetOption(option))
        ThrowLastError();
    ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(image.GetData("image/jpeg"));
    if (!data)
        ThrowLastError();
    const std::unique_ptr<DataStream> stream = DataStream::Open(std::move(data), name);
    const QByteArray bytes = stream->readAll();
    return DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
}
