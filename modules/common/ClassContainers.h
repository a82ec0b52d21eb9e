// The class's own items: the two roots' containers and the details of the roots and of
// prefixed folders.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <lumo/DllSupport.h>
#include <lumo/Lumo.h>

#include "MediaClassState.h"

namespace LumoModules {

// The first root: the class's user folder, home and the volumes, as prefixed folder URLs,
// read afresh at every GetFirst. It does not notify (the page never subscribes it).
class RootsContainer : public LumoApi::DllRefCounted<LumoApi::ContainerApi> {
public:
    explicit RootsContainer(std::shared_ptr<MediaClassState> state) : m_state(std::move(state)) { }

    LumoApi::UrlApi* LUMO_CALL GetFirst() override;
    LumoApi::UrlApi* LUMO_CALL GetNext() override;
    int32_t LUMO_CALL Cancel() override { return 1; }
    LumoApi::UrlApi* LUMO_CALL FindChild(LumoApi::UrlApi* child) override;
    int32_t LUMO_CALL Refresh(LumoApi::UrlApi* child) override;
    int32_t LUMO_CALL Subscribe(LumoApi::ContainerCallbackApi* callback, uint8_t flags) override;
    void LUMO_CALL Unsubscribe(LumoApi::ContainerCallbackApi*) override { }

    // The prefixed URL texts of the roots, in order.
    static std::vector<std::string> ChildTexts(MediaClassState& state);

private:
    const std::shared_ptr<MediaClassState> m_state;
    std::vector<std::string> m_children;
    size_t m_next = 0;
};

// The second root: the published set in publishing order. Its subscribers hear of every
// change, whoever made it, through the class's watcher.
class PublishedContainer : public LumoApi::DllRefCounted<LumoApi::ContainerApi> {
public:
    explicit PublishedContainer(std::shared_ptr<MediaClassState> state) : m_state(std::move(state)) { }
    // Unsubscribes whatever the owner left subscribed.
    ~PublishedContainer() override;

    LumoApi::UrlApi* LUMO_CALL GetFirst() override;
    LumoApi::UrlApi* LUMO_CALL GetNext() override;
    int32_t LUMO_CALL Cancel() override { return 1; }
    LumoApi::UrlApi* LUMO_CALL FindChild(LumoApi::UrlApi* child) override;
    int32_t LUMO_CALL Refresh(LumoApi::UrlApi* child) override;
    int32_t LUMO_CALL Subscribe(LumoApi::ContainerCallbackApi* callback, uint8_t flags) override;
    void LUMO_CALL Unsubscribe(LumoApi::ContainerCallbackApi* callback) override;

private:
    const std::shared_ptr<MediaClassState> m_state;
    std::vector<std::string> m_children;
    size_t m_next = 0;
    // Guards m_subscribers.
    std::mutex m_lock;
    std::vector<LumoApi::ContainerCallbackApi*> m_subscribers;
};

// The "DetailsApi" or "ContainerApi" of a class item of the given format: a new reference.
// Raises ClassError on failure.
LumoApi::Api* CreateClassDetails(
    const std::shared_ptr<MediaClassState>& state, const std::string& urlText, int32_t format);
LumoApi::Api* CreateClassContainer(
    const std::shared_ptr<MediaClassState>& state, const std::string& urlText, int32_t format);

} // namespace LumoModules
