// What the module's objects share: the media-class support, the host and module object it was
// initialised with, the host's log, and the extensions other formats claim. The host asks the
// library for each API separately, and details and containers may outlive the module object,
// so they all reach these through here. Any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <lumo/Api.h>
#include <lumo/Log.h>
#include <lumo/Module.h>
#include <lumo/Url.h>

#include "common/MediaClassSupport.h"

namespace LumoMusic {

class MusicState {
public:
    // The library's one state, made on first use.
    static MusicState& Instance();

    LumoModules::MediaClassSupport& Class() noexcept { return m_class; }

    // From ModuleApi::Initialize: host and module (borrowed) are kept until Detach(module).
    // Nonzero on success; 0 with a last error.
    int32_t Attach(LumoApi::HostProgramApi* host, LumoApi::ModuleApi* module);
    // From the module object's destructor; nothing unless module is the attached one (the host
    // makes and drops a module object of every library while it looks for modules).
    void Detach(LumoApi::ModuleApi* module);

    // One line in the host's log under the category "Music"; nothing without a host.
    void Log(int32_t severity, const std::string& text);

    // True when a format of another module or of the system lists extension (".jpg"), so a file
    // of that name is not sniffed: its name already settles its type. Asks the host once per
    // extension (FormatLookupApi), or for every format once where the host has no such API.
    bool IsOtherFormatsExtension(const std::string& extension);

    // A new host URL holding text; raises MusicError with the host's last error.
    LumoApi::ApiRef<LumoApi::UrlApi> NewUrl(const std::string& text);

private:
    MusicState();

    void ReadOtherExtensions(LumoApi::HostProgramApi* host);
    // Whether one of the comma-separated types is neither this module's nor its class's.
    bool ListsOtherType(const char* types) const;

    LumoModules::MediaClassSupport m_class;

    // Guards m_host, m_module and m_log.
    std::mutex m_lock;
    LumoApi::HostProgramApi* m_host = nullptr;
    LumoApi::ModuleApi* m_module = nullptr;
    LumoApi::ApiRef<LumoApi::LogApi> m_log;

    // Guards the answers below. m_otherExtensions is filled once, from every format, where the
    // host cannot be asked about one extension (m_extensionsRead); m_answers holds the host's
    // answers otherwise.
    std::mutex m_extensionsLock;
    bool m_extensionsRead = false;
    std::unordered_set<std::string> m_otherExtensions;
    std::unordered_map<std::string, bool> m_answers;
};

} // namespace LumoMusic
