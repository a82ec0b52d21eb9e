#include "PlaylistDetails.h"

#include <iterator>
#include <optional>

#include "AudioFormats.h"
#include "FileFacts.h"
#include "MusicState.h"
#include "MusicText.h"
#include "PlaylistReader.h"
#include "SongDetails.h"

namespace LumoMusic {

namespace {

enum Stage { c_FromUrl, c_FromFileSystem, c_FromContent };

constexpr PropertyName c_PlaylistNames[] = {
    {"FileName", c_FromUrl},
    {"SourceLocation", c_FromUrl},
    {"ContentType", c_FromFileSystem},
    {"SourceFormat", c_FromFileSystem},
    {"SourceSize", c_FromFileSystem},
    {"CreationDate", c_FromFileSystem},
    {"LastChangeDate", c_FromFileSystem},
    // The number of entries the list names, found or not.
    {"ItemCount", c_FromContent},
};
static_assert(std::size(c_PlaylistNames) <= 64, "ListedDetails keeps a bit per name");

} // namespace

PlaylistDetails::PlaylistDetails(LocalFile playlist, LumoApi::ApiRef<LumoApi::UrlApi> url)
    : ListedDetails(c_PlaylistNames, std::size(c_PlaylistNames)), m_playlist(std::move(playlist)), m_url(std::move(url))
{
}

void PlaylistDetails::LoadStage(int stage)
{
    switch (stage) {
    case c_FromUrl:
        SetValue("FileName", ReadableText(LeafOf(m_playlist.path)));
        SetValue("SourceLocation", ReadableText(m_playlist.path));
        break;
    case c_FromFileSystem: {
        const std::optional<LumoApi::ListedFile> listed = MusicState::Instance().Class().Listed(m_url.Get());
        const FileFacts facts = listed ? FactsOfListing(*listed) : ReadFileFacts(m_playlist.path);
        const bool broken = facts.gone || (facts.known && !facts.regular);
        m_readable = facts.known && facts.regular;
        const char* type = broken ? c_BrokenType : InfoOf(AudioFormat::Playlist).contentType;
        SetValue("ContentType", type);
        SetValue("SourceFormat", type);
        if (m_readable) {
            SetValue("SourceSize", DecimalText(int64_t(facts.sizeBytes)));
            SetValue("CreationDate", DecimalText(facts.creationTime));
            SetValue("LastChangeDate", DecimalText(facts.changeTime));
        }
        break;
    }
    case c_FromContent: {
        RunStage(c_FromFileSystem);
        std::string bytes;
        if (m_readable && ReadPlaylistFile(m_playlist.path, bytes)) {
            const size_t count = ParsePlaylist(bytes, KindOfPlaylist(ExtensionOf(m_playlist.path), bytes)).size();
            SetValue("ItemCount", std::to_string(count));
        }
        break;
    }
    default:
        break;
    }
}

} // namespace LumoMusic
