// The module's "MediaApi": songs, playlists and the class's own items (roots, published set,
// folders of the music page), which the media-class support answers. Any thread.
#pragma once

#include <lumo/DllSupport.h>
#include <lumo/Media.h>
#include <lumo/Url.h>

namespace LumoMusic {

class MusicMedia : public LumoApi::DllRefCounted<LumoApi::MediaApi> {
public:
    // The audio types, the playlist type and the class's types.
    const char* LUMO_CALL GetContentTypes() override;
    // None.
    const char* LUMO_CALL GetSecondaryTypes() override;
    // "DetailsApi" for songs and playlists, "ContainerApi" for playlists; the class's items
    // through the support. Null with 87 for another type id or a song's "ContainerApi", 1630
    // for an item that is not the module's.
    LumoApi::Api* LUMO_CALL GetApi(const char* type_id, LumoApi::UrlApi* url) override;
};

} // namespace LumoMusic
