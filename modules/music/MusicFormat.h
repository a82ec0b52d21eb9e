// The module's "FormatApi": the class's formats first, then songs and playlists. Identify is
// called on the interface thread and on enumeration threads at once; it keeps only its thread's
// last answer, for IdentifyAgain.
#pragma once

#include <optional>

#include <lumo/DllSupport.h>
#include <lumo/Media.h>
#include <lumo/Url.h>

#include "AudioFormats.h"
#include "MusicPaths.h"

namespace LumoMusic {

// The module's format of an item other than the class's own, as Identify decides it:
// - a local file ("file" or "lumomusic-file"): by its extension without touching the disk; a
//   name no format claims (or none at all) is sniffed from the file's first bytes; an
//   extension another format claims settles it as not ours;
// - a network URL (a playlist's "http://…" entry): a song by its extension, else a stream.
// Folders never pass: sniffing refuses anything but a regular file.
std::optional<AudioFormat> IdentifyItem(LumoApi::UrlApi* url);
// The same, keeping the local file it found (file.path empty for a network URL), so that whoever
// goes on to make the item need not work it out of the URL again.
std::optional<AudioFormat> IdentifyItem(LumoApi::UrlApi* url, LocalFile& file);

// IdentifyItem(url, file), reusing what this thread's last Identify found for the same URL
// text: the host identifies an item and then, on the same thread, asks for its API.
std::optional<AudioFormat> IdentifyAgain(LumoApi::UrlApi* url, LocalFile& file);

// The index of format in the module's FormatApi.
int32_t FormatIndexOf(AudioFormat format);

class MusicFormat : public LumoApi::DllRefCounted<LumoApi::FormatApi> {
public:
    int32_t LUMO_CALL GetFormatCount() override;
    // 0 with 1413 for a bad index, 87 for a null info.
    int32_t LUMO_CALL GetFormat(int32_t index, LumoApi::FormatInfo* info) override;
    // The index, or -1 with last error 0 when the item is not the module's. data is not used:
    // reading it would read the whole file, and 64 bytes of its head are enough.
    int32_t LUMO_CALL Identify(LumoApi::UrlApi* url, LumoApi::DataApi* data) override;
};

} // namespace LumoMusic
