#include "ModuleServices.h"

#include <atomic>
#include <mutex>

#include "FolderPaths.h"
#include "FolderWatcher.h"
#include "Guard.h"

using namespace LumoApi;

namespace LumoFolders {

namespace {

// Guards the three below. URLs are made outside it, on a module reference of our own; log
// lines are written under it.
std::mutex g_servicesLock;
ModuleApi* g_module = nullptr;
HostProgramApi* g_host = nullptr;
ApiRef<LogApi> g_log;

std::atomic<int32_t> g_liveObjects{0};

LumoModules::ListedFacts g_listed;

} // namespace

void SetHost(ModuleApi* module, HostProgramApi* host, ApiRef<LogApi> log)
{
    // Outside the lock: asking the host passes it a module reference, whose release must never
    // wait for the lock.
    g_listed.Detach();
    g_listed.Attach(host, module);
    ApiRef<LogApi> old;
    std::lock_guard<std::mutex> lock(g_servicesLock);
    old = std::move(g_log);
    g_module = module;
    g_host = host;
    g_log = std::move(log);
}

void ForgetHost(ModuleApi* module)
{
    ApiRef<LogApi> old;
    std::lock_guard<std::mutex> lock(g_servicesLock);
    if (g_module != module)
        return;
    old = std::move(g_log);
    g_module = nullptr;
    g_host = nullptr;
    g_listed.Detach();
}

const LumoModules::ListedFacts& Listed()
{
    return g_listed;
}

UrlMaker UrlMaker::Current()
{
    UrlMaker maker;
    {
        std::lock_guard<std::mutex> lock(g_servicesLock);
        maker.m_host = g_host;
        maker.m_module = ApiRef<ModuleApi>::Share(g_module);
    }
    if (!maker.m_host || !maker.m_module)
        throw FolderError(ERROR_INVALID_FUNCTION);
    return maker;
}

ApiRef<UrlApi> UrlMaker::Make(const std::string& text) const
{
    if (!m_host)
        throw FolderError(ERROR_INVALID_FUNCTION);
    // The host takes over the module reference it is given.
    ApiRef<UrlApi> url = ApiRef<UrlApi>::Adopt(static_cast<UrlApi*>(m_host->GetApi(UrlApi::TypeId, m_module.NewRef())));
    if (!url)
        throw FolderError(LumoGetLastError());
    if (!url->SetText(text.c_str()))
        throw FolderError(LumoGetLastError());
    return url;
}

ApiRef<UrlApi> UrlMaker::MakeFileUrl(const std::string& absolutePath) const
{
    return Make(FileUrlText(absolutePath));
}

void LogLine(int32_t severity, const std::string& text)
{
    // Held while writing, so ForgetHost cannot let the log go under a writer.
    std::lock_guard<std::mutex> lock(g_servicesLock);
    if (g_log)
        g_log->Write(severity, "Folders", "%s", text.c_str());
}

void ObjectCreated() noexcept
{
    g_liveObjects.fetch_add(1, std::memory_order_relaxed);
}

void ObjectDestroyed() noexcept
{
    if (g_liveObjects.fetch_sub(1, std::memory_order_acq_rel) == 1)
        FolderWatcher::Instance().Shutdown();
}

} // namespace LumoFolders
