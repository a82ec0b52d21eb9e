// What the photo properties dialog and the tool tips read about a photo.
#include <algorithm>
#include <filesystem>

#include <QBuffer>
#include <QImage>

#include "PhotoTestSupport.h"
#include "host/ListedFiles.h"

using namespace PhotoTest;

namespace {

// Seconds since 1970 of a local wall-clock time, as a camera's clock records it.
std::string LocalSeconds(int year, int month, int day, int hour, int minute, int second)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return std::to_string(std::mktime(&fields));
}

bool Lists(const std::vector<std::string>& names, const char* name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

class PhotoDetailsTest : public testing::Test {
protected:
    TempFolder m_folder;
    PhotoHost m_photos;
};

} // namespace

TEST_F(PhotoDetailsTest, JpegWithExifTellsWhenTakenAndHowLarge)
{
    const std::string path = m_folder.File("IMG_0001.JPG");
    ExifSpec exif;
    exif.dateTimeOriginal = "2004:03:05 14:07:09";
    exif.orientation = 1;
    const std::vector<uint8_t> file = WithExif(SolidJpeg(320, 240, c_Green), exif);
    WriteFile(path, file);
    SetModifiedTime(path, 1100000000);

    ApiRef<DetailsApi> details = m_photos.Details(path);
    ASSERT_TRUE(details);
    EXPECT_EQ(Value(*details, "CaptureDate"), LocalSeconds(2004, 3, 5, 14, 7, 9));
    EXPECT_EQ(Value(*details, "SourceWidth"), "320");
    EXPECT_EQ(Value(*details, "SourceHeight"), "240");
    EXPECT_EQ(Value(*details, "FileName"), "IMG_0001.JPG");
    EXPECT_EQ(Value(*details, "ContentType"), "image/jpeg");
    EXPECT_EQ(Value(*details, "SourceFormat"), "image/jpeg");
    EXPECT_EQ(Value(*details, "SourceLocation"), path);
    EXPECT_EQ(Value(*details, "SourceSize"), std::to_string(file.size()));
    EXPECT_EQ(Value(*details, "LastChangeDate"), "1100000000");
    EXPECT_FALSE(Value(*details, "CreationDate").empty());

    const std::vector<std::string> names = Names(*details);
    for (const char* name : {"FileName", "SourceFormat", "ContentType", "SourceLocation", "SourceSize", "CreationDate",
             "LastChangeDate", "CaptureDate", "SourceWidth", "SourceHeight"})
        EXPECT_TRUE(Lists(names, name)) << name;

    // The host reaches the same details, and so the dialog's "Taken:" line.
    MediaItem item(m_photos.Url(path));
    EXPECT_TRUE(item.IsImage());
    EXPECT_EQ(item.Property("CaptureDate"), LocalSeconds(2004, 3, 5, 14, 7, 9));
    EXPECT_EQ(item.Property("Title"), "IMG_0001");
}

TEST_F(PhotoDetailsTest, QuarterTurnedPhotosShowTheirSidesSwapped)
{
    const struct {
        uint16_t orientation;
        const char* width;
        const char* height;
    } cases[] = {{1, "64", "48"}, {3, "64", "48"}, {5, "48", "64"}, {6, "48", "64"}, {8, "48", "64"}, {9, "64", "48"}};
    for (const auto& test : cases) {
        const std::string path = m_folder.File("turned" + std::to_string(test.orientation) + ".jpg");
        ExifSpec exif;
        exif.orientation = test.orientation;
        exif.bigEndian = test.orientation % 2 == 0;
        WriteFile(path, WithExif(SolidJpeg(64, 48, c_Red), exif));
        ApiRef<DetailsApi> details = m_photos.Details(path);
        ASSERT_TRUE(details);
        EXPECT_EQ(Value(*details, "SourceWidth"), test.width) << test.orientation;
        EXPECT_EQ(Value(*details, "SourceHeight"), test.height) << test.orientation;
    }
}

TEST_F(PhotoDetailsTest, CaptureDateIsAbsentWithoutAUsableTime)
{
    const struct {
        const char* name;
        const char* time; // null: no EXIF block at all
    } cases[] = {
        {"no-exif", nullptr},
        {"blank", "    :  :     :  :  "},
        {"zeros", "0000:00:00 00:00:00"},
        {"february-31", "2003:02:31 10:00:00"},
        {"hour-25", "2003:02:01 25:00:00"},
        {"words", "yesterday afternoon"},
    };
    for (const auto& test : cases) {
        const std::string path = m_folder.File(std::string(test.name) + ".jpg");
        ExifSpec exif;
        exif.dateTimeOriginal = test.time;
        WriteFile(path, test.time ? WithExif(SolidJpeg(32, 24, c_Blue), exif) : SolidJpeg(32, 24, c_Blue));
        ApiRef<DetailsApi> details = m_photos.Details(path);
        ASSERT_TRUE(details);
        LumoSetLastError(0);
        EXPECT_EQ(details->GetValue("CaptureDate"), nullptr) << test.name;
        EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND) << test.name;
        EXPECT_FALSE(Lists(Names(*details), "CaptureDate")) << test.name;
        EXPECT_EQ(Value(*details, "SourceWidth"), "32") << test.name;
    }
}

TEST_F(PhotoDetailsTest, OtherFormatsTellTheirSizeThroughTheirHeaders)
{
    QImage image(70, 30, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (const char* format : {"png", "bmp"}) {
        const std::string path = m_folder.File(std::string("picture.") + format);
        ASSERT_TRUE(image.save(QString::fromStdString(path), format));
        ApiRef<DetailsApi> details = m_photos.Details(path);
        ASSERT_TRUE(details);
        EXPECT_EQ(Value(*details, "ContentType"), std::string("image/") + format);
        EXPECT_EQ(Value(*details, "SourceWidth"), "70") << format;
        EXPECT_EQ(Value(*details, "SourceHeight"), "30") << format;
        EXPECT_EQ(Value(*details, "CaptureDate"), "") << format;
    }
}

TEST_F(PhotoDetailsTest, PhotoWhoseFileIsGoneIsBroken)
{
    const std::string path = m_folder.File("gone.jpg");
    WriteFile(path, SolidJpeg(16, 16, c_Red));
    ASSERT_EQ(Value(*m_photos.Details(path), "ContentType"), "image/jpeg");
    std::filesystem::remove(path);

    ApiRef<DetailsApi> details = m_photos.Details(path);
    ASSERT_TRUE(details);
    EXPECT_EQ(Value(*details, "ContentType"), "x-application/lumo-broken");
    EXPECT_EQ(Value(*details, "FileName"), "gone.jpg");
    EXPECT_EQ(Value(*details, "SourceLocation"), path);
    EXPECT_EQ(Value(*details, "SourceSize"), "");
    EXPECT_EQ(Value(*details, "SourceWidth"), "");
}

TEST_F(PhotoDetailsTest, ListedPhotoShowsTypeAndDatesFromItsRecordAndOpensOnlyForTheRest)
{
    const std::string path = m_folder.File("listed.jpg");
    ExifSpec exif;
    exif.dateTimeOriginal = "2004:03:05 14:07:09";
    WriteFile(path, WithExif(SolidJpeg(32, 16, c_Green), exif));
    ApiRef<UrlApi> url = m_photos.Url(path);
    ListedFile record{};
    record.size = sizeof record;
    record.flags = c_ListedReadable | c_ListedBirthTime;
    record.fileType = c_ListedRegular;
    record.sizeBytes = 777;
    record.modifiedNs = 1500000000999999999;
    record.changedNs = 1500000000999999999;
    record.createdNs = 1400000000000000000;
    ASSERT_NE(ListedFiles::Instance().Attach(url.Get(), &record), 0);
    const auto detailsOf = [&] {
        return ApiRef<DetailsApi>::Adopt(
            static_cast<DetailsApi*>(m_photos.Media()->GetApi(DetailsApi::TypeId, url.Get())));
    };

    ApiRef<DetailsApi> details = detailsOf();
    ASSERT_TRUE(details);
    EXPECT_EQ(Value(*details, "ContentType"), "image/jpeg");
    EXPECT_EQ(Value(*details, "SourceSize"), "777");
    EXPECT_EQ(Value(*details, "LastChangeDate"), "1500000000");
    EXPECT_EQ(Value(*details, "CreationDate"), "1400000000");
    EXPECT_EQ(Value(*details, "SourceWidth"), "32") << "the picture's own facts come from the file";
    EXPECT_EQ(Value(*details, "CaptureDate"), LocalSeconds(2004, 3, 5, 14, 7, 9));

    // Gone after the listing: its name and type are still what the listing saw, and the facts
    // only the file holds are simply unknown.
    std::filesystem::remove(path);
    ApiRef<DetailsApi> later = detailsOf();
    ASSERT_TRUE(later);
    EXPECT_EQ(Value(*later, "ContentType"), "image/jpeg");
    EXPECT_EQ(Value(*later, "SourceWidth"), "");
    EXPECT_EQ(Value(*later, "CaptureDate"), "");
}

TEST_F(PhotoDetailsTest, NamesThatAreNotUtf8StillReadAndShow)
{
    const std::string path = m_folder.File("caf\xE9 \xFF.jpg");
    WriteFile(path, SolidJpeg(24, 12, c_Red));
    ApiRef<DetailsApi> details = m_photos.Details(path);
    ASSERT_TRUE(details);
    EXPECT_EQ(Value(*details, "FileName"), "caf\xEF\xBF\xBD \xEF\xBF\xBD.jpg");
    EXPECT_EQ(Value(*details, "SourceWidth"), "24") << "the file itself was found by its bytes";
    EXPECT_EQ(m_photos.Picture(path, 116, 116).width(), 24);
}

TEST_F(PhotoDetailsTest, DamagedFilesKeepTheirFileFacts)
{
    const std::vector<uint8_t> photo = WithExif(SolidJpeg(48, 36, c_Red), [] {
        ExifSpec exif;
        exif.dateTimeOriginal = "2010:06:01 08:30:00";
        exif.pixelWidth = 48;
        exif.pixelHeight = 36;
        return exif;
    }());
    const std::string path = m_folder.File("damaged.jpg");
    // Cuts of the file, and noise: no crash, the file's own facts always there. Cut from the
    // end down: emptying a file and writing it anew would cost a disk flush on ext4 each time.
    WriteFile(path, photo);
    for (size_t length = photo.size(); length-- > 0;) {
        std::filesystem::resize_file(path, length);
        ApiRef<DetailsApi> details = m_photos.Details(path);
        ASSERT_TRUE(details) << length;
        EXPECT_EQ(Value(*details, "SourceSize"), std::to_string(length));
        const std::string width = Value(*details, "SourceWidth");
        EXPECT_TRUE(width.empty() || width == "48") << length << ": " << width;
    }
    WriteFile(path, Noise(7, 5000));
    ApiRef<DetailsApi> noisy = m_photos.Details(path);
    ASSERT_TRUE(noisy);
    EXPECT_EQ(Value(*noisy, "SourceWidth"), "");
    EXPECT_EQ(Value(*noisy, "SourceSize"), "5000");
}

TEST_F(PhotoDetailsTest, CutAfterItsExifBlockThePhotoStillTellsItsSize)
{
    const std::vector<uint8_t> plain = SolidJpeg(48, 36, c_Red);
    ExifSpec exif;
    exif.pixelWidth = 4000;
    exif.pixelHeight = 3000;
    const std::vector<uint8_t> photo = WithExif(plain, exif);
    // Start marker and APP1 kept, nothing of the frame header.
    const size_t exifEnd = 2 + 2 + (size_t(photo[4]) << 8 | photo[5]);
    const std::string path = m_folder.File("cut.jpg");
    WriteFile(path, std::vector<uint8_t>(photo.begin(), photo.begin() + std::ptrdiff_t(exifEnd + 3)));
    ApiRef<DetailsApi> details = m_photos.Details(path);
    ASSERT_TRUE(details);
    EXPECT_EQ(Value(*details, "SourceWidth"), "4000");
    EXPECT_EQ(Value(*details, "SourceHeight"), "3000");
    // Whole, the frame header speaks for the picture.
    WriteFile(path, photo);
    EXPECT_EQ(Value(*m_photos.Details(path), "SourceWidth"), "48");
}
