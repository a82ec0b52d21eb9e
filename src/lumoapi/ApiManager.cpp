#include "ApiManager.h"

#include <algorithm>

#include "common/Assert.h"
#include "platform/System.h"

namespace LumoApi {

namespace {

// Destructors cannot raise: a failed check there is shown, then the caller leaks instead of
// unloading code that live objects still point into.
bool CheckInDestructor(bool condition, const char* text, const char* function, int line) noexcept
{
    if (condition)
        return true;
    try {
        if (AssertFailed(text, function, __FILE__, line))
            DebugBreak();
        AssertEnd();
    } catch (...) {
    }
    return false;
}

} // namespace

ApiManager::Module::Module(const std::string& path, DllCallbackApi* callback)
{
    m_module = Platform::LoadLibrary(path);
    if (!m_module)
        return;
    m_getApi = reinterpret_cast<GetApiFunction>(Platform::GetProcAddress(m_module, c_GetApiSymbol));
    if (!m_getApi)
        return;
    m_dllApi.Reset(static_cast<DllApi*>(GetApi(DllApi::TypeId)));
    if (!m_dllApi)
        return;
    m_initialized = m_dllApi->Initialize(callback) != 0;
}

ApiManager::Module::~Module()
{
    const bool unused = CheckInDestructor(!HasRefs(), "!HasRefs()", __PRETTY_FUNCTION__, __LINE__);
    m_dllApi.Reset();
    if (unused)
        Platform::FreeLibrary(m_module);
}

Api* ApiManager::Module::GetApi(const char* type_id)
{
    if (!m_getApi)
        return nullptr;
    // A library that throws across the boundary offers nothing rather than taking us down.
    try {
        return m_getApi(type_id);
    } catch (...) {
        return nullptr;
    }
}

ApiManager::ApiManager() = default;

ApiManager::~ApiManager()
{
    UnloadUnusedModules();
    if (!CheckInDestructor(m_modules.empty(), "m_modules.empty()", __PRETTY_FUNCTION__, __LINE__)) {
        // Objects of these libraries are still alive: keep their code mapped.
        for (std::unique_ptr<Module>& module : m_modules)
            module.release();
    }
}

ApiManager::Module* ApiManager::FindOrLoadModule(const char* path)
{
    LUMO_ASSERT(!Platform::IsBadStringPtr(path, c_MaxPath));
    if (!path)
        return nullptr;

    // A probe load tells the library's identity: two paths to one file give one handle.
    Platform::LibraryHandle probe = Platform::LoadLibrary(path);
    if (!probe)
        return nullptr;
    struct ProbeRelease {
        Platform::LibraryHandle handle;
        ~ProbeRelease() { Platform::FreeLibrary(handle); }
    } probeRelease{probe};

    for (const std::unique_ptr<Module>& module : m_modules) {
        if (module->m_module == probe)
            return module.get();
    }
    auto module = std::make_unique<Module>(path, this);
    if (!module->m_initialized)
        return nullptr;
    m_modules.push_back(std::move(module));
    return m_modules.back().get();
}

ApiRef<Api> ApiManager::GetApi(const char* type_id, const char* path)
{
    LUMO_ASSERT(!Platform::IsBadStringPtr(type_id, c_MaxTypeIdSize));
    LUMO_ASSERT(!Platform::IsBadStringPtr(path, c_MaxPath));
    if (!type_id || !path)
        return ApiRef<Api>();

    Module* module = FindOrLoadModule(path);
    if (!module)
        return ApiRef<Api>();
    ApiRef<Api> api = ApiRef<Api>::Adopt(module->GetApi(type_id));
    if (!api)
        return api;
    std::lock_guard<std::mutex> lock(m_lock);
    auto [entry, inserted] = m_apis.try_emplace(api.Get(), module);
    if (inserted)
        ++module->m_refs;
    else
        entry->second = module;
    return api;
}

std::vector<ApiRef<Api>> ApiManager::GetApis(const char* type_id, const char* pattern)
{
    LUMO_ASSERT(!Platform::IsBadStringPtr(type_id, c_MaxTypeIdSize));
    LUMO_ASSERT(!Platform::IsBadStringPtr(pattern, c_MaxPath));
    std::vector<ApiRef<Api>> apis;
    if (!type_id || !pattern)
        return apis;

    const std::string text = pattern;
    const size_t slash = text.rfind('/');
    // A bare name would send the loader through the system's library path instead of the
    // folder that was searched.
    const std::string prefix = slash == std::string::npos ? std::string("./") : text.substr(0, slash + 1);
    for (const std::string& name : Platform::FindFiles(text)) {
        const std::string path = prefix + name;
        if (ApiRef<Api> api = GetApi(type_id, path.c_str()))
            apis.push_back(std::move(api));
    }
    return apis;
}

const char* ApiManager::GetApiPath(const ApiRef<Api>& api)
{
    m_pathBuffer.clear();
    Module* module = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (auto found = m_apis.find(api.Get()); found != m_apis.end())
            module = found->second;
    }
    if (module)
        m_pathBuffer = Platform::GetModuleFileName(module->m_module);
    return m_pathBuffer.c_str();
}

void ApiManager::UnloadUnusedModules()
{
    std::vector<std::unique_ptr<Module>> unused;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (std::unique_ptr<Module>& module : m_modules) {
            if (!module->HasRefs())
                unused.push_back(std::move(module));
        }
        std::erase(m_modules, nullptr);
    }
    // Unloaded outside the lock: a library's teardown may still report destroyed objects.
    unused.clear();
}

void LUMO_CALL ApiManager::ApiDestroyed(Api* old_api)
{
    // The pointer is only a key here, never read: a dangling one is harmless, and probing it
    // would cost a system call for every object any module destroys.
    if (!old_api)
        return;
    try {
        std::lock_guard<std::mutex> lock(m_lock);
        auto found = m_apis.find(old_api);
        if (found == m_apis.end())
            return;
        if (found->second->m_refs > 0)
            --found->second->m_refs;
        m_apis.erase(found);
    } catch (...) {
        // The library that reports a destroyed object must never see a failure.
    }
}

} // namespace LumoApi
