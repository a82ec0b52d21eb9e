// The "DetailsApi" of a song: file facts, tags and audio properties. A song whose file is gone
// is broken: "ContentType" and "SourceFormat" say "x-application/lumo-broken", and what its URL
// tells (name, location) still shows. A network entry of a playlist has its name, location
// and type only. See ListedDetails for threads.
#pragma once

#include <string>

#include <lumo/Api.h>
#include <lumo/Listing.h>
#include <lumo/Url.h>

#include "AudioFormats.h"
#include "FileFacts.h"
#include "MusicPaths.h"
#include "support/ListedDetails.h"

namespace LumoMusic {

using LumoModules::ListedDetails;
using LumoModules::PropertyName;

constexpr const char c_BrokenType[] = "x-application/lumo-broken";

class SongDetails : public ListedDetails {
public:
    // format is the one identification decided. Raises MusicError 87 for a URL that names
    // neither a local file nor anything on the network. The file's size and dates come from
    // the listing's record of url when it carries one still fresh when they are first asked
    // for, else from a look at the file.
    static LumoApi::ApiRef<LumoApi::DetailsApi> Create(LumoApi::UrlApi* url, AudioFormat format);
    // The same for the local file identification found url to name (LocalFileOf's answer).
    static LumoApi::ApiRef<LumoApi::DetailsApi> Create(LumoApi::UrlApi* url, AudioFormat format, LocalFile file);

private:
    SongDetails(AudioFormat format, bool local, std::string path, std::string location,
        LumoApi::ApiRef<LumoApi::UrlApi> url = {});

    void LoadStage(int stage) override;

    AudioFormat m_format;
    bool m_local;
    // The local path, or the network URL's path.
    std::string m_path;
    // What "SourceLocation" shows for a network entry: its URL as it stands. A local song's
    // readable path is made when first asked for.
    std::string m_location;
    // The local song's URL, for the record of what its listing saw.
    LumoApi::ApiRef<LumoApi::UrlApi> m_url;
    // From the stage that settles the type, for the one that shows size and dates.
    FileFacts m_facts;
    bool m_broken = false;
    bool m_regular = false;
};

} // namespace LumoMusic
