// The photos module in a real host (with the disk cache, and the folders module when built),
// and photos made on the spot: JPEGs written with TurboJPEG carrying EXIF blocks built with
// libexif, so no picture is stored with the tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>
#include <turbojpeg.h>

#include <lumo/Lumo.h>

#include "common/Exceptions.h"
#include "host/HostInternals.h"
#include "host/Image.h"
#include "host/JpegDecoder.h"
#include "support/ModuleFolder.h"

namespace PhotoTest {

using namespace LumoApi;

// The SetOption bits the module documents.
constexpr uint32_t c_IgnoreOrientation = 1;
constexpr uint32_t c_NoEmbeddedThumbnail = 2;
constexpr uint32_t c_BypassCache = 4;

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-photos-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string File(const std::string& name) const { return m_path.string() + "/" + name; }

private:
    std::filesystem::path m_path;
};

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline void SetModifiedTime(const std::string& path, time_t seconds, long nanoseconds = 0)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

inline timespec ModifiedTime(const std::string& path)
{
    struct stat info { };
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mtim;
}

struct Rgb {
    int r, g, b;
};

constexpr Rgb c_Red{220, 30, 30};
constexpr Rgb c_Green{30, 200, 40};
constexpr Rgb c_Blue{30, 40, 220};
constexpr Rgb c_White{250, 250, 250};

inline bool Near(const QColor& colour, Rgb expected, int tolerance = 24)
{
    return std::abs(colour.red() - expected.r) <= tolerance && std::abs(colour.green() - expected.g) <= tolerance
        && std::abs(colour.blue() - expected.b) <= tolerance;
}

inline std::string Describe(const QColor& colour)
{
    return "(" + std::to_string(colour.red()) + "," + std::to_string(colour.green()) + ","
        + std::to_string(colour.blue()) + ")";
}

using PixelFunction = std::function<Rgb(int x, int y)>;

// A baseline JPEG through TurboJPEG, full-resolution chroma so colours stay put at edges.
inline std::vector<uint8_t> EncodeJpeg(int width, int height, const PixelFunction& pixel, int quality = 92)
{
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = pixel(x, y);
            uint8_t* px = &rgb[(size_t(y) * width + x) * 3];
            px[0] = uint8_t(c.r);
            px[1] = uint8_t(c.g);
            px[2] = uint8_t(c.b);
        }
    tjhandle encoder = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int result
        = tjCompress2(encoder, rgb.data(), width, 0, height, TJPF_RGB, &out, &outSize, TJSAMP_444, quality, 0);
    EXPECT_EQ(result, 0) << tjGetErrorStr2(encoder);
    std::vector<uint8_t> jpeg;
    if (result == 0)
        jpeg.assign(out, out + outSize);
    tjFree(out);
    tjDestroy(encoder);
    return jpeg;
}

inline std::vector<uint8_t> SolidJpeg(int width, int height, Rgb colour)
{
    return EncodeJpeg(width, height, [&](int, int) { return colour; });
}

struct ExifSpec {
    // Written as given (19 characters and a NUL); null for none.
    const char* dateTimeOriginal = nullptr;
    // 0 for none.
    uint16_t orientation = 0;
    uint32_t pixelWidth = 0;
    uint32_t pixelHeight = 0;
    // A JPEG stored as the EXIF thumbnail; empty for none.
    std::vector<uint8_t> thumbnail;
    bool bigEndian = false;
};

namespace Detail {

inline ExifEntry* AddEntry(ExifData* data, ExifIfd ifd, ExifTag tag)
{
    ExifEntry* entry = exif_entry_new();
    exif_content_add_entry(data->ifd[ifd], entry);
    exif_entry_initialize(entry, tag);
    exif_entry_unref(entry); // the content holds it
    return entry;
}

inline void SetNumber(ExifEntry* entry, ExifByteOrder order, uint32_t value)
{
    if (entry->format == EXIF_FORMAT_LONG)
        exif_set_long(entry->data, order, value);
    else
        exif_set_short(entry->data, order, uint16_t(value));
}

} // namespace Detail

// An APP1 payload ("Exif\0\0" and a TIFF structure) written by libexif.
inline std::vector<uint8_t> ExifPayload(const ExifSpec& plan)
{
    ExifData* data = exif_data_new();
    const ExifByteOrder order = plan.bigEndian ? EXIF_BYTE_ORDER_MOTOROLA : EXIF_BYTE_ORDER_INTEL;
    exif_data_set_byte_order(data, order);
    if (plan.orientation != 0)
        Detail::SetNumber(Detail::AddEntry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION), order, plan.orientation);
    if (plan.dateTimeOriginal) {
        ExifEntry* entry = Detail::AddEntry(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL);
        std::memset(entry->data, 0, entry->size);
        std::memcpy(
            entry->data, plan.dateTimeOriginal, std::min<size_t>(entry->size - 1, std::strlen(plan.dateTimeOriginal)));
    }
    if (plan.pixelWidth != 0) {
        Detail::SetNumber(Detail::AddEntry(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION), order, plan.pixelWidth);
        Detail::SetNumber(Detail::AddEntry(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION), order, plan.pixelHeight);
    }
    if (!plan.thumbnail.empty()) {
        // libexif frees it with the default allocator's free().
        data->data = static_cast<unsigned char*>(std::malloc(plan.thumbnail.size()));
        std::memcpy(data->data, plan.thumbnail.data(), plan.thumbnail.size());
        data->size = static_cast<unsigned int>(plan.thumbnail.size());
    }
    unsigned char* out = nullptr;
    unsigned int outSize = 0;
    exif_data_save_data(data, &out, &outSize);
    std::vector<uint8_t> payload(out, out + outSize);
    std::free(out);
    exif_data_unref(data);
    EXPECT_GT(payload.size(), 6u);
    EXPECT_EQ(std::memcmp(payload.data(), "Exif\0\0", 6), 0);
    return payload;
}

// jpeg with an APP1 EXIF segment right after its start marker.
inline std::vector<uint8_t> WithExif(const std::vector<uint8_t>& jpeg, const ExifSpec& plan)
{
    const std::vector<uint8_t> payload = ExifPayload(plan);
    const size_t length = payload.size() + 2;
    EXPECT_LE(length, 0xFFFFu);
    std::vector<uint8_t> file(jpeg.size() + 4 + payload.size());
    const uint8_t segment[6] = {jpeg[0], jpeg[1], 0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length)};
    std::copy(std::begin(segment), std::end(segment), file.begin());
    std::copy(payload.begin(), payload.end(), file.begin() + 6);
    std::copy(jpeg.begin() + 2, jpeg.end(), file.begin() + 6 + std::ptrdiff_t(payload.size()));
    return file;
}

// Bytes that no reader takes for anything, the same for the same seed.
inline std::vector<uint8_t> Noise(uint32_t seed, size_t sizeBytes)
{
    std::vector<uint8_t> bytes(sizeBytes);
    for (uint8_t& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = uint8_t(seed >> 24);
    }
    return bytes;
}

// The real host over a program folder holding the disk cache, the photos module and, when
// built, the folders module.
class PhotoHost {
public:
    PhotoHost() : m_host(m_modules.Path()) { }

    HostInternals& Host() { return m_host; }
    const Module& PhotosModule() { return m_host.Modules().ModuleById("LumoPhotos"); }

    ApiRef<UrlApi> Url(const std::string& path, const char* scheme = "file")
    {
        auto builder
            = ApiRef<UrlBuilderApi>::Adopt(static_cast<UrlBuilderApi*>(m_host.GetApi(UrlBuilderApi::TypeId, nullptr)));
        EXPECT_TRUE(builder && builder->SetScheme(scheme) && builder->SetPath(path.c_str()));
        return ApiRef<UrlApi>::Adopt(builder ? builder->GetUrl() : nullptr);
    }

    ApiRef<FormatApi> Formats() { return PhotosModule().GetApi<FormatApi>(); }
    ApiRef<MediaApi> Media() { return PhotosModule().GetApi<MediaApi>(); }

    // The content type the module's own FormatApi gives path; "" when it does not know it.
    std::string ContentTypeOf(const std::string& path, const char* scheme = "file")
    {
        ApiRef<FormatApi> formats = Formats();
        const int32_t index = formats->Identify(Url(path, scheme).Get(), nullptr);
        FormatInfo info{};
        if (index < 0 || !formats->GetFormat(index, &info))
            return std::string();
        return info.contentType;
    }

    // Straight from the module, past the host's details cache: files change under the tests.
    ApiRef<DetailsApi> Details(const std::string& path, const char* scheme = "file")
    {
        return ApiRef<DetailsApi>::Adopt(
            static_cast<DetailsApi*>(Media()->GetApi(DetailsApi::TypeId, Url(path, scheme).Get())));
    }

    ApiRef<ImageApi> Image(const std::string& path)
    {
        return ApiRef<ImageApi>::Adopt(static_cast<ImageApi*>(Media()->GetApi(ImageApi::TypeId, Url(path).Get())));
    }

    // The picture as the photo grid loads it; raises WinErrorException.
    QImage Picture(const std::string& path, int32_t width, int32_t height, uint32_t option = 0)
    {
        return LoadPicture(Url(path), width, height, option);
    }

    // The last error of a failed load, 0 when it loaded.
    uint32_t PictureError(const std::string& path, int32_t width, int32_t height, uint32_t option = 0)
    {
        try {
            Picture(path, width, height, option);
            return 0;
        } catch (const WinErrorException& error) {
            return error.ErrorCode();
        }
    }

private:
    struct Folder : ModuleFolder {
        Folder()
        {
            AddProgramModule("lumo-cache");
            AddProgramModule("lumo-photos");
            if (std::filesystem::exists(std::string(LUMO_PROGRAM_DIR) + "/lumo-folders.so"))
                AddProgramModule("lumo-folders");
        }
    };

    Folder m_modules;
    HostInternals m_host;
};

// The value of name, "" when the photo lacks it (failing the test on any other error).
inline std::string Value(DetailsApi& details, const char* name)
{
    LumoSetLastError(0);
    const char* value = details.GetValue(name);
    if (!value) {
        EXPECT_EQ(LumoGetLastError(), ERROR_NOT_FOUND) << name;
    }
    return value ? value : "";
}

// Every listed name, checking the enumeration ends with 259.
inline std::vector<std::string> Names(DetailsApi& details)
{
    std::vector<std::string> names;
    for (const char* name = details.GetFirstName(); name; name = details.GetNextName())
        names.emplace_back(name);
    EXPECT_EQ(LumoGetLastError(), ERROR_NO_MORE_ITEMS);
    return names;
}

} // namespace PhotoTest
