// The media classes ("LumoMusic", "LumoPhotos"): what may be published and what is.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Media.h>
#include <lumo/Url.h>

#include "host/MediaItem.h"

class Module;
class ModuleGroup;

class MediaClass {
public:
    // Builds the containers of both roots; raises when either cannot be built.
    MediaClass(const Module& module, LumoApi::ApiRef<LumoApi::MediaClassApi> api);

    const Module& GetModule() const noexcept { return *m_module; }
    const std::string& Id() const;
    // The media available for publishing.
    Container& FirstRoot() noexcept { return *m_firstRoot; }
    // The published media.
    Container& SecondRoot() noexcept { return *m_secondRoot; }
    LumoApi::MediaClassApi* Interface() const noexcept { return m_api.Get(); }

    // False for a plain "no" (1629); other failures raise.
    bool CanPublish(LumoApi::UrlApi* item) const;
    bool CanUnpublish(LumoApi::UrlApi* item) const;
    // The URL of the new published entry; failures raise.
    LumoApi::ApiRef<LumoApi::UrlApi> Publish(LumoApi::UrlApi* item, const char* text = nullptr) const;
    // The URL of the item the entry stood for; failures raise.
    LumoApi::ApiRef<LumoApi::UrlApi> Unpublish(LumoApi::UrlApi* item) const;

private:
    const Module* m_module;
    std::unique_ptr<Container> m_firstRoot;
    std::unique_ptr<Container> m_secondRoot;
    LumoApi::ApiRef<LumoApi::MediaClassApi> m_api;
};

class MediaClassGroup {
public:
    // A MediaClass for every module with a "MediaClassApi", in module order. Once.
    void Initialize(const ModuleGroup& modules);

    size_t Count() const noexcept { return m_classes.size(); }
    MediaClass& operator[](size_t index) const { return *m_classes.at(index); }
    // The class of the module whose id is id exactly; raises 1168 when none.
    MediaClass& ById(const std::string& id) const;

private:
    std::vector<std::unique_ptr<MediaClass>> m_classes;
};
