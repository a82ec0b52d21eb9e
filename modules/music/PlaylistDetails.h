// The "DetailsApi" of a playlist: its file's facts and the number of its entries. A playlist
// whose file is gone is broken. See ListedDetails for threads.
#pragma once

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "MusicPaths.h"
#include "support/ListedDetails.h"

namespace LumoMusic {

using LumoModules::ListedDetails;
using LumoModules::PropertyName;

class PlaylistDetails : public ListedDetails {
public:
    // url: the playlist's URL, for its listing's record; may be null.
    PlaylistDetails(LocalFile playlist, LumoApi::ApiRef<LumoApi::UrlApi> url);

private:
    void LoadStage(int stage) override;

    const LocalFile m_playlist;
    const LumoApi::ApiRef<LumoApi::UrlApi> m_url;
    bool m_readable = false;
};

} // namespace LumoMusic
