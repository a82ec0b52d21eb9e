// Image items and the decoding of their pictures.
#pragma once

#include <cstdint>
#include <string>

#include <QImage>

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

// The item's picture, at most width x height (0 x 0: its own size), from the JPEG its module
// delivers; the caller owns it. option is the module's own (0: none is sent). Raises 87 for a
// negative size, the module's last error when it refuses, 13 for a JPEG that does not decode.
QImage LoadPicture(LumoApi::ApiRef<LumoApi::UrlApi> url, int32_t width, int32_t height, uint32_t option);

// The same, once the item's image API is known; name labels the reading stream in the log.
QImage LoadPicture(LumoApi::ImageApi& image, const std::string& name, int32_t width, int32_t height, uint32_t option);
