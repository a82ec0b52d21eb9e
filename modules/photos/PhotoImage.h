// The "ImageApi" of one photo: its picture at a requested size, kept in the host's cache.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include <lumo/DllSupport.h>
#include <lumo/Image.h>

#include "PhotoFormats.h"
#include "Pixels.h"

namespace LumoPhotos {

// The bits of SetOption; 0 is the default behaviour.
// The picture as stored: the EXIF orientation is not applied (GetWidth and GetHeight then
// answer the stored size too).
constexpr uint32_t c_OptionIgnoreOrientation = 1;
// Always decode the photo itself, never the thumbnail embedded in its EXIF block.
constexpr uint32_t c_OptionNoEmbeddedThumbnail = 2;
// Neither look the picture up in the host's cache nor store it there.
constexpr uint32_t c_OptionBypassCache = 4;
constexpr uint32_t c_KnownOptions = c_OptionIgnoreOrientation | c_OptionNoEmbeddedThumbnail | c_OptionBypassCache;

// A new object per request. Any thread, one at a time.
class PhotoImage : public LumoApi::DllRefCounted<LumoApi::ImageApi> {
public:
    PhotoImage(std::string path, PhotoType type) : m_path(std::move(path)), m_type(type) { }

    // The box the picture must fit (aspect kept, never enlarged); a side of 0 leaves that side
    // free, 0 x 0 asks for the photo's own size. 0 with 87 for a negative side.
    int32_t LUMO_CALL SetSize(int32_t width, int32_t height) override;
    // The c_Option* bits above. 0 with 87 for any other bit.
    int32_t LUMO_CALL SetOption(uint32_t option) override;
    // The photo's size as shown (sides swapped for EXIF orientations 5 to 8), read from the
    // header. 0 with 1168 when the file is gone, 13 when its header cannot be read.
    int32_t LUMO_CALL GetWidth() override;
    int32_t LUMO_CALL GetHeight() override;
    // "image/jpeg" only (else null with 1630): the picture at the set size as a new DataApi.
    // Served from the host's cache when the file's path, size and modification time and the
    // set size and options match an earlier result; a failing cache only costs the time.
    // Null with 13 for a corrupt photo, 1168 when the file is gone, 8 for a photo too large.
    LumoApi::DataApi* LUMO_CALL GetData(const char* content_type) override;

private:
    // The size as shown under the current options; read once.
    Size Shown();

    const std::string m_path;
    const PhotoType m_type;
    Size m_box;
    uint32_t m_option = 0;
    // From the header: the stored size and the EXIF orientation.
    std::optional<std::pair<Size, int>> m_stored;
};

} // namespace LumoPhotos
