#include "Pixels.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace LumoPhotos {

namespace {

// The source pixels one target pixel covers along a line, with the share of each.
struct Span {
    uint32_t first = 0;
    std::vector<float> weights;
};

std::vector<Span> Spans(uint32_t from, uint32_t to)
{
    std::vector<Span> spans(to);
    const double scale = double(from) / to;
    for (uint32_t i = 0; i < to; ++i) {
        const double begin = i * scale;
        const double end = std::min(double(from), (i + 1) * scale);
        Span& span = spans[i];
        span.first = uint32_t(begin);
        const uint32_t last = std::min(from, uint32_t(std::ceil(end)));
        for (uint32_t k = span.first; k < last; ++k) {
            const double covered = std::min(double(k + 1), end) - std::max(double(k), begin);
            span.weights.push_back(float(std::max(0.0, covered) / scale));
        }
    }
    return spans;
}

uint8_t ToByte(float value)
{
    return uint8_t(std::clamp(value + 0.5f, 0.0f, 255.0f));
}

} // namespace

Picture Picture::Allocate(Size size)
{
    Picture picture;
    picture.size = size;
    picture.rgb = std::make_unique_for_overwrite<uint8_t[]>(picture.Bytes());
    return picture;
}

Size FitInto(Size picture, Size box)
{
    if (box.width == 0 && box.height == 0)
        return picture;
    if (picture.width == 0 || picture.height == 0)
        return {};
    if ((box.width == 0 || picture.width <= box.width) && (box.height == 0 || picture.height <= box.height))
        return picture;
    const uint64_t w = picture.width, h = picture.height;
    Size fit;
    // Width decides when box.width / w <= box.height / h.
    if (box.height == 0 || (box.width != 0 && uint64_t(box.width) * h <= uint64_t(box.height) * w)) {
        fit.width = box.width;
        fit.height = uint32_t((2 * h * box.width + w) / (2 * w));
    } else {
        fit.height = box.height;
        fit.width = uint32_t((2 * w * box.height + h) / (2 * h));
    }
    fit.width = std::max(fit.width, 1u);
    fit.height = std::max(fit.height, 1u);
    return fit;
}

Picture AreaResize(Picture picture, Size size)
{
    if (picture.size == size)
        return picture;
    const Size from = picture.size;
    const std::vector<Span> columns = Spans(from.width, size.width);
    const std::vector<Span> rows = Spans(from.height, size.height);

    // Across first, into floats, then down.
    std::vector<float> across(size_t(size.width) * from.height * 3);
    for (uint32_t y = 0; y < from.height; ++y) {
        const uint8_t* line = picture.Data() + size_t(y) * from.width * 3;
        float* out = across.data() + size_t(y) * size.width * 3;
        for (uint32_t x = 0; x < size.width; ++x) {
            const Span& span = columns[x];
            float r = 0, g = 0, b = 0;
            const uint8_t* px = line + size_t(span.first) * 3;
            for (float weight : span.weights) {
                r += weight * px[0];
                g += weight * px[1];
                b += weight * px[2];
                px += 3;
            }
            out[x * 3] = r;
            out[x * 3 + 1] = g;
            out[x * 3 + 2] = b;
        }
    }

    Picture result = Picture::Allocate(size);
    const size_t rowFloats = size_t(size.width) * 3;
    std::vector<float> sum(rowFloats);
    for (uint32_t y = 0; y < size.height; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        const Span& span = rows[y];
        for (size_t k = 0; k < span.weights.size(); ++k) {
            const float weight = span.weights[k];
            const float* line = across.data() + (span.first + k) * rowFloats;
            for (size_t i = 0; i < rowFloats; ++i)
                sum[i] += weight * line[i];
        }
        uint8_t* out = result.Data() + y * rowFloats;
        for (size_t i = 0; i < rowFloats; ++i)
            out[i] = ToByte(sum[i]);
    }
    return result;
}

Picture Orient(Picture picture, int orientation)
{
    if (orientation < 2 || orientation > 8)
        return picture;
    const int64_t w = picture.size.width, h = picture.size.height;
    // Shown pixel (dx, dy) is stored pixel (ax dx + bx dy + cx, ay dx + by dy + cy).
    struct Map {
        int ax, bx, ay, by;
        bool flipX, flipY; // cx = w - 1, cy = h - 1
    };
    static constexpr Map c_Maps[9] = {
        {},
        {1, 0, 0, 1, false, false},
        {-1, 0, 0, 1, true, false},
        {-1, 0, 0, -1, true, true},
        {1, 0, 0, -1, false, true},
        {0, 1, 1, 0, false, false},
        {0, 1, -1, 0, false, true},
        {0, -1, -1, 0, true, true},
        {0, -1, 1, 0, true, false},
    };
    const Map& map = c_Maps[orientation];
    const int64_t cx = map.flipX ? w - 1 : 0, cy = map.flipY ? h - 1 : 0;
    Picture result = Picture::Allocate(SwapsSides(orientation) ? picture.size.Swapped() : picture.size);
    // Offsets, not moving pointers: a pointer stepped backwards past the first pixel would be
    // undefined even unused.
    const int64_t step = (map.ay * w + map.ax) * 3;
    const uint8_t* in = picture.Data();
    uint8_t* out = result.Data();
    for (int64_t dy = 0; dy < int64_t(result.size.height); ++dy) {
        int64_t at = ((map.by * dy + cy) * w + map.bx * dy + cx) * 3;
        for (uint32_t dx = 0; dx < result.size.width; ++dx, at += step, out += 3) {
            out[0] = in[at];
            out[1] = in[at + 1];
            out[2] = in[at + 2];
        }
    }
    return result;
}

} // namespace LumoPhotos
