// Writes real JPEG files in memory with libjpeg, so decoding tests need no stored pictures.
#pragma once

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>

#include <gtest/gtest.h>

struct JpegSpec {
    JpegSpec(int w, int h, J_COLOR_SPACE space = JCS_RGB, int comps = 3)
        : width(w), height(h), colorSpace(space), components(comps)
    {
    }

    int width;
    int height;
    J_COLOR_SPACE colorSpace; // of the samples; JCS_GRAYSCALE and JCS_CMYK too
    int components;
    bool progressive = false;
    bool adobeMarker = true;           // CMYK: with it, readers take the samples as inverted ink
    std::vector<jpeg_scan_info> scans; // a custom progressive script
};

namespace JpegWriterDetail {

struct Errors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// Nothing here has a destructor: libjpeg errors longjmp out.
inline bool Compress(jpeg_compress_struct& info, const JpegSpec& plan, const uint8_t* raster, unsigned char** out,
    unsigned long* outSize)
{
    if (setjmp(reinterpret_cast<Errors*>(info.err)->jump))
        return false;
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = JDIMENSION(plan.width);
    info.image_height = JDIMENSION(plan.height);
    info.input_components = plan.components;
    info.in_color_space = plan.colorSpace;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    info.write_Adobe_marker = plan.colorSpace == JCS_CMYK && plan.adobeMarker;
    if (plan.progressive)
        jpeg_simple_progression(&info);
    if (!plan.scans.empty()) {
        info.scan_info = plan.scans.data();
        info.num_scans = int(plan.scans.size());
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(raster + size_t(plan.width * plan.components) * info.next_scanline);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

} // namespace JpegWriterDetail

// pixel(x, y, samples) fills the plan.components samples of one pixel.
inline std::vector<uint8_t> WriteJpeg(const JpegSpec& plan, const std::function<void(int, int, uint8_t*)>& pixel)
{
    std::vector<uint8_t> raster(size_t(plan.width * plan.height * plan.components));
    for (int y = 0; y < plan.height; ++y)
        for (int x = 0; x < plan.width; ++x)
            pixel(x, y, &raster[size_t((y * plan.width + x) * plan.components)]);
    jpeg_compress_struct info{};
    JpegWriterDetail::Errors errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit
        = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegWriterDetail::Errors*>(c->err)->jump, 1); };
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const bool written = JpegWriterDetail::Compress(info, plan, raster.data(), &out, &outSize);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> file;
    if (written && out)
        file.assign(out, out + outSize);
    std::free(out);
    EXPECT_FALSE(file.empty()) << "the test's JPEG could not be written";
    return file;
}

inline std::vector<uint8_t> SolidJpeg(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    return WriteJpeg({width, height}, [&](int, int, uint8_t* px) {
        px[0] = r;
        px[1] = g;
        px[2] = b;
    });
}
