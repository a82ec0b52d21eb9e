// The MediaClassApi of a class: its two roots and publishing on the published set.
#pragma once

#include <memory>

#include <lumo/DllSupport.h>
#include <lumo/Lumo.h>

#include "MediaClassState.h"

namespace LumoModules {

// Any thread. An item is publishable when it is a local folder, or a local file whose content
// type is the class's media, named with or without the class prefix, and not yet published.
// Entries are stored and answered with the prefix.
class MediaClassObject : public LumoApi::DllRefCounted<LumoApi::MediaClassApi> {
public:
    explicit MediaClassObject(std::shared_ptr<MediaClassState> state) : m_state(std::move(state)) { }

    LumoApi::UrlApi* LUMO_CALL GetFirstRoot() override;
    LumoApi::UrlApi* LUMO_CALL GetSecondRoot() override;
    // 0 with 1629 for an item of another kind, one that is not there, or one already published.
    int32_t LUMO_CALL CanPublish(LumoApi::UrlApi* item) override;
    // 0 with 1629 for an item not in the set.
    int32_t LUMO_CALL CanUnpublish(LumoApi::UrlApi* item) override;
    // Answers the entry's URL. Fails with 1629 for an item of another kind, 2 for one that is
    // not there, 183 for one already published (publishing it again would let an undo take
    // away an entry this command did not make).
    LumoApi::UrlApi* LUMO_CALL Publish(LumoApi::UrlApi* item, const char* text) override;
    // Answers the removed entry's URL; fails with 1168 for an item not in the set.
    LumoApi::UrlApi* LUMO_CALL Unpublish(LumoApi::UrlApi* item) override;

private:
    const std::shared_ptr<MediaClassState> m_state;
};

} // namespace LumoModules
