// Pictures of photos as the photo grid and the properties dialog load them through the host.
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include <QImage>

#include "PhotoTestSupport.h"

using namespace PhotoTest;

namespace {

// Quadrants of a stored picture, to follow where each corner goes.
constexpr Rgb c_Quadrants[4] = {c_Red, c_Green, c_Blue, c_White}; // top left, top right, bottom left, bottom right

std::vector<uint8_t> QuadrantJpeg(int width, int height)
{
    return EncodeJpeg(
        width, height, [&](int x, int y) { return c_Quadrants[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)]; });
}

// The colour at the middle of the quadrant (column, row) of image.
QColor QuadrantColour(const QImage& image, int column, int row)
{
    return image.pixelColor(image.width() * (1 + 2 * column) / 4, image.height() * (1 + 2 * row) / 4);
}

std::vector<uint8_t> Bytes(DataApi& data)
{
    return std::vector<uint8_t>(data.GetBytes(), data.GetBytes() + data.GetSize());
}

class PhotoImageTest : public testing::Test {
protected:
    // The photo with an embedded thumbnail of its own colour, or another.
    std::string PhotoWithThumbnail(const std::string& name, int width, int height, std::vector<uint8_t> thumbnail)
    {
        ExifSpec exif;
        exif.thumbnail = std::move(thumbnail);
        const std::string path = m_folder.File(name);
        WriteFile(path, WithExif(SolidJpeg(width, height, c_Red), exif));
        return path;
    }

    // GetData straight from the module's image object; null with its last error in *error.
    ApiRef<DataApi> Data(const std::string& path, int32_t width, int32_t height, uint32_t option, uint32_t* error)
    {
        ApiRef<ImageApi> image = m_photos.Image(path);
        EXPECT_TRUE(image);
        if (!image)
            return {};
        EXPECT_NE(image->SetSize(width, height), 0);
        EXPECT_NE(image->SetOption(option), 0);
        LumoSetLastError(0);
        ApiRef<DataApi> data = ApiRef<DataApi>::Adopt(image->GetData("image/jpeg"));
        *error = data ? 0 : LumoGetLastError();
        return data;
    }

    TempFolder m_folder;
    PhotoHost m_photos;
};

} // namespace

TEST_F(PhotoImageTest, PictureFitsTheBoxKeepingTheAspect)
{
    const struct {
        int width, height; // the photo
        int boxW, boxH;    // asked for
        int outW, outH;    // delivered
    } cases[] = {
        {400, 300, 116, 116, 116, 87}, {300, 400, 116, 116, 87, 116}, {640, 100, 116, 116, 116, 18},
        {400, 300, 0, 0, 400, 300},                             // its own size
        {50, 40, 116, 116, 50, 40},                             // never enlarged
        {400, 300, 200, 0, 200, 150},                           // a free side
        {400, 300, 0, 60, 80, 60}, {3, 1000, 116, 116, 1, 116}, // never below one pixel
    };
    for (const auto& test : cases) {
        const std::string path
            = m_folder.File("fit" + std::to_string(test.width) + "x" + std::to_string(test.height) + ".jpg");
        if (!std::filesystem::exists(path))
            WriteFile(path, SolidJpeg(test.width, test.height, c_Green));
        const QImage picture = m_photos.Picture(path, test.boxW, test.boxH);
        EXPECT_EQ(picture.width(), test.outW)
            << test.width << "x" << test.height << " in " << test.boxW << "x" << test.boxH;
        EXPECT_EQ(picture.height(), test.outH)
            << test.width << "x" << test.height << " in " << test.boxW << "x" << test.boxH;
        EXPECT_TRUE(Near(picture.pixelColor(picture.width() / 2, picture.height() / 2), c_Green));
    }
}

TEST_F(PhotoImageTest, OrientationTurnsThePicture)
{
    // Where the stored quadrants end up for each EXIF orientation: the shown top left and top
    // right corners. 6 turns a quarter clockwise, so the stored bottom left comes to the top left.
    const struct {
        uint16_t orientation;
        int topLeft, topRight; // indexes into c_Quadrants
    } cases[] = {
        {1, 0, 1},
        {2, 1, 0},
        {3, 3, 2},
        {4, 2, 3},
        {5, 0, 2},
        {6, 2, 0},
        {7, 3, 1},
        {8, 1, 3},
    };
    for (const auto& test : cases) {
        const std::string path = m_folder.File("oriented" + std::to_string(test.orientation) + ".jpg");
        ExifSpec exif;
        exif.orientation = test.orientation;
        WriteFile(path, WithExif(QuadrantJpeg(160, 96), exif));
        const bool quarter = test.orientation >= 5;
        for (const auto& [boxW, boxH] : {std::pair{116, 116}, std::pair{0, 0}}) {
            const QImage picture = m_photos.Picture(path, boxW, boxH);
            const QSize expected
                = boxW ? (quarter ? QSize(70, 116) : QSize(116, 70)) : (quarter ? QSize(96, 160) : QSize(160, 96));
            EXPECT_EQ(picture.size(), expected) << test.orientation;
            EXPECT_TRUE(Near(QuadrantColour(picture, 0, 0), c_Quadrants[test.topLeft]))
                << test.orientation << " top left " << Describe(QuadrantColour(picture, 0, 0));
            EXPECT_TRUE(Near(QuadrantColour(picture, 1, 0), c_Quadrants[test.topRight]))
                << test.orientation << " top right " << Describe(QuadrantColour(picture, 1, 0));
        }
        // Asked to, the module leaves the picture as stored.
        const QImage stored = m_photos.Picture(path, 116, 116, c_IgnoreOrientation);
        EXPECT_EQ(stored.size(), QSize(116, 70));
        EXPECT_TRUE(Near(QuadrantColour(stored, 0, 0), c_Red)) << test.orientation;
    }
}

TEST_F(PhotoImageTest, SizeIsTheSourceSizeAsShown)
{
    const std::string path = m_folder.File("portrait.jpg");
    ExifSpec exif;
    exif.orientation = 6;
    WriteFile(path, WithExif(SolidJpeg(120, 90, c_Red), exif));
    ApiRef<ImageApi> image = m_photos.Image(path);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), 90);
    EXPECT_EQ(image->GetHeight(), 120);
    ASSERT_NE(image->SetOption(c_IgnoreOrientation), 0);
    EXPECT_EQ(image->GetWidth(), 120);
    EXPECT_EQ(image->GetHeight(), 90);

    const std::string png = m_folder.File("wide.png");
    ASSERT_TRUE(QImage(33, 11, QImage::Format_RGB32).save(QString::fromStdString(png), "png"));
    EXPECT_EQ(m_photos.Image(png)->GetWidth(), 33);
    EXPECT_EQ(m_photos.Image(png)->GetHeight(), 11);

    const std::string noise = m_folder.File("noise.jpg");
    WriteFile(noise, Noise(3, 600));
    ApiRef<ImageApi> unreadable = m_photos.Image(noise);
    LumoSetLastError(0);
    EXPECT_EQ(unreadable->GetWidth(), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_DATA);
}

TEST_F(PhotoImageTest, EmbeddedThumbnailServesWhenItIsLargeEnoughAndShowsTheSameFrame)
{
    // The photo is red; every embedded thumbnail blue, so the colour tells which was used.
    const std::string usable = PhotoWithThumbnail("usable.jpg", 800, 600, SolidJpeg(160, 120, c_Blue));
    const std::string stale = PhotoWithThumbnail("stale.jpg", 800, 600, SolidJpeg(160, 160, c_Blue)); // cropped since
    const std::string nearly = PhotoWithThumbnail("nearly.jpg", 800, 533, SolidJpeg(160, 107, c_Blue));
    const std::string broken = PhotoWithThumbnail("broken.jpg", 800, 600, Noise(5, 900));
    const struct {
        const std::string& path;
        int box;
        uint32_t option;
        Rgb colour;
        const char* what;
    } cases[] = {
        {usable, 116, 0, c_Blue, "large enough"},
        {usable, 160, 0, c_Blue, "exactly large enough"},
        {usable, 200, 0, c_Red, "too small for the box"},
        {usable, 116, c_NoEmbeddedThumbnail, c_Red, "refused by option"},
        {stale, 116, 0, c_Red, "another frame"},
        {nearly, 116, 0, c_Blue, "aspect within rounding"},
        {broken, 116, 0, c_Red, "not a picture"},
        {usable, 0, 0, c_Red, "own size"},
    };
    for (const auto& test : cases) {
        const QImage picture = m_photos.Picture(test.path, test.box, test.box, test.option | c_BypassCache);
        EXPECT_TRUE(Near(picture.pixelColor(picture.width() / 2, picture.height() / 2), test.colour))
            << test.what << ": " << Describe(picture.pixelColor(picture.width() / 2, picture.height() / 2));
        if (test.box != 0) {
            EXPECT_EQ(picture.width(), std::min(test.box, 800)) << test.what;
        }
    }
}

TEST_F(PhotoImageTest, SecondRequestComesFromTheCache)
{
    const std::string path = m_folder.File("cached.jpg");
    const std::vector<uint8_t> photo = SolidJpeg(300, 200, c_Green);
    WriteFile(path, photo);
    const timespec stamp = ModifiedTime(path);
    uint32_t error = 0;
    ApiRef<DataApi> first = Data(path, 116, 116, 0, &error);
    ASSERT_TRUE(first) << error;

    // The same bytes, now noise that cannot decode, under the same stamp: only a cache hit
    // can still answer, so nothing was decoded the second time.
    WriteFile(path, Noise(11, photo.size()));
    SetModifiedTime(path, stamp.tv_sec, stamp.tv_nsec);
    ApiRef<DataApi> second = Data(path, 116, 116, 0, &error);
    ASSERT_TRUE(second) << error;
    EXPECT_EQ(Bytes(*second), Bytes(*first));

    // Each thing the key holds sends the request to the file again.
    Data(path, 100, 100, 0, &error);
    EXPECT_EQ(error, ERROR_INVALID_DATA) << "another size";
    Data(path, 116, 116, c_IgnoreOrientation, &error);
    EXPECT_EQ(error, ERROR_INVALID_DATA) << "another option";
    Data(path, 116, 116, c_BypassCache, &error);
    EXPECT_EQ(error, ERROR_INVALID_DATA) << "cache bypassed";
    SetModifiedTime(path, stamp.tv_sec + 1, stamp.tv_nsec);
    Data(path, 116, 116, 0, &error);
    EXPECT_EQ(error, ERROR_INVALID_DATA) << "modified";
}

TEST_F(PhotoImageTest, EveryTruncationFailsCleanly)
{
    ExifSpec exif;
    exif.dateTimeOriginal = "2011:11:11 11:11:11";
    exif.orientation = 6;
    const struct {
        const char* what;
        std::vector<uint8_t> photo;
        uint32_t option;
    } cases[] = {
        {"plain", SolidJpeg(40, 24, c_Red), c_BypassCache},
        {"with EXIF", WithExif(QuadrantJpeg(40, 24), exif), c_BypassCache},
        {"thumbnail refused",
            WithExif(SolidJpeg(40, 24, c_Red),
                [] {
                    ExifSpec withThumbnail;
                    withThumbnail.thumbnail = SolidJpeg(20, 12, c_Blue);
                    return withThumbnail;
                }()),
            c_BypassCache | c_NoEmbeddedThumbnail},
    };
    for (const auto& test : cases) {
        const std::string path = m_folder.File("cut.jpg");
        uint32_t error = 0;
        WriteFile(path, test.photo);
        ASSERT_TRUE(Data(path, 116, 116, test.option, &error)) << test.what << " whole: " << error;
        // Cut from the end down: emptying a file and writing it anew would cost a disk flush
        // on ext4 each time.
        for (size_t length = test.photo.size(); length-- > 0;) {
            std::filesystem::resize_file(path, length);
            EXPECT_FALSE(Data(path, 116, 116, test.option, &error)) << test.what << " cut at " << length;
            EXPECT_EQ(error, ERROR_INVALID_DATA) << test.what << " cut at " << length;
        }
    }
}

TEST_F(PhotoImageTest, GarbageFailsWithInvalidData)
{
    std::vector<uint8_t> jpegHead = SolidJpeg(8, 8, c_Red);
    jpegHead.resize(200);
    const std::vector<uint8_t> noise = Noise(17, 4000);
    jpegHead.insert(jpegHead.end(), noise.begin(), noise.end());
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"noise.jpg", Noise(1, 3000)},
        {"noise.png", Noise(2, 3000)},
        {"noise.bmp", Noise(3, 3000)},
        {"noise.gif", Noise(4, 3000)},
        {"head-then-noise.jpg", jpegHead},
        {"empty.jpg", {}},
        {"empty.png", {}},
    };
    for (const auto& test : cases) {
        WriteFile(m_folder.File(test.name), test.bytes);
        EXPECT_EQ(m_photos.PictureError(m_folder.File(test.name), 116, 116), ERROR_INVALID_DATA) << test.name;
    }
}

TEST_F(PhotoImageTest, DamagedExifBlocksNeverSpoilThePhoto)
{
    // Every byte of the EXIF block in turn set to 0xFF and to 0x00, through libexif's parser
    // and the thumbnail decoder: the photo's own picture always comes out.
    ExifSpec exif;
    exif.dateTimeOriginal = "2012:12:12 12:12:12";
    exif.orientation = 1;
    exif.pixelWidth = 64;
    exif.pixelHeight = 48;
    exif.thumbnail = SolidJpeg(32, 24, c_Red);
    const std::vector<uint8_t> photo = WithExif(SolidJpeg(64, 48, c_Red), exif);
    const size_t exifEnd = 4 + (size_t(photo[4]) << 8 | photo[5]);
    const std::string path = m_folder.File("mutated.jpg");
    WriteFile(path, photo);
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    for (size_t at = 12; at < exifEnd; ++at) {
        for (const uint8_t value : {uint8_t(0xFF), uint8_t(0x00)}) {
            ASSERT_EQ(pwrite(fd, &value, 1, off_t(at)), 1);
            uint32_t error = 0;
            ApiRef<DataApi> data = Data(path, 16, 16, c_BypassCache, &error);
            EXPECT_TRUE(data) << "byte " << at << " = " << int(value) << ": " << error;
            EXPECT_TRUE(m_photos.Details(path)) << "byte " << at;
        }
        ASSERT_EQ(pwrite(fd, &photo[at], 1, off_t(at)), 1);
    }
    close(fd);
}

TEST_F(PhotoImageTest, FourInkPhotosKeepTheirColours)
{
    // Ink as Adobe's programs store it, inverted (255 no ink): cyan none, magenta and yellow
    // full, no black, which is red.
    const int width = 48, height = 32;
    std::vector<uint8_t> ink(size_t(width) * height * 4);
    for (size_t i = 0; i < ink.size(); i += 4) {
        ink[i] = 255;
        ink[i + 1] = 0;
        ink[i + 2] = 0;
        ink[i + 3] = 255;
    }
    tjhandle encoder = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    ASSERT_EQ(tjCompress2(encoder, ink.data(), width, 0, height, TJPF_CMYK, &out, &outSize, TJSAMP_444, 95, 0), 0);
    const std::vector<uint8_t> jpeg(out, out + outSize);
    tjFree(out);
    tjDestroy(encoder);
    const std::string path = m_folder.File("print.jpg");
    WriteFile(path, jpeg);
    const QImage picture = m_photos.Picture(path, 0, 0);
    EXPECT_EQ(picture.size(), QSize(width, height));
    EXPECT_TRUE(Near(picture.pixelColor(width / 2, height / 2), {255, 0, 0}))
        << Describe(picture.pixelColor(width / 2, height / 2));
}

TEST_F(PhotoImageTest, HugeClaimedSizesFailWithoutDecodingThem)
{
    // A valid small JPEG whose frame header claims an enormous picture.
    std::vector<uint8_t> photo = SolidJpeg(16, 16, c_Red);
    size_t frame = 2;
    while (frame + 9 < photo.size() && !(photo[frame] == 0xFF && photo[frame + 1] == 0xC0))
        frame += 2 + (size_t(photo[frame + 2]) << 8 | photo[frame + 3]);
    ASSERT_LT(frame + 9, photo.size());
    photo[frame + 5] = photo[frame + 7] = 0xFF; // 65535 rows and columns
    photo[frame + 6] = photo[frame + 8] = 0xFF;
    const std::string path = m_folder.File("enormous.jpg");
    WriteFile(path, photo);

    // Its own size is refused from the header; an eighth of it reaches the decoder, which finds
    // the data missing long before the picture's pages are touched.
    EXPECT_EQ(m_photos.PictureError(path, 0, 0), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(m_photos.PictureError(path, 116, 116), ERROR_INVALID_DATA);
    EXPECT_EQ(m_photos.Image(path)->GetWidth(), 65535);
}

TEST_F(PhotoImageTest, OtherFormatsDecodeThroughTheirReaders)
{
    QImage image(300, 200, QImage::Format_ARGB32);
    image.fill(QColor(c_Blue.r, c_Blue.g, c_Blue.b));
    for (int y = 0; y < 200; ++y)
        for (int x = 150; x < 300; ++x)
            image.setPixelColor(x, y, Qt::transparent);
    const std::string png = m_folder.File("half-clear.png");
    ASSERT_TRUE(image.save(QString::fromStdString(png), "png"));
    const QImage picture = m_photos.Picture(png, 116, 116);
    EXPECT_EQ(picture.size(), QSize(116, 77));
    EXPECT_TRUE(Near(QuadrantColour(picture, 0, 0), c_Blue)) << Describe(QuadrantColour(picture, 0, 0));
    EXPECT_TRUE(Near(QuadrantColour(picture, 1, 1), c_White)) << "transparency on white";

    const std::string bmp = m_folder.File("plain.bmp");
    ASSERT_TRUE(image.convertToFormat(QImage::Format_RGB32).save(QString::fromStdString(bmp), "bmp"));
    EXPECT_EQ(m_photos.Picture(bmp, 0, 0).size(), QSize(300, 200));
}

TEST_F(PhotoImageTest, RequestsOutsideTheContractAreRefused)
{
    const std::string path = m_folder.File("plain.jpg");
    WriteFile(path, SolidJpeg(20, 20, c_Red));
    ApiRef<ImageApi> image = m_photos.Image(path);
    ASSERT_TRUE(image);
    LumoSetLastError(0);
    EXPECT_EQ(image->SetSize(-1, 10), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(image->SetOption(8), 0) << "an option the module does not know";
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(image->GetData("image/png"), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(image->GetData(nullptr), nullptr);

    std::filesystem::remove(path);
    EXPECT_EQ(m_photos.PictureError(path, 116, 116), ERROR_NOT_FOUND);
    EXPECT_EQ(image->GetData("image/jpeg"), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND);
}
