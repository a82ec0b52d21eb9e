// A module's road to the host's "ListedFileApi": reading what a folder listing saw of an item
// instead of asking the file system again, and attaching such a record to a URL made for the
// same file. With an older host, that lacks the service, every read misses and the module looks
// at the file itself. Nothing here throws.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include <lumo/Lumo.h>

namespace LumoModules {

class ListedFacts {
public:
    // Asks host (borrowed) for the service; module is passed with a reference of its own. The
    // service is the host's and stays valid while the host holds the module. Any thread.
    void Attach(LumoApi::HostProgramApi* host, LumoApi::ModuleApi* module) noexcept;
    void Detach() noexcept;
    // True when the host keeps records.
    bool Available() const noexcept { return m_api.load(std::memory_order_acquire) != nullptr; }

    // url's record when the host keeps one for it, attached within c_ListedFileFreshMs and
    // reaching past every field of this version; nothing otherwise. Any thread.
    std::optional<LumoApi::ListedFile> Read(LumoApi::UrlApi* url) const noexcept;
    // Attaches record to url, a URL made by the caller and not handed out yet. False when the
    // host has no such service or url carries a record already. Any thread.
    bool Attach(LumoApi::UrlApi* url, const LumoApi::ListedFile& record) const noexcept;

private:
    std::atomic<LumoApi::ListedFileApi*> m_api{nullptr};
};

// Whole seconds of a record's nanoseconds, rounded down as a stat's seconds are for times
// before 1970 too.
inline int64_t WholeSeconds(int64_t nanoseconds) noexcept
{
    const int64_t seconds = nanoseconds / 1000000000;
    return nanoseconds % 1000000000 < 0 ? seconds - 1 : seconds;
}

// A record of path as statx sees it, symbolic links followed; nothing when it cannot be looked
// at. The readable flag is left unset: the caller did not judge it.
std::optional<LumoApi::ListedFile> StatListedFile(const char* path) noexcept;

} // namespace LumoModules
