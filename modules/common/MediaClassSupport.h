// What the music and photos modules share: a media class's two roots, its filtered folder
// views and its published set. A module keeps one MediaClassSupport, answers the class's own
// URLs through it and hands out its MediaClassApi. The URL schemes and the database are
// described in modules/README.md.
//
// Every member may be called on any thread once the object is constructed; none throws.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <lumo/Lumo.h>

namespace LumoModules {

struct MediaClassConfig {
    // The media class, also the module id: "LumoMusic".
    std::string classId;
    // Lower-case scheme of the class's own URLs: "lumomusic". Folders on the class's page carry
    // the prefix "<scheme>-" in front of their own scheme: "lumomusic-file:///home/me/Music".
    std::string scheme;
    // The XDG user folder listed first among the roots, as "SpecialFolderType" names it:
    // "music" reads XDG_MUSIC_DIR, "pictures" XDG_PICTURES_DIR.
    std::string specialFolder;
    // Comma-separated content-type patterns of the class's media, as the host matches them:
    // "audio/*,x-container/lumomusic-playlist". Folders are not listed here; they show when
    // they hold such media somewhere below.
    std::string filter;
    // Readable names of the two roots: "Music", "Published music".
    std::string rootsTitle;
    std::string publishedTitle;

    // Left empty outside tests.
    // Mount table read for the removable and network volumes; empty: /proc/self/mountinfo.
    std::string mountInfoPath;
    // The published-set database; empty: "$XDG_DATA_HOME/Lumo Desktop/Published.db".
    std::string databasePath;
    // How often the published set is checked for other processes' changes while subscribed.
    int32_t pollIntervalMs = 500;
};

class MediaClassState;

class MediaClassSupport {
public:
    // Indexes of the class's formats for GetFormat and Identify.
    static constexpr int32_t c_RootsFormat = 0;
    static constexpr int32_t c_PublishedFormat = 1;
    static constexpr int32_t c_FolderFormat = 2;
    static constexpr int32_t c_FormatCount = 3;

    explicit MediaClassSupport(MediaClassConfig config);
    // Detaches: objects handed out earlier stay valid but fail with last error 1.
    ~MediaClassSupport();
    MediaClassSupport(const MediaClassSupport&) = delete;
    MediaClassSupport& operator=(const MediaClassSupport&) = delete;

    // From ModuleApi::Initialize. host and module are borrowed: module is the module's own
    // ModuleApi, passed with a reference of its own on every host request; call Detach
    // before either goes away. Nonzero on success; 0 with a last error.
    int32_t Initialize(LumoApi::HostProgramApi* host, LumoApi::ModuleApi* module);
    // From the module object's destructor: forgets host and module, stops the watcher of the
    // published set. Later host requests of the objects handed out fail with last error 1.
    void Detach();

    const MediaClassConfig& Config() const;

    // The class's formats, for the module's FormatApi (put them before the module's own):
    // "x-container/<scheme>-roots", "x-container/<scheme>-published",
    // "x-container/<scheme>-folder", with no extensions. Texts live as long as this object.
    // GetFormat answers 0 with 1413 for a bad index.
    int32_t GetFormatCount() const { return c_FormatCount; }
    int32_t GetFormat(int32_t index, LumoApi::FormatInfo* info) const;
    // Index of the class format of url (borrowed), or -1 with last error 0: the roots,
    // the published set, and a prefixed URL whose unprefixed form is a directory (or a
    // published folder that vanished). Any other prefixed URL answers -1, so the module's
    // own formats decide it. Call this first in the module's Identify.
    int32_t Identify(LumoApi::UrlApi* url) const;
    // The same when the caller holds url's text already (url->GetText(), may be null).
    int32_t Identify(LumoApi::UrlApi* url, const char* text) const;

    // The three content types above, comma-separated, to add to the module's
    // MediaApi::GetContentTypes list.
    const char* GetContentTypes() const;
    // True when the content type is one of the three (ignoring case).
    bool HandlesContentType(const char* contentType) const;
    // True when Identify places url.
    bool IsClassItem(LumoApi::UrlApi* url) const;

    // For MediaApi::GetApi of a class item: "DetailsApi" or "ContainerApi", a new reference.
    // Null with 1630 for a URL that is not a class item (the module's own items), 87 for
    // another type id, or another last error on failure.
    LumoApi::Api* GetApi(const char* typeId, LumoApi::UrlApi* url);

    // The class's MediaClassApi: a new reference. Hand it out from the module's
    // "MediaClassApi" request.
    LumoApi::MediaClassApi* CreateMediaClassApi();

    // url (borrowed) with the class prefix taken off its scheme ("lumomusic-file:///a.mp3"
    // gives "file:///a.mp3"), or url itself (a new reference of it) when it carries none.
    // Null with a last error when no URL can be made. Media modules answer a prefixed URL as
    // its unprefixed form through this.
    LumoApi::ApiRef<LumoApi::UrlApi> StripClassPrefix(LumoApi::UrlApi* url) const;
    // What the listing that handed out url saw of its file, when the host keeps such a record
    // and it is fresh (lumo/Listing.h); nothing otherwise, and the module looks for itself.
    std::optional<LumoApi::ListedFile> Listed(LumoApi::UrlApi* url) const;
    // A new host URL with the given text; null with a last error.
    LumoApi::ApiRef<LumoApi::UrlApi> NewUrl(const std::string& text) const;

private:
    std::shared_ptr<MediaClassState> m_state;
};

// The text without the class prefix: StripClassPrefix("lumomusic-file:///a", "lumomusic")
// is "file:///a"; a text without "<scheme>-" in front comes back unchanged.
std::string StripClassPrefix(std::string_view urlText, std::string_view scheme);
// True when urlText's scheme begins with "<scheme>-".
bool HasClassPrefix(std::string_view urlText, std::string_view scheme);

} // namespace LumoModules
