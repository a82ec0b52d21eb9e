#include "server/DlnaProfiles.h"

#include <algorithm>
#include <cstring>

namespace {

struct MimeAlias {
    const char* from;
    const char* to;
};

// Several names are in use for one format; players know the first of each.
constexpr MimeAlias c_Aliases[] = {
    {"audio/mp3", "audio/mpeg"},
    {"audio/x-mp3", "audio/mpeg"},
    {"audio/x-mpeg", "audio/mpeg"},
    {"audio/x-flac", "audio/flac"},
    {"audio/x-m4a", "audio/mp4"},
    {"audio/m4a", "audio/mp4"},
    {"audio/aac", "audio/vnd.dlna.adts"},
    {"audio/x-aac", "audio/vnd.dlna.adts"},
    {"audio/wav", "audio/x-wav"},
    {"audio/vnd.wave", "audio/x-wav"},
    {"audio/x-vorbis+ogg", "audio/ogg"},
    {"audio/x-opus+ogg", "audio/ogg"},
    {"audio/vorbis", "audio/ogg"},
    {"audio/x-ms-wma", "audio/x-ms-wma"},
    {"audio/x-aiff", "audio/aiff"},
    {"image/jpg", "image/jpeg"},
    {"image/pjpeg", "image/jpeg"},
    {"image/x-png", "image/png"},
    {"image/x-ms-bmp", "image/bmp"},
};

bool Fits(int width, int height, int maxWidth, int maxHeight)
{
    return width > 0 && height > 0 && width <= maxWidth && height <= maxHeight;
}

} // namespace

std::string ServedMime(const std::string& contentType)
{
    std::string mime = contentType;
    std::transform(mime.begin(), mime.end(), mime.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const MimeAlias& alias : c_Aliases) {
        if (mime == alias.from)
            return alias.to;
    }
    return mime;
}

std::string AudioProfile(const std::string& mime, int sampleRateHz, int channels, int bitRateKbps)
{
    if (mime == "audio/mpeg") {
        // MP3 covers MPEG-1 Layer 3 (32, 44.1 and 48 kHz) in mono or stereo up to 320 kbps;
        // the lower rates of MPEG-2 are MP3X.
        const bool rateFits
            = sampleRateHz == 0 || sampleRateHz == 32000 || sampleRateHz == 44100 || sampleRateHz == 48000;
        const bool channelsFit = channels == 0 || channels <= 2;
        const bool bitRateFits = bitRateKbps == 0 || bitRateKbps <= 320;
        if (rateFits && channelsFit && bitRateFits)
            return "MP3";
        if (channelsFit && (sampleRateHz == 16000 || sampleRateHz == 22050 || sampleRateHz == 24000))
            return "MP3X";
        return std::string();
    }
    if (mime == "audio/mp4") {
        // Apple Lossless shares the container; AAC stays far below its rates.
        if (bitRateKbps > 576 || channels > 2 || sampleRateHz > 48000)
            return std::string();
        return bitRateKbps > 0 && bitRateKbps <= 320 ? "AAC_ISO_320" : "AAC_ISO";
    }
    if (mime == "audio/vnd.dlna.adts") {
        if (bitRateKbps > 576 || channels > 2 || sampleRateHz > 48000)
            return std::string();
        return bitRateKbps > 0 && bitRateKbps <= 320 ? "AAC_ADTS_320" : "AAC_ADTS";
    }
    if (mime.rfind("audio/L16", 0) == 0)
        return "LPCM";
    return std::string();
}

std::string ImageProfile(const std::string& mime, int width, int height)
{
    if (mime == "image/jpeg") {
        if (Fits(width, height, c_ThumbnailSide, c_ThumbnailSide))
            return "JPEG_TN";
        if (Fits(width, height, c_SmallWidth, c_SmallHeight))
            return "JPEG_SM";
        if (Fits(width, height, 1024, 768))
            return "JPEG_MED";
        // A size the modules could not read is most likely a camera's: large.
        if (Fits(width, height, 4096, 4096) || (width <= 0 && height <= 0))
            return "JPEG_LRG";
        return std::string();
    }
    if (mime == "image/png") {
        if (Fits(width, height, c_ThumbnailSide, c_ThumbnailSide))
            return "PNG_TN";
        if (Fits(width, height, 4096, 4096) || (width <= 0 && height <= 0))
            return "PNG_LRG";
        return std::string();
    }
    return std::string();
}

const std::vector<ServedFormat>& ServedFormats()
{
    static const std::vector<ServedFormat> formats = {
        {"audio/mpeg", "MP3"},
        {"audio/mpeg", "MP3X"},
        {"audio/mp4", "AAC_ISO_320"},
        {"audio/mp4", "AAC_ISO"},
        {"audio/vnd.dlna.adts", "AAC_ADTS_320"},
        {"audio/vnd.dlna.adts", "AAC_ADTS"},
        {"audio/L16;rate=44100;channels=2", "LPCM"},
        {"audio/L16;rate=48000;channels=2", "LPCM"},
        {"image/jpeg", "JPEG_LRG"},
        {"image/jpeg", "JPEG_MED"},
        {"image/jpeg", "JPEG_SM"},
        {"image/jpeg", "JPEG_TN"},
        {"image/png", "PNG_LRG"},
        {"image/png", "PNG_TN"},
        {"audio/mpeg", ""},
        {"audio/mp4", ""},
        {"audio/flac", ""},
        {"audio/ogg", ""},
        {"audio/x-wav", ""},
        {"audio/aiff", ""},
        {"audio/x-ms-wma", ""},
        {"audio/x-musepack", ""},
        {"audio/x-wavpack", ""},
        {"audio/x-ape", ""},
        {"image/jpeg", ""},
        {"image/png", ""},
        {"image/gif", ""},
        {"image/webp", ""},
        {"image/bmp", ""},
        {"image/tiff", ""},
    };
    return formats;
}

std::string SourceProtocolInfo()
{
    std::string text;
    for (const ServedFormat& format : ServedFormats()) {
        if (!text.empty())
            text += ',';
        text += "http-get:*:" + format.mime + ':';
        text += format.profile.empty() ? "*" : "DLNA.ORG_PN=" + format.profile;
    }
    return text;
}
