// Which files the photos module takes for photos, and how the host reaches it.
#include <dlfcn.h>
#include <filesystem>

#include <QBuffer>
#include <QImage>

#include "PhotoTestSupport.h"

using namespace PhotoTest;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values, size_t padTo = 32)
{
    std::vector<uint8_t> bytes;
    for (int value : values)
        bytes.push_back(uint8_t(value));
    bytes.resize(std::max(bytes.size(), padTo), 0x20);
    return bytes;
}

std::vector<uint8_t> Text(const std::string& text, size_t padTo = 32)
{
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.resize(std::max(bytes.size(), padTo), 0x20);
    return bytes;
}

std::vector<uint8_t> SavedBy(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

class PhotoFormatsTest : public testing::Test {
protected:
    TempFolder m_folder;
    PhotoHost m_photos;
};

} // namespace

TEST_F(PhotoFormatsTest, NamesDecideWithoutReadingTheFile)
{
    // None of these files exists: the name alone must settle it, and a photo that went
    // missing must still be known as one (it then shows as broken).
    const struct {
        const char* name;
        const char* type;
    } cases[] = {
        {"a.jpg", "image/jpeg"},
        {"b.JPEG", "image/jpeg"},
        {"c.Jpe", "image/jpeg"},
        {"d.jfif", "image/jpeg"},
        {"e.png", "image/png"},
        {"f.GIF", "image/gif"},
        {"g.bmp", "image/bmp"},
        {"h.tif", "image/tiff"},
        {"i.TIFF", "image/tiff"},
        {"j.webp", "image/webp"},
        {"holiday.2004.jpg", "image/jpeg"},
        {"k.mp3", ""},
        {"jpg", ""},
        {".jpg", ""},
        {"l.jpg.txt", ""},
    };
    for (const auto& test : cases)
        EXPECT_EQ(m_photos.ContentTypeOf(m_folder.File(test.name)), test.type) << test.name;
}

TEST_F(PhotoFormatsTest, SignaturesDecideWhenTheNameDoesNot)
{
    const struct {
        const char* name;
        std::vector<uint8_t> head;
        const char* type;
    } cases[] = {
        {"jpeg", SolidJpeg(8, 8, c_Red), "image/jpeg"},
        {"png.dat", SavedBy(QImage(4, 4, QImage::Format_RGB32), "png"), "image/png"},
        {"bmp", SavedBy(QImage(4, 4, QImage::Format_RGB32), "bmp"), "image/bmp"},
        {"gif87", Text("GIF87a"), "image/gif"},
        {"gif89", Text("GIF89a"), "image/gif"},
        {"tiff-intel", Bytes({'I', 'I', 42, 0}), "image/tiff"},
        {"tiff-motorola", Bytes({'M', 'M', 0, 42}), "image/tiff"},
        {"webp", Text(std::string("RIFF\x10\0\0\0WEBPVP8 ", 16)), "image/webp"},
        // Near misses.
        {"riff-wave", Text(std::string("RIFF\x10\0\0\0WAVEfmt ", 16)), ""},
        {"letter", Text("BMW drivers, dear all,"), ""},
        {"gif-like", Text("GIF90a"), ""},
        {"empty", {}, ""},
        {"short-jpeg", Bytes({0xFF, 0xD8}, 2), ""},
    };
    for (const auto& test : cases) {
        WriteFile(m_folder.File(test.name), test.head);
        EXPECT_EQ(m_photos.ContentTypeOf(m_folder.File(test.name)), test.type) << test.name;
    }
    // The host asks the module before it falls back to the system's extension table.
    EXPECT_EQ(m_photos.Host().FormatGroup().DecideContentType(m_photos.Url(m_folder.File("jpeg")).Get(), nullptr),
        "image/jpeg");
}

TEST_F(PhotoFormatsTest, FoldersAndDevicesAreNoPhotos)
{
    std::filesystem::create_directory(m_folder.File("album"));
    std::filesystem::create_directory(m_folder.File("Trip.jpg"));
    EXPECT_EQ(m_photos.ContentTypeOf(m_folder.File("album")), "");
    EXPECT_EQ(m_photos.ContentTypeOf(m_folder.File("Trip.jpg")), "");
    ASSERT_EQ(mkfifo(m_folder.File("pipe").c_str(), 0600), 0);
    EXPECT_EQ(m_photos.ContentTypeOf(m_folder.File("pipe")), "") << "answered without blocking";
    EXPECT_EQ(m_photos.ContentTypeOf("/dev/zero"), "");
}

TEST_F(PhotoFormatsTest, ClassPrefixedUrlsAreThePhotosThemselves)
{
    const std::string path = m_folder.File("noname");
    WriteFile(path, SolidJpeg(40, 30, c_Red));
    EXPECT_EQ(m_photos.ContentTypeOf(path, "lumophotos-file"), "image/jpeg");
    EXPECT_EQ(m_photos.ContentTypeOf(m_folder.File("x.png"), "lumophotos-file"), "image/png");
    EXPECT_EQ(m_photos.ContentTypeOf(path, "lumomusic-file"), "") << "another class's prefix";
    EXPECT_EQ(m_photos.ContentTypeOf(path, "http"), "");

    ApiRef<DetailsApi> details = m_photos.Details(path, "lumophotos-file");
    ASSERT_TRUE(details);
    EXPECT_EQ(Value(*details, "SourceWidth"), "40");
    EXPECT_EQ(Value(*details, "SourceLocation"), path);
}

TEST_F(PhotoFormatsTest, FormatListHoldsTheClassTypesThenTheImageTypes)
{
    ApiRef<FormatApi> formats = m_photos.Formats();
    std::map<std::string, std::string> extensions;
    std::vector<std::string> order;
    for (int32_t i = 0; i < formats->GetFormatCount(); ++i) {
        FormatInfo info{};
        ASSERT_NE(formats->GetFormat(i, &info), 0) << i;
        order.push_back(info.contentType);
        extensions[info.contentType] = info.extensions ? info.extensions : "";
    }
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(order[0].rfind("x-container/lumophotos-", 0), 0u) << order[0];
    EXPECT_EQ(extensions["image/jpeg"], ".jpg,.jpeg,.jpe,.jfif");
    EXPECT_EQ(extensions["image/tiff"], ".tif,.tiff");
    for (const char* type : {"image/png", "image/gif", "image/bmp", "image/webp"})
        EXPECT_EQ(extensions.count(type), 1u) << type;

    FormatInfo info{};
    LumoSetLastError(0);
    EXPECT_EQ(formats->GetFormat(formats->GetFormatCount(), &info), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_INDEX);
    EXPECT_EQ(formats->GetFormat(-1, &info), 0);

    // Every format the module names is one its media handler takes.
    const std::string handled = m_photos.Media()->GetContentTypes();
    for (const std::string& type : order)
        EXPECT_NE(handled.find(type), std::string::npos) << type;
}

TEST_F(PhotoFormatsTest, EntryPointAnswersItsApisAndRefusesOthers)
{
    void* library = dlopen(m_photos.PhotosModule().File().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_TRUE(library);
    auto entry = reinterpret_cast<GetApiFunction>(dlsym(library, c_GetApiSymbol));
    dlclose(library);
    ASSERT_TRUE(entry);
    for (const char* type : {"ModuleApi", "FormatApi", "MediaApi", "MediaClassApi"}) {
        ApiRef<Api> api = ApiRef<Api>::Adopt(entry(type));
        EXPECT_TRUE(api) << type;
    }
    for (const char* type : {"ImageApi", "mediaapi", "DiskCacheApi", ""}) {
        LumoSetLastError(0);
        EXPECT_EQ(entry(type), nullptr) << type;
        EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER) << type;
    }
    EXPECT_STREQ(m_photos.PhotosModule().DisplayName().c_str(), "Photos");
}

TEST_F(PhotoFormatsTest, MediaHandlerRefusesWhatIsNoPhoto)
{
    ApiRef<MediaApi> media = m_photos.Media();
    const std::string text = m_folder.File("notes.txt");
    WriteFile(text, Text("plain words"));
    LumoSetLastError(0);
    EXPECT_EQ(media->GetApi(DetailsApi::TypeId, m_photos.Url(text).Get()), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_UNSUPPORTED_TYPE);

    const std::string photo = m_folder.File("p.jpg");
    WriteFile(photo, SolidJpeg(8, 8, c_Red));
    EXPECT_EQ(media->GetApi(ContainerApi::TypeId, m_photos.Url(photo).Get()), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);

    // The photos class is the module's too: its roots are there for the page.
    MediaClass& photos = m_photos.Host().MediaClasses().ById("LumoPhotos");
    EXPECT_EQ(photos.FirstRoot().UrlText(), "lumophotos://roots");
}
