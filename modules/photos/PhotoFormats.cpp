#include "PhotoFormats.h"

#include <array>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "PhotoError.h"
#include "PhotoFile.h"
#include "PhotoServices.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

constexpr std::array<PhotoFormat, c_PhotoTypeCount> c_Formats{{
    {"image/jpeg", ".jpg,.jpeg,.jpe,.jfif", "JPEG image", "jpeg"},
    {"image/png", ".png", "PNG image", "png"},
    {"image/gif", ".gif", "GIF image", "gif"},
    {"image/bmp", ".bmp", "Windows BMP image", "bmp"},
    {"image/tiff", ".tif,.tiff", "TIFF image", "tiff"},
    {"image/webp", ".webp", "WebP image", "webp"},
}};

constexpr int32_t c_ClassFormats = LumoModules::MediaClassSupport::c_FormatCount;

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// True when extension (with its dot) is in the comma-separated list.
bool ListHas(std::string_view list, std::string_view extension)
{
    while (!list.empty()) {
        const size_t comma = list.find(',');
        if (EqualIgnoringCase(list.substr(0, comma), extension))
            return true;
        if (comma == list.npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

uint32_t LittleEndian32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

bool IsFolder(const std::string& path)
{
    struct stat info { };
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

const PhotoFormat& FormatOf(PhotoType type)
{
    return c_Formats[size_t(type)];
}

std::optional<PhotoType> TypeOfExtension(std::string_view path)
{
    const std::string_view leaf = LeafOf(path);
    const size_t dot = leaf.rfind('.');
    if (dot == leaf.npos || dot == 0)
        return std::nullopt;
    const std::string_view extension = leaf.substr(dot);
    for (size_t i = 0; i < c_Formats.size(); ++i)
        if (ListHas(c_Formats[i].extensions, extension))
            return PhotoType(i);
    return std::nullopt;
}

std::optional<PhotoType> TypeOfSignature(const uint8_t* head, size_t sizeBytes)
{
    const auto startsWith = [&](const char* magic, size_t length, size_t at = 0) {
        return sizeBytes >= at + length && std::memcmp(head + at, magic, length) == 0;
    };
    if (startsWith("\xFF\xD8\xFF", 3))
        return PhotoType::Jpeg;
    if (startsWith("\x89PNG\r\n\x1A\n", 8))
        return PhotoType::Png;
    if (startsWith("GIF87a", 6) || startsWith("GIF89a", 6))
        return PhotoType::Gif;
    if (startsWith("II*\0", 4) || startsWith("MM\0*", 4))
        return PhotoType::Tiff;
    if (startsWith("RIFF", 4) && startsWith("WEBP", 4, 8))
        return PhotoType::Webp;
    // "BM" alone starts too many texts; the info header's size names the BMP versions.
    if (startsWith("BM", 2) && sizeBytes >= 18) {
        switch (LittleEndian32(head + 14)) {
        case 12:
        case 40:
        case 52:
        case 56:
        case 64:
        case 108:
        case 124:
            return PhotoType::Bmp;
        default:
            break;
        }
    }
    return std::nullopt;
}

std::optional<PhotoType> IdentifyPhoto(const std::string& path, const std::optional<LumoApi::ListedFile>& listed)
{
    if (const std::optional<PhotoType> type = TypeOfExtension(path)) {
        const bool folder = listed ? listed->fileType == LumoApi::c_ListedFolder : IsFolder(path);
        return folder ? std::nullopt : type;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    std::optional<PhotoType> type;
    struct stat info { };
    uint8_t head[32];
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const ssize_t got = pread(fd, head, sizeof head, 0);
        if (got > 0)
            type = TypeOfSignature(head, size_t(got));
    }
    close(fd);
    return type;
}

std::optional<PhotoType> TypeOfContentType(std::string_view contentType)
{
    for (size_t i = 0; i < c_Formats.size(); ++i)
        if (EqualIgnoringCase(c_Formats[i].contentType, contentType))
            return PhotoType(i);
    return std::nullopt;
}

int32_t LUMO_CALL PhotoFormats::GetFormatCount()
{
    return c_ClassFormats + c_PhotoTypeCount;
}

int32_t LUMO_CALL PhotoFormats::GetFormat(int32_t index, FormatInfo* info)
{
    return Guard(0, [&] {
        if (!info)
            throw PhotoError(ERROR_INVALID_PARAMETER);
        if (index >= 0 && index < c_ClassFormats)
            return ClassSupport().GetFormat(index, info);
        if (index < 0 || index >= GetFormatCount())
            throw PhotoError(ERROR_INVALID_INDEX);
        const PhotoFormat& format = c_Formats[size_t(index - c_ClassFormats)];
        info->contentType = format.contentType;
        info->extensions = format.extensions;
        info->description = format.description;
        return 1;
    });
}

int32_t LUMO_CALL PhotoFormats::Identify(UrlApi* url, DataApi*)
{
    return Guard(-1, [&] {
        const int32_t classFormat = ClassSupport().Identify(url);
        if (classFormat >= 0)
            return classFormat;
        std::string path;
        const std::optional<PhotoType> type
            = PathOfPhotoUrl(url, path) ? IdentifyPhoto(path, ClassSupport().Listed(url)) : std::nullopt;
        LumoSetLastError(ERROR_SUCCESS);
        return type ? c_ClassFormats + int32_t(*type) : -1;
    });
}

} // namespace LumoPhotos
