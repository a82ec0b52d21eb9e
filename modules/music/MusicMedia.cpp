#include "MusicMedia.h"

#include <cstring>
#include <string>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "AudioFormats.h"
#include "Guard.h"
#include "MusicFormat.h"
#include "MusicPaths.h"
#include "MusicState.h"
#include "PlaylistContainer.h"
#include "PlaylistDetails.h"
#include "SongDetails.h"
#include "SongImage.h"

using namespace LumoApi;

namespace LumoMusic {

const char* LUMO_CALL MusicMedia::GetContentTypes()
{
    static const std::string types = [] {
        std::string text = MusicState::Instance().Class().GetContentTypes();
        for (int32_t index = 0; index < c_AudioFormatCount; ++index)
            text += std::string(",") + InfoOf(AudioFormat(index)).contentType;
        return text;
    }();
    return types.c_str();
}

const char* LUMO_CALL MusicMedia::GetSecondaryTypes()
{
    return nullptr;
}

Api* LUMO_CALL MusicMedia::GetApi(const char* type_id, UrlApi* url)
{
    return Guard<Api*>(nullptr, [&]() -> Api* {
        if (!type_id || !url)
            throw MusicError(ERROR_INVALID_PARAMETER);
        LumoModules::MediaClassSupport& support = MusicState::Instance().Class();
        if (support.IsClassItem(url))
            return support.GetApi(type_id, url);
        LocalFile file;
        const std::optional<AudioFormat> format = IdentifyAgain(url, file);
        if (!format)
            throw MusicError(ERROR_UNSUPPORTED_TYPE);

        const bool details = std::strcmp(type_id, DetailsApi::TypeId) == 0;
        const bool container = std::strcmp(type_id, ContainerApi::TypeId) == 0;
        const bool local = !file.path.empty();
        if (*format == AudioFormat::Playlist) {
            if (!local)
                throw MusicError(ERROR_INVALID_PARAMETER);
            if (details)
                return new PlaylistDetails(std::move(file), ApiRef<UrlApi>::Share(url));
            if (container)
                return new PlaylistContainer(std::move(file));
            throw MusicError(ERROR_INVALID_PARAMETER);
        }
        if (details)
            return (local ? SongDetails::Create(url, *format, std::move(file)) : SongDetails::Create(url, *format))
                .Detach();
        if (std::strcmp(type_id, ImageApi::TypeId) == 0) {
            // Only a song that stores a cover has a picture; the others answer "not found".
            LocalFile song;
            SongCover cover;
            if (!LocalFileOf(url, song) || !ReadCover(song.path, *format, cover))
                throw MusicError(ERROR_NOT_FOUND);
            return new SongImage(std::move(cover));
        }
        throw MusicError(ERROR_INVALID_PARAMETER);
    });
}

} // namespace LumoMusic
