#include "JpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <QByteArray>

#include <jerror.h>
#include <jpeglib.h>

#include <lumo/Errors.h>

#include "common/Exceptions.h"
#include "host/DataStream.h"
#include "host/Image.h"

using namespace LumoApi;

namespace {

// A real progressive picture has about ten scans; crafted files with thousands of tiny scans
// make the decoder run for minutes.
constexpr int c_MaxScans = 1000;

// libjpeg's own handler prints and calls exit(). Ours jumps back to the stage that called
// into the library, which then reports failure.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    uint32_t code;
};

struct Decoder {
    jpeg_decompress_struct info;
    ErrorManager errors;
    jpeg_progress_mgr progress;
};

[[noreturn]] void Abort(j_common_ptr info, uint32_t code)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->code = code;
    std::longjmp(errors->jump, 1);
}

[[noreturn]] void OnError(j_common_ptr info)
{
    Abort(info, info->err->msg_code == JERR_OUT_OF_MEMORY ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_DATA);
}

void OnMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return; // trace output
    switch (info->err->msg_code) {
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
        return; // the picture still decodes correctly
    default:
        // Corrupt or missing data: libjpeg would go on and fill the rest with grey.
        Abort(info, ERROR_INVALID_DATA);
    }
}

void OnOutput(j_common_ptr)
{
}

void OnProgress(j_common_ptr info)
{
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > c_MaxScans)
        Abort(info, ERROR_INVALID_DATA);
}

// The functions that call into libjpeg. Its errors longjmp back into them across C frames and
// across their own, so nothing in them may have a destructor.

bool Begin(Decoder& d, const uint8_t* bytes, size_t size, int minWidth, int minHeight)
{
    if (setjmp(d.errors.jump))
        return false;
    jpeg_create_decompress(&d.info);
    d.info.progress = &d.progress;
    jpeg_mem_src(&d.info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&d.info, TRUE);
    switch (d.info.jpeg_color_space) {
    case JCS_CMYK:
    case JCS_YCCK:
        d.info.out_color_space = JCS_CMYK;
        break;
    default:
        // Grayscale, YCbCr and RGB; anything else fails in jpeg_start_decompress.
        d.info.out_color_space = JCS_EXT_RGB;
        break;
    }
    if (minWidth > 0 || minHeight > 0) {
        d.info.scale_denom = 8;
        for (unsigned num = 1; num <= 8; ++num) {
            d.info.scale_num = num;
            jpeg_calc_output_dimensions(&d.info);
            if ((minWidth <= 0 || d.info.output_width >= unsigned(minWidth))
                && (minHeight <= 0 || d.info.output_height >= unsigned(minHeight)))
                break;
        }
    }
    jpeg_start_decompress(&d.info);
    return true;
}

// Ink values as stored; Adobe writes them inverted (255 is no ink).
void CmykToRgb(const uint8_t* cmyk, uint8_t* rgb, unsigned width, bool inverted)
{
    for (unsigned x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int i = 0; i < 3; ++i) {
            const unsigned c = inverted ? cmyk[i] : 255u - cmyk[i];
            rgb[i] = static_cast<uint8_t>((c * k + 127) / 255);
        }
    }
}

bool ReadPixels(Decoder& d, uint8_t* pixels, qsizetype stride, uint8_t* cmykRow)
{
    if (setjmp(d.errors.jump))
        return false;
    while (d.info.output_scanline < d.info.output_height) {
        uint8_t* line = pixels + stride * qsizetype(d.info.output_scanline);
        JSAMPROW row = cmykRow ? cmykRow : line;
        if (jpeg_read_scanlines(&d.info, &row, 1) != 1)
            return false;
        if (cmykRow)
            CmykToRgb(cmykRow, line, d.info.output_width, d.info.saw_Adobe_marker);
    }
    // Reads up to the end marker, so a file cut after the last row still fails.
    jpeg_finish_decompress(&d.info);
    return true;
}

class DestroyOnExit {
public:
    explicit DestroyOnExit(Decoder& d) noexcept : m_decoder(d) { }
    // Safe after a failed or missing jpeg_create_decompress: the struct was zeroed.
    ~DestroyOnExit() { jpeg_destroy_decompress(&m_decoder.info); }
    DestroyOnExit(const DestroyOnExit&) = delete;
    DestroyOnExit& operator=(const DestroyOnExit&) = delete;

private:
    Decoder& m_decoder;
};

QImage Decode(const uint8_t* bytes, size_t size, int minWidth, int minHeight)
{
    if (!bytes || size == 0)
        ThrowWinError(ERROR_INVALID_DATA);
    Decoder d{};
    d.info.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = OnError;
    d.errors.base.emit_message = OnMessage;
    d.errors.base.output_message = OnOutput;
    d.errors.code = ERROR_INVALID_DATA;
    d.progress.progress_monitor = OnProgress;
    DestroyOnExit destroy(d);

    if (!Begin(d, bytes, size, minWidth, minHeight))
        ThrowWinError(d.errors.code);
    const bool cmyk = d.info.out_color_space == JCS_CMYK;
    if (d.info.output_components != (cmyk ? 4 : 3))
        ThrowWinError(ERROR_INVALID_DATA);

    QImage image(int(d.info.output_width), int(d.info.output_height), QImage::Format_RGB888);
    if (image.isNull())
        ThrowWinError(ERROR_NOT_ENOUGH_MEMORY);
    std::vector<uint8_t> cmykRow(cmyk ? size_t(d.info.output_width) * 4 : 0);
    if (!ReadPixels(d, image.bits(), image.bytesPerLine(), cmyk ? cmykRow.data() : nullptr))
        ThrowWinError(d.errors.code);
    return image;
}

} // namespace

QImage DecodeJpeg(const uint8_t* bytes, size_t size)
{
    return Decode(bytes, size, 0, 0);
}

QImage DecodeJpeg(const uint8_t* bytes, size_t size, QSize atLeast)
{
    return Decode(bytes, size, atLeast.width(), atLeast.height());
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
