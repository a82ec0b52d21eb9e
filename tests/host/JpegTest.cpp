#include <algorithm>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <lumo/Errors.h>

#include "common/Exceptions.h"
#include "host/JpegDecoder.h"
#include "host/JpegWriter.h"

using namespace LumoApi;

namespace {

// The error decoding the first length bytes raises, or 0 for a picture. The bytes sit in a
// block of exactly that size, so a read past it shows under the address sanitizer.
uint32_t DecodeError(const std::vector<uint8_t>& file, size_t length)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(length, 1)]);
    std::copy_n(file.begin(), length, exact.get());
    try {
        return DecodeJpeg(exact.get(), length).isNull() ? 1 : 0;
    } catch (const WinErrorException& error) {
        return error.ErrorCode();
    }
}

void ExpectColour(const QImage& image, int x, int y, QColor expected)
{
    const QColor actual = image.pixelColor(x, y);
    EXPECT_NEAR(actual.red(), expected.red(), 10) << x << "," << y;
    EXPECT_NEAR(actual.green(), expected.green(), 10) << x << "," << y;
    EXPECT_NEAR(actual.blue(), expected.blue(), 10) << x << "," << y;
}

void Fill(uint8_t* px, QColor colour)
{
    px[0] = uint8_t(colour.red());
    px[1] = uint8_t(colour.green());
    px[2] = uint8_t(colour.blue());
}

} // namespace

TEST(JpegDecodeTest, GivesTheSizeAndColoursOfTheFile)
{
    for (bool progressive : {false, true}) {
        JpegSpec plan{64, 64};
        plan.progressive = progressive;
        std::vector<uint8_t> file = WriteJpeg(plan, [](int x, int y, uint8_t* px) {
            Fill(px, y < 32 ? (x < 32 ? Qt::red : Qt::green) : (x < 32 ? Qt::blue : Qt::white));
        });
        file.insert(file.end(), {'t', 'r', 'a', 'i', 'l', 'e', 'r'}); // ignored after the end marker
        const QImage image = DecodeJpeg(file.data(), file.size());
        ASSERT_EQ(image.size(), QSize(64, 64)) << progressive;
        EXPECT_EQ(image.format(), QImage::Format_RGB888);
        ExpectColour(image, 16, 16, Qt::red);
        ExpectColour(image, 48, 16, Qt::green);
        ExpectColour(image, 16, 48, Qt::blue);
        ExpectColour(image, 48, 48, Qt::white);
    }
}

TEST(JpegDecodeTest, GrayscaleAndCmykBecomeRgb)
{
    JpegSpec gray{64, 8, JCS_GRAYSCALE, 1};
    const std::vector<uint8_t> grayFile = WriteJpeg(gray, [](int x, int, uint8_t* px) { px[0] = uint8_t(x / 8 * 32); });
    const QImage grayImage = DecodeJpeg(grayFile.data(), grayFile.size());
    ASSERT_EQ(grayImage.size(), QSize(64, 8));
    for (int level = 0; level < 256; level += 32)
        ExpectColour(grayImage, level / 4 + 4, 4, QColor(level, level, level));

    // Stripes of cyan, magenta, yellow, black, no ink and half black, as ink amounts.
    const uint8_t inks[][4]
        = {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {0, 0, 0, 255}, {0, 0, 0, 0}, {0, 0, 0, 128}};
    const QColor rgb[] = {{0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {0, 0, 0}, {255, 255, 255}, {127, 127, 127}};
    for (bool adobe : {true, false}) {
        JpegSpec cmyk{16 * int(std::size(inks)), 16, JCS_CMYK, 4};
        cmyk.adobeMarker = adobe;
        const std::vector<uint8_t> file = WriteJpeg(cmyk, [&](int x, int, uint8_t* px) {
            for (int i = 0; i < 4; ++i)
                px[i] = adobe ? uint8_t(255 - inks[x / 16][i]) : inks[x / 16][i]; // Adobe stores ink inverted
        });
        const QImage image = DecodeJpeg(file.data(), file.size());
        ASSERT_EQ(image.size(), QSize(cmyk.width, 16));
        for (size_t i = 0; i < std::size(inks); ++i) {
            SCOPED_TRACE(adobe ? "Adobe" : "plain");
            ExpectColour(image, int(i) * 16 + 8, 8, rgb[i]);
        }
    }
}

TEST(JpegDecodeTest, EveryTruncationFailsCleanly)
{
    for (bool progressive : {false, true}) {
        JpegSpec plan{24, 20};
        plan.progressive = progressive;
        const std::vector<uint8_t> file = WriteJpeg(plan, [](int x, int y, uint8_t* px) {
            px[0] = uint8_t(x * 10);
            px[1] = uint8_t(y * 12);
            px[2] = uint8_t((x ^ y) * 16);
        });
        ASSERT_EQ(DecodeError(file, file.size()), 0u);
        for (size_t length = 0; length < file.size(); ++length)
            ASSERT_EQ(DecodeError(file, length), ERROR_INVALID_DATA) << length << " bytes, " << progressive;
    }
}

TEST(JpegDecodeTest, GarbageAndNothingFail)
{
    EXPECT_THROW(DecodeJpeg(nullptr, 100), WinErrorException);
    std::mt19937 random(20240611);
    for (size_t size : {1u, 2u, 16u, 1000u, 100000u}) {
        std::vector<uint8_t> garbage(size);
        std::generate(garbage.begin(), garbage.end(), [&] { return uint8_t(random()); });
        EXPECT_EQ(DecodeError(garbage, size), ERROR_INVALID_DATA) << size;
        garbage[0] = 0xFF; // a start-of-image marker and then garbage
        garbage.insert(garbage.begin() + 1, 0xD8);
        EXPECT_EQ(DecodeError(garbage, garbage.size()), ERROR_INVALID_DATA) << size;
    }
}

// A real progressive file has about ten scans; thousands of tiny ones keep a decoder busy for
// minutes. Both files are legal: every coefficient refined one bit at a time.
TEST(JpegDecodeTest, AFloodOfScansIsRefused)
{
    auto flood = [](int components) {
        JpegSpec plan{8, 8, components == 1 ? JCS_GRAYSCALE : JCS_RGB, components};
        plan.scans.push_back({components, {0, 1, 2}, 0, 0, 0, 0});
        for (int c = 0; c < components; ++c)
            for (int k = 1; k < 64; ++k)
                for (int al = 10; al >= 0; --al)
                    plan.scans.push_back({1, {c}, k, k, al == 10 ? 0 : al + 1, al});
        return WriteJpeg(plan, [=](int x, int y, uint8_t* px) { std::fill_n(px, components, uint8_t(x * 30 + y)); });
    };
    const std::vector<uint8_t> gray = flood(1), colour = flood(3); // 694 and 2080 scans
    EXPECT_EQ(DecodeError(gray, gray.size()), 0u);
    EXPECT_EQ(DecodeError(colour, colour.size()), ERROR_INVALID_DATA);
}

struct ScaleCase {
    QSize image, atLeast, expected;
};

class JpegScaleTest : public ::testing::TestWithParam<ScaleCase> { };

TEST_P(JpegScaleTest, PicksTheSmallestEighthThatCoversTheRequest)
{
    const ScaleCase& c = GetParam();
    const std::vector<uint8_t> file = SolidJpeg(c.image.width(), c.image.height(), 200, 40, 90);
    const QImage image = DecodeJpeg(file.data(), file.size(), c.atLeast);
    EXPECT_EQ(image.size(), c.expected);
    ExpectColour(image, image.width() / 2, image.height() / 2, QColor(200, 40, 90));
}

INSTANTIATE_TEST_SUITE_P(JpegDecode, JpegScaleTest,
    ::testing::Values(ScaleCase{{800, 600}, {100, 75}, {100, 75}}, ScaleCase{{800, 600}, {101, 75}, {200, 150}},
        ScaleCase{{800, 600}, {100, 76}, {200, 150}}, ScaleCase{{800, 600}, {0, 300}, {400, 300}},
        ScaleCase{{800, 600}, {500, -1}, {500, 375}}, ScaleCase{{800, 600}, {701, 1}, {800, 600}},
        ScaleCase{{800, 600}, {2000, 2000}, {800, 600}}, ScaleCase{{800, 600}, QSize(), {800, 600}},
        ScaleCase{{801, 601}, {1, 1}, {101, 76}}));
