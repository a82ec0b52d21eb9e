// The "DetailsApi" of a playlist: its file's facts and the number of its entries. A playlist
// whose file is gone is broken. See ListedDetails for threads.
#pragma once

#include <lumo/Api.h>

#include "ListedDetails.h"
#include "MusicPaths.h"

namespace LumoMusic {

class PlaylistDetails : public ListedDetails {
public:
    explicit PlaylistDetails(LocalFile playlist);

private:
    void LoadStage(int stage) override;

    const LocalFile m_playlist;
    bool m_readable = false;
};

} // namespace LumoMusic
