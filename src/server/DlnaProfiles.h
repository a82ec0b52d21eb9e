// Which DLNA media format profile a served file carries, and the protocol info the server
// lists as its source formats. Strict players play only what carries a profile they know;
// the rest is offered without one, which lenient players accept.
#pragma once

#include <string>
#include <vector>

struct ServedFormat {
    // The MIME type sent in protocol info and Content-Type.
    std::string mime;
    // "MP3", "JPEG_LRG", ...; empty for formats DLNA names no profile for.
    std::string profile;
};

// The MIME type players expect for a type the modules name ("audio/x-flac" and
// "audio/flac" both become "audio/flac"); unknown types pass unchanged.
std::string ServedMime(const std::string& contentType);

// The profile of a song; 0 for what is not known. Empty when no profile fits.
std::string AudioProfile(const std::string& mime, int sampleRateHz, int channels, int bitRateKbps);
// The profile of a picture of width x height pixels; 0 x 0 when the size is not known.
std::string ImageProfile(const std::string& mime, int width, int height);

// Every format the server may send, each once: the Source of GetProtocolInfo.
const std::vector<ServedFormat>& ServedFormats();
// The GetProtocolInfo Source text: "http-get:*:audio/mpeg:DLNA.ORG_PN=MP3,...".
std::string SourceProtocolInfo();

// The largest size of a JPEG_TN (160 x 160) and a JPEG_SM (640 x 480) picture.
constexpr int c_ThumbnailSide = 160;
constexpr int c_SmallWidth = 640;
constexpr int c_SmallHeight = 480;
