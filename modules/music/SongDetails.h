// The "DetailsApi" of a song: file facts, tags and audio properties. A song whose file is gone
// is broken: "ContentType" and "SourceFormat" say "x-application/lumo-broken", and what its URL
// tells (name, location) still shows. A network entry of a playlist has its name, location
// and type only. See ListedDetails for threads.
#pragma once

#include <string>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "AudioFormats.h"
#include "ListedDetails.h"
#include "MusicPaths.h"

namespace LumoMusic {

constexpr const char c_BrokenType[] = "x-application/lumo-broken";

class SongDetails : public ListedDetails {
public:
    // format is the one identification decided. Raises MusicError 87 for a URL that names
    // neither a local file nor anything on the network.
    static LumoApi::ApiRef<LumoApi::DetailsApi> Create(LumoApi::UrlApi* url, AudioFormat format);

private:
    SongDetails(AudioFormat format, bool local, std::string path, std::string location);

    void LoadStage(int stage) override;

    AudioFormat m_format;
    bool m_local;
    // The local path, or the network URL's path.
    std::string m_path;
    // What "SourceLocation" shows: the readable path, or the network URL as it stands.
    std::string m_location;
    bool m_broken = false;
    bool m_regular = false;
};

} // namespace LumoMusic
