#include "PhotoServices.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "PhotoFile.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

// Guards everything below. Held while logging, so that DropHostServices cannot release the
// log under a writer on another thread.
std::mutex g_servicesLock;
ModuleApi* g_module = nullptr;
HostProgramApi* g_host = nullptr;
ApiRef<CacheApi> g_cache;
ApiRef<LogApi> g_log;

LumoModules::MediaClassConfig PhotosClass()
{
    LumoModules::MediaClassConfig config;
    config.classId = c_ModuleId;
    config.scheme = c_ClassScheme;
    config.specialFolder = "pictures";
    config.filter = "image/*";
    config.rootsTitle = "Pictures";
    config.publishedTitle = "Published photos";
    return config;
}

} // namespace

LumoModules::MediaClassSupport& ClassSupport()
{
    static LumoModules::MediaClassSupport support(PhotosClass());
    return support;
}

void SetHostServices(ModuleApi* module, HostProgramApi* host, ApiRef<LogApi> log)
{
    ApiRef<CacheApi> oldCache;
    ApiRef<LogApi> oldLog;
    std::lock_guard<std::mutex> lock(g_servicesLock);
    oldCache = std::move(g_cache);
    oldLog = std::move(g_log);
    g_module = module;
    g_host = host;
    g_log = std::move(log);
}

void DropHostServices(const ModuleApi* module)
{
    ApiRef<CacheApi> oldCache;
    ApiRef<LogApi> oldLog;
    std::lock_guard<std::mutex> lock(g_servicesLock);
    if (g_module != module)
        return;
    oldCache = std::move(g_cache);
    oldLog = std::move(g_log);
    g_module = nullptr;
    g_host = nullptr;
}

ApiRef<CacheApi> HostCache()
{
    std::lock_guard<std::mutex> lock(g_servicesLock);
    if (!g_cache && g_host) {
        // The host takes over the module reference it is given.
        g_cache = ApiRef<CacheApi>::Adopt(
            static_cast<CacheApi*>(g_host->GetApi(CacheApi::TypeId, ApiRef<ModuleApi>::Share(g_module).Detach())));
    }
    return g_cache;
}

void LogLine(int32_t severity, const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(g_servicesLock);
    if (g_log)
        g_log->Write(severity, "Photos", "%s", text);
}

} // namespace LumoPhotos
