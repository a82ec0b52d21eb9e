#include "MusicFormat.h"

#include <cstring>
#include <string>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "Guard.h"
#include "MusicPaths.h"
#include "MusicState.h"
#include "MusicText.h"

using namespace LumoApi;

namespace LumoMusic {

namespace {

// Schemes whose items live on the network: a playlist may name them, nothing can read them.
constexpr std::string_view c_NetworkSchemes[]
    = {"http", "https", "ftp", "ftps", "mms", "mmsh", "mmst", "rtsp", "rtmp", "rtp", "udp", "smb", "sftp", "file"};

bool IsNetworkScheme(const char* scheme)
{
    if (!scheme)
        return false;
    for (std::string_view network : c_NetworkSchemes) {
        if (EqualsIgnoringAsciiCase(scheme, network))
            return true;
    }
    return false;
}

std::optional<AudioFormat> IdentifyNetworkItem(UrlApi* url)
{
    const char* path = url->GetPath();
    const std::string extension = ExtensionOf(path ? path : "");
    if (const std::optional<AudioFormat> format = FormatOfExtension(extension))
        return *format == AudioFormat::Playlist ? AudioFormat::Stream : *format;
    if (!extension.empty() && MusicState::Instance().IsOtherFormatsExtension(extension))
        return std::nullopt;
    return AudioFormat::Stream;
}

// This thread's last identification by Identify. The URL text tells a URL object that was
// changed, or freed and made again at the same address.
struct LastIdentified {
    const UrlApi* url = nullptr;
    std::string text;
    std::optional<AudioFormat> format;
    LocalFile file;
};

thread_local LastIdentified t_last;

} // namespace

std::optional<AudioFormat> IdentifyItem(UrlApi* url)
{
    LocalFile file;
    return IdentifyItem(url, file);
}

std::optional<AudioFormat> IdentifyAgain(UrlApi* url, LocalFile& file)
{
    LastIdentified& last = t_last;
    if (url && url == last.url) {
        last.url = nullptr;
        const char* text = url->GetText();
        if (text && last.text == text) {
            file = std::move(last.file);
            return last.format;
        }
    }
    return IdentifyItem(url, file);
}

std::optional<AudioFormat> IdentifyItem(UrlApi* url, LocalFile& file)
{
    file = LocalFile();
    if (!url)
        return std::nullopt;
    if (!LocalFileOf(url, file))
        return IsNetworkScheme(url->GetScheme()) ? IdentifyNetworkItem(url) : std::nullopt;
    const std::string extension = ExtensionOf(file.path);
    if (const std::optional<AudioFormat> format = FormatOfExtension(extension))
        return format;
    if (!extension.empty() && MusicState::Instance().IsOtherFormatsExtension(extension))
        return std::nullopt;
    // Only a regular file's bytes are sniffed: what the listing saw to be something else (a
    // folder without an extension, most often) is settled without opening it.
    if (const std::optional<ListedFile> listed = MusicState::Instance().Class().Listed(url);
        listed && listed->fileType != c_ListedRegular)
        return std::nullopt;
    return SniffPath(file.path);
}

int32_t FormatIndexOf(AudioFormat format)
{
    return LumoModules::MediaClassSupport::c_FormatCount + int32_t(format);
}

int32_t LUMO_CALL MusicFormat::GetFormatCount()
{
    return LumoModules::MediaClassSupport::c_FormatCount + c_AudioFormatCount;
}

int32_t LUMO_CALL MusicFormat::GetFormat(int32_t index, FormatInfo* info)
{
    return Guard(0, [&]() -> int32_t {
        if (index < 0 || index >= GetFormatCount())
            throw MusicError(ERROR_INVALID_INDEX);
        if (!info)
            throw MusicError(ERROR_INVALID_PARAMETER);
        if (index < LumoModules::MediaClassSupport::c_FormatCount)
            return MusicState::Instance().Class().GetFormat(index, info);
        const AudioFormatInfo& format = InfoOf(AudioFormat(index - LumoModules::MediaClassSupport::c_FormatCount));
        info->contentType = format.contentType;
        info->extensions = format.extensions;
        info->description = format.description;
        return 1;
    });
}

int32_t LUMO_CALL MusicFormat::Identify(UrlApi* url, DataApi* /*data*/)
{
    return Guard(-1, [&]() -> int32_t {
        if (!url)
            throw MusicError(ERROR_INVALID_PARAMETER);
        // Asked once: the class and the memo below both want it.
        const char* text = url->GetText();
        const int32_t classIndex = MusicState::Instance().Class().Identify(url, text);
        if (classIndex >= 0)
            return classIndex;
        LocalFile file;
        const std::optional<AudioFormat> format = IdentifyItem(url, file);
        LastIdentified& last = t_last;
        last.url = text ? url : nullptr;
        last.text = text ? text : "";
        last.format = format;
        last.file = std::move(file);
        LumoSetLastError(ERROR_SUCCESS);
        return format ? FormatIndexOf(*format) : -1;
    });
}

} // namespace LumoMusic
