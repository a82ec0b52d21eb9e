// Image items. Their pictures are decoded in host/JpegDecoder.h, kept apart so that a program
// that only lists items does not load the toolkit's imaging library.
#pragma once

#include <cstdint>
#include <string>

#include <lumo/Api.h>
#include <lumo/Image.h>
#include <lumo/Url.h>

#include "host/MediaItem.h"

// An item known to be an image, with its module's "ImageApi".
class Image : public MediaItem {
public:
    // Raises the module's last error when it offers no "ImageApi" for the item.
    explicit Image(LumoApi::ApiRef<LumoApi::UrlApi> url);

    bool IsContainer() override { return false; }
    bool IsAudio() override { return false; }
    bool IsImage() override { return true; }

    LumoApi::ImageApi* Api() const noexcept { return m_image.Get(); }

private:
    LumoApi::ApiRef<LumoApi::ImageApi> m_image;
};
