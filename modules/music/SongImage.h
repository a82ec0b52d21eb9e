// The cover stored in a song, handed out as the song's "ImageApi". The picture comes as the
// tag stores it: GetData answers it for its own type only, and SetSize is accepted but not
// applied (this module has no image codec); a caller that needs another size scales it.
#pragma once

#include <lumo/DllSupport.h>
#include <lumo/Image.h>

#include "SongReader.h"

namespace LumoMusic {

// Any thread; the picture never changes once read.
class SongImage : public LumoApi::DllRefCounted<LumoApi::ImageApi> {
public:
    explicit SongImage(SongCover cover) : m_cover(std::move(cover)) { }

    int32_t LUMO_CALL SetSize(int32_t width, int32_t height) override;
    // Only 0: no option is known.
    int32_t LUMO_CALL SetOption(uint32_t option) override;
    // 0 with 50 (not supported): the size is not read.
    int32_t LUMO_CALL GetWidth() override;
    int32_t LUMO_CALL GetHeight() override;
    // The stored picture when content_type is its type ("image/jpeg", "image/png"), else null
    // with 1630.
    LumoApi::DataApi* LUMO_CALL GetData(const char* content_type) override;

private:
    const SongCover m_cover;
};

} // namespace LumoMusic
