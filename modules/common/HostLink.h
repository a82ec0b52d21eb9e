// The road to the host that every object of a media class shares. The module's objects may
// outlive the module object (the host releases them in its own order), so they reach the host
// only through here, and Detach cuts them all off at once.
#pragma once

#include <shared_mutex>
#include <string>

#include <lumo/Lumo.h>

#include "support/ListedFacts.h"

namespace LumoModules {

class HostLink {
public:
    // host and module are borrowed until Detach.
    void Attach(LumoApi::HostProgramApi* host, LumoApi::ModuleApi* module);
    void Detach();
    bool IsAttached() const;

    // A host API: a new reference. Raises 1 when detached, the host's last error otherwise.
    template <class T>
    LumoApi::ApiRef<T> Get() const
    {
        return LumoApi::ApiRef<T>::Adopt(static_cast<T*>(GetApi(T::TypeId)));
    }
    // The same, or null for an API an older host does not offer (87).
    template <class T>
    LumoApi::ApiRef<T> Find() const
    {
        return LumoApi::ApiRef<T>::Adopt(static_cast<T*>(GetApi(T::TypeId, true)));
    }
    // A new URL with the given text. Raises on failure.
    LumoApi::ApiRef<LumoApi::UrlApi> NewUrl(const std::string& text) const;
    // The "file" URL text of a local path, escaped as the host escapes every URL.
    std::string FileUrlText(const std::string& path) const;
    // What listings saw of the items (empty with an older host, or when detached).
    const ListedFacts& Listed() const noexcept { return m_listed; }

private:
    LumoApi::Api* GetApi(const char* typeId, bool mayLack = false) const;

    // Guards m_host and m_module: requests hold it shared, so Detach waits for those under way.
    mutable std::shared_mutex m_lock;
    LumoApi::HostProgramApi* m_host = nullptr;
    LumoApi::ModuleApi* m_module = nullptr;
    ListedFacts m_listed;
};

} // namespace LumoModules
