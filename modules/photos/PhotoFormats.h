// The image formats of the module, and the "FormatApi" that names them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <lumo/DllSupport.h>
#include <lumo/Listing.h>
#include <lumo/Media.h>

namespace LumoPhotos {

enum class PhotoType { Jpeg, Png, Gif, Bmp, Tiff, Webp };
constexpr int32_t c_PhotoTypeCount = 6;

struct PhotoFormat {
    // The shared-mime-info names, so they merge with the system's own types.
    const char* contentType;
    const char* extensions;
    const char* description;
    // The format name Qt's image reader knows.
    const char* qtFormat;
};

const PhotoFormat& FormatOf(PhotoType type);

// By the path's extension, ignoring case; no file is touched.
std::optional<PhotoType> TypeOfExtension(std::string_view path);
// By the signature at the start of the file.
std::optional<PhotoType> TypeOfSignature(const uint8_t* head, size_t sizeBytes);
// By the extension, else by the signature read from the file's head. A folder is no photo;
// a missing file with a photo's extension still is one (it shows as broken). listed: what the
// listing saw of the file (lumo/Listing.h), which spares a look at it. Any thread.
std::optional<PhotoType> IdentifyPhoto(
    const std::string& path, const std::optional<LumoApi::ListedFile>& listed = std::nullopt);
// By content type, ignoring case.
std::optional<PhotoType> TypeOfContentType(std::string_view contentType);

// The photos class's formats first (MediaClassSupport's indexes), then the module's own.
// Any thread; no state.
class PhotoFormats : public LumoApi::DllRefCounted<LumoApi::FormatApi> {
public:
    int32_t LUMO_CALL GetFormatCount() override;
    // 0 with 1413 for a bad index.
    int32_t LUMO_CALL GetFormat(int32_t index, LumoApi::FormatInfo* info) override;
    // The class's own items, then photos by extension, then by signature; -1 with last error
    // 0 otherwise. Never reads data (the host's view of the whole file): at most one pread
    // of the head, and only when the name does not settle the type.
    int32_t LUMO_CALL Identify(LumoApi::UrlApi* url, LumoApi::DataApi* data) override;
};

} // namespace LumoPhotos
