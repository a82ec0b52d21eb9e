// What the module's objects share: the host and module object that URLs are made through, the
// host's log, and the count of live objects whose end stops the watcher thread.
#pragma once

#include <cstdint>
#include <string>

#include <lumo/Api.h>
#include <lumo/DllSupport.h>
#include <lumo/Log.h>
#include <lumo/Module.h>
#include <lumo/Url.h>

#include "support/ListedFacts.h"

namespace LumoFolders {

// The initialised module and its host, held until ForgetHost(module): the host pointer is
// valid only while the host holds the module. Any thread.
void SetHost(LumoApi::ModuleApi* module, LumoApi::HostProgramApi* host, LumoApi::ApiRef<LumoApi::LogApi> log);
void ForgetHost(LumoApi::ModuleApi* module);

// Makes host URLs for an object of the module. It holds a reference to the initialised module,
// so the host stays reachable while the object lives. Any thread.
class UrlMaker {
public:
    // The initialised module's; raises 1 before Initialize.
    static UrlMaker Current();

    // A new host URL holding text; raises the host's last error.
    LumoApi::ApiRef<LumoApi::UrlApi> Make(const std::string& text) const;
    // A new host URL naming an absolute path.
    LumoApi::ApiRef<LumoApi::UrlApi> MakeFileUrl(const std::string& absolutePath) const;

private:
    LumoApi::ApiRef<LumoApi::ModuleApi> m_module;
    LumoApi::HostProgramApi* m_host = nullptr;
};

// The host's road for what a listing saw of each child; empty before SetHost, after ForgetHost
// and with an older host. Any thread.
const LumoModules::ListedFacts& Listed();

// One line in the host's log under the category "Folders"; nothing without a host. Any thread.
void LogLine(int32_t severity, const std::string& text);

// Counts the module's live API objects. The last one to go stops the watcher thread, so no
// thread of ours runs once the host may unload the library.
template <class T>
class Counted : public LumoApi::DllRefCounted<T> {
public:
    Counted();
    ~Counted() override;
};

void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;

template <class T>
Counted<T>::Counted()
{
    ObjectCreated();
}

template <class T>
Counted<T>::~Counted()
{
    ObjectDestroyed();
}

} // namespace LumoFolders
