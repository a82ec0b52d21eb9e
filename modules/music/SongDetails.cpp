#include "SongDetails.h"

#include <iterator>

#include <lumo/Errors.h>

#include "FileFacts.h"
#include "Guard.h"
#include "MusicState.h"
#include "MusicText.h"
#include "SongReader.h"

using namespace LumoApi;

namespace LumoMusic {

namespace {

// Small stages: a listing asks a song for its name and type alone.
enum Stage { c_FromUrl, c_Location, c_FileType, c_FileFacts, c_FromTags };

constexpr PropertyName c_SongNames[] = {
    {"FileName", c_FromUrl},
    {"SourceLocation", c_Location},
    {"ContentType", c_FileType},
    {"SourceFormat", c_FileType},
    {"SourceSize", c_FileFacts},
    {"CreationDate", c_FileFacts},
    {"LastChangeDate", c_FileFacts},
    {"SongTitle", c_FromTags},
    {"ArtistName", c_FromTags},
    {"AlbumTitle", c_FromTags},
    {"AlbumYear", c_FromTags},
    {"MusicGenre", c_FromTags},
    {"Duration", c_FromTags},
    {"SourceBitRate", c_FromTags},
    {"SourceSampleRate", c_FromTags},
    {"TrackNumber", c_FromTags},
    {"AudioChannels", c_FromTags},
    // "1" when the song stores a picture (its "ImageApi" answers one), "0" when not: asking
    // here spares opening the file again only to find out.
    {"EmbeddedCover", c_FromTags},
};
static_assert(std::size(c_SongNames) <= 64, "ListedDetails keeps a bit per name");

} // namespace

ApiRef<DetailsApi> SongDetails::Create(UrlApi* url, AudioFormat format)
{
    LocalFile file;
    if (LocalFileOf(url, file))
        return Create(url, format, std::move(file));
    const char* text = url ? url->GetText() : nullptr;
    if (!text)
        throw MusicError(ERROR_INVALID_PARAMETER);
    const char* path = url->GetPath();
    std::string networkPath = path ? path : "";
    while (!networkPath.empty() && networkPath.back() == '/')
        networkPath.pop_back();
    if (networkPath.empty()) {
        const char* host = url->GetHost();
        networkPath = host ? host : "";
    }
    return ApiRef<DetailsApi>::Adopt(new SongDetails(format, false, std::move(networkPath), ReadableText(text)));
}

ApiRef<DetailsApi> SongDetails::Create(UrlApi* url, AudioFormat format, LocalFile file)
{
    return ApiRef<DetailsApi>::Adopt(
        new SongDetails(format, true, std::move(file.path), std::string(), ApiRef<UrlApi>::Share(url)));
}

SongDetails::SongDetails(AudioFormat format, bool local, std::string path, std::string location, ApiRef<UrlApi> url)
    : ListedDetails(c_SongNames, std::size(c_SongNames)),
      m_format(format),
      m_local(local),
      m_path(std::move(path)),
      m_location(std::move(location)),
      m_url(std::move(url))
{
}

void SongDetails::LoadStage(int stage)
{
    switch (stage) {
    case c_FromUrl:
        SetValue("FileName", ReadableText(std::string_view(m_path).substr(m_path.rfind('/') + 1)));
        break;
    case c_Location:
        SetValue("SourceLocation", m_local ? ReadableText(m_path) : m_location);
        break;
    case c_FileType: {
        const char* type = InfoOf(m_format).contentType;
        if (m_local) {
            const std::optional<ListedFile> listed = MusicState::Instance().Class().Listed(m_url.Get());
            m_facts = listed ? FactsOfListing(*listed) : ReadFileFacts(m_path);
            // Something else under the song's name (a folder left where the file was) is no
            // more the song than nothing is.
            m_broken = m_facts.gone || (m_facts.known && !m_facts.regular);
            m_regular = m_facts.known && m_facts.regular;
            if (m_broken)
                type = c_BrokenType;
        }
        SetValue("ContentType", type);
        SetValue("SourceFormat", type);
        break;
    }
    case c_FileFacts:
        RunStage(c_FileType);
        if (m_regular) {
            SetValue("SourceSize", DecimalText(int64_t(m_facts.sizeBytes)));
            SetValue("CreationDate", DecimalText(m_facts.creationTime));
            SetValue("LastChangeDate", DecimalText(m_facts.changeTime));
        }
        break;
    case c_FromTags: {
        RunStage(c_FileType);
        if (!m_local || m_broken)
            break;
        SongInfo info;
        if (!ReadSong(m_path, m_format, info))
            break;
        SetValue("SongTitle", std::move(info.title));
        SetValue("ArtistName", std::move(info.artist));
        SetValue("AlbumTitle", std::move(info.album));
        SetValue("AlbumYear", info.year ? std::to_string(info.year) : std::string());
        SetValue("MusicGenre", std::move(info.genre));
        SetValue("Duration", info.durationMs > 0 ? std::to_string(info.durationMs) : std::string());
        SetValue("SourceBitRate", BitRateText(info.bitRateKbps));
        SetValue("SourceSampleRate", SampleRateText(info.sampleRateHz));
        SetValue("TrackNumber", info.trackNumber ? std::to_string(info.trackNumber) : std::string());
        SetValue("AudioChannels", info.channels > 0 ? std::to_string(info.channels) : std::string());
        SetValue("EmbeddedCover", info.hasCover ? "1" : "0");
        break;
    }
    default:
        break;
    }
}

} // namespace LumoMusic
