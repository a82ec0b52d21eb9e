// The "MediaApi" of the module: photos, and the photos class's own items.
#pragma once

#include <lumo/DllSupport.h>
#include <lumo/Media.h>

namespace LumoPhotos {

// Any thread; no state of its own.
class PhotoMedia : public LumoApi::DllRefCounted<LumoApi::MediaApi> {
public:
    // The image types, then the class's container types.
    const char* LUMO_CALL GetContentTypes() override;
    const char* LUMO_CALL GetSecondaryTypes() override;
    // For a photo (a "file" URL, or one with the class prefix): "DetailsApi" and "ImageApi".
    // The class's roots, published set and folder views answer through the class support.
    // Null with 1630 for a URL that is neither, 87 for another type id.
    LumoApi::Api* LUMO_CALL GetApi(const char* type_id, LumoApi::UrlApi* url) override;
};

} // namespace LumoPhotos
