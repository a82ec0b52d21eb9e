// Loads plug-in libraries, asks them for APIs by type identifier, remembers which library
// supplied which API object, and unloads a library only when none of its objects is alive.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Dll.h>

#include "platform/Library.h"

namespace LumoApi {

// Loading and unloading run on the interface thread. ApiDestroyed may come from any thread a
// library destroys an object on (a container released by an enumeration thread), so the
// bookkeeping of live objects sits behind m_lock.
class ApiManager : public RefNeutral<DllCallbackApi> {
public:
    // One loaded plug-in library.
    class Module {
    public:
        // Loads the library at path, finds Lumo_GetApi, takes its "DllApi" and initialises it.
        Module(const std::string& path, DllCallbackApi* callback);
        // Releases the "DllApi", then unloads the library. Requires !HasRefs().
        ~Module();
        Module(const Module&) = delete;
        Module& operator=(const Module&) = delete;

        // The library's API of type type_id, carrying one reference; null if it has none.
        Api* GetApi(const char* type_id);
        bool HasRefs() const noexcept { return m_refs > 0; }

        Platform::LibraryHandle Handle() const noexcept { return m_module; }
        int32_t Refs() const noexcept { return m_refs; }
        bool IsInitialized() const noexcept { return m_initialized; }

    private:
        friend class ApiManager;

        Platform::LibraryHandle m_module = nullptr;
        GetApiFunction m_getApi = nullptr;
        ApiRef<DllApi> m_dllApi;
        // Distinct API objects of this library alive in the host.
        int32_t m_refs = 0;
        bool m_initialized = false;
    };

    ApiManager();
    // Unloads unused modules, then requires that none is left.
    ~ApiManager();
    ApiManager(const ApiManager&) = delete;
    ApiManager& operator=(const ApiManager&) = delete;

    // The API of type type_id from the library at path, loading it if needed; null when the
    // library cannot be loaded or initialised or does not offer the type. Nothing is reported.
    ApiRef<Api> GetApi(const char* type_id, const char* path);

    // GetApi for every entry matching pattern ("<folder>/*.so"), in directory order; only
    // non-null results are listed.
    std::vector<ApiRef<Api>> GetApis(const char* type_id, const char* pattern);

    // Full file name of the library that supplied api, or "" for an API of no loaded library.
    // Valid until the next call.
    const char* GetApiPath(const ApiRef<Api>& api);

    // Unloads every module without live API objects.
    void UnloadUnusedModules();

    void LUMO_CALL ApiDestroyed(Api* old_api) override;

    // Loaded modules in load order.
    const std::vector<std::unique_ptr<Module>>& Modules() const noexcept { return m_modules; }

private:
    Module* FindOrLoadModule(const char* path);

    std::vector<std::unique_ptr<Module>> m_modules;
    // Guards m_apis and every module's m_refs.
    mutable std::mutex m_lock;
    std::map<Api*, Module*> m_apis;
    // Not limited to 260 characters: paths on this platform may be longer.
    std::string m_pathBuffer;
};

} // namespace LumoApi
