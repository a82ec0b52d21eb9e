// The children of one folder, as "file" URLs in the byte order of their names, and news of
// their changes through the module's watcher.
//
// Threads: GetFirst and GetNext from one thread at a time; Cancel from any thread while they
// run; FindChild, Refresh, Subscribe and Unsubscribe from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <lumo/Media.h>
#include <lumo/Module.h>

#include "FolderReader.h"
#include "ModuleServices.h"

namespace LumoFolders {

class FolderContainer : public Counted<LumoApi::ContainerApi> {
public:
    FolderContainer(UrlMaker urls, std::string path);
    ~FolderContainer() override;

    // The folder is read when GetFirst starts; the children are checked one by one as GetNext
    // hands them out, so a cancelled listing of a large folder does no more work than it has to.
    // A folder that cannot be opened fails GetFirst with its system code (2, 3, 5, ...).
    LumoApi::UrlApi* LUMO_CALL GetFirst() override;
    LumoApi::UrlApi* LUMO_CALL GetNext() override;
    // Stops the enumeration under way: its next GetNext answers null with 259. A Cancel before
    // GetFirst has no effect on it.
    int32_t LUMO_CALL Cancel() override;
    // child's URL when it is a visible entry of this folder that the listing would show; null
    // with 1168 otherwise.
    LumoApi::UrlApi* LUMO_CALL FindChild(LumoApi::UrlApi* child) override;
    // Tells the subscribers of this folder what changed about child (null: that the folder as
    // a whole changed), on the watcher thread. 0 with 1168 for a child of another folder.
    int32_t LUMO_CALL Refresh(LumoApi::UrlApi* child) override;
    int32_t LUMO_CALL Subscribe(LumoApi::ContainerCallbackApi* callback, uint8_t flags) override;
    void LUMO_CALL Unsubscribe(LumoApi::ContainerCallbackApi* callback) override;

private:
    LumoApi::UrlApi* NextChild();

    const UrlMaker m_urls;
    const std::string m_path;
    // The URL text of the folder with a "/" after it: each child's text is it and the name.
    const std::string m_childUrlPrefix;
    std::atomic<bool> m_cancel{false};
    // The enumeration under way; used by the enumerating thread only.
    FolderReader m_reader;
    // Shared with the module's memory of recent listings.
    std::shared_ptr<const std::vector<FolderEntry>> m_entries;
    size_t m_next = 0;
};

} // namespace LumoFolders
