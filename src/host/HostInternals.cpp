#include "HostInternals.h"

#include <atomic>
#include <cstring>
#include <filesystem>

#include <lumo/Errors.h>
#include <lumo/Platform.h>
#include <lumo/Url.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"
#include "host/ComHelp.h"
#include "host/DetailsHelp.h"
#include "host/FilterContainer.h"
#include "host/FilterDetails.h"
#include "host/ListedFiles.h"
#include "host/ModuleLog.h"
#include "host/ModuleRegistry.h"
#include "host/SystemFileTypes.h"
#include "host/UrlBuilder.h"
#include "host/UrlImpl.h"
#include "platform/System.h"

using namespace LumoApi;

namespace {

std::atomic<HostInternals*> g_host{nullptr};

std::string WithTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

// One entry of the catalogue: the first entry whose identifier equals the request exactly
// answers it. module is the asking module, never null for the per-module services.
struct CatalogueEntry {
    const char* typeId;
    Api* (*create)(HostInternals& host, ModuleApi* module);
};

// The id of the module a per-module service is bound to.
std::string IdOf(ModuleApi* module)
{
    if (!module)
        ThrowWinError(ERROR_INVALID_PARAMETER);
    const char* id = module->GetId();
    return id ? id : "";
}

const CatalogueEntry c_catalogue[] = {
    {UrlApi::TypeId, [](HostInternals&, ModuleApi*) -> Api* { return new UrlImpl(); }},
    {DetailsHelpApi::TypeId, [](HostInternals&, ModuleApi*) -> Api* { return &DetailsHelp::Instance(); }},
    {FileViewApi::TypeId,
        [](HostInternals& host, ModuleApi*) -> Api* { return new CachingFileView(host.FileViews()); }},
    {FilterDetailsApi::TypeId,
        [](HostInternals& host, ModuleApi*) -> Api* { return new FilterDetails(host.MediaGroup()); }},
    {FilterContainerApi::TypeId,
        [](HostInternals& host, ModuleApi*) -> Api* { return new FilterContainer(host.MediaGroup()); }},
    {UrlBuilderApi::TypeId, [](HostInternals&, ModuleApi*) -> Api* { return new UrlBuilder(); }},
    {ListedFileApi::TypeId, [](HostInternals&, ModuleApi*) -> Api* { return &ListedFiles::Instance(); }},
    {RegistryApi::TypeId, [](HostInternals&, ModuleApi* module) -> Api* { return new ModuleRegistry(IdOf(module)); }},
    {MediaApi::TypeId, [](HostInternals& host, ModuleApi*) -> Api* { return &host.MediaGroup(); }},
    {FormatApi::TypeId, [](HostInternals& host, ModuleApi*) -> Api* { return &host.FormatGroup(); }},
    {FormatLookupApi::TypeId, [](HostInternals& host, ModuleApi*) -> Api* { return &host.FormatGroup().Lookup(); }},
    {ComHelpApi::TypeId, [](HostInternals&, ModuleApi*) -> Api* { return &ComHelp::Instance(); }},
    {CacheApi::TypeId,
        [](HostInternals& host, ModuleApi* module) -> Api* {
            return new ModuleCache(IdOf(module), ApiRef<DiskCacheApi>::Share(&host.Cache().DiskCache()));
        }},
    {LogApi::TypeId, [](HostInternals&, ModuleApi* module) -> Api* { return ModuleLog::Create(module); }},
    {HostProgramApi::TypeId, [](HostInternals& host, ModuleApi*) -> Api* { return &host; }},
};

} // namespace

HostInternals::HostInternals() : HostInternals(Platform::ProgramFolder())
{
}

HostInternals::HostInternals(std::string programFolder)
    : m_programFolder(WithTrailingSlash(std::move(programFolder))),
      m_dataFolder(DataFolderPath()),
      m_computerName(Platform::ComputerName()),
      m_modules(m_programFolder, this),
      m_fileViewCache(m_cacheModule),
      m_mediaGroup(m_formatGroup, m_detailsCache, m_fileViewCache)
{
    g_host.store(this);
    try {
        m_modules.Initialize();
        m_cacheModule.Initialize(m_modules);
        m_formatGroup.Initialize(m_modules, SystemFileTypes, SystemGlobTypes);
        m_mediaGroup.Initialize(m_modules);
        m_mediaClassGroup.Initialize(m_modules);
    } catch (...) {
        g_host.store(nullptr);
        throw;
    }
}

HostInternals::~HostInternals()
{
    g_host.store(nullptr);
}

HostInternals* HostInternals::Instance() noexcept
{
    return g_host.load();
}

std::string HostInternals::DataFolderPath()
{
    std::string base = Platform::UserDataFolder();
    if (base.empty())
        base = std::filesystem::temp_directory_path().string();
    std::string folder = base + "/Lumo Desktop";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

void* LUMO_CALL HostInternals::GetWindow()
{
    return m_window;
}

const char* LUMO_CALL HostInternals::GetComputerName()
{
    return m_computerName.c_str();
}

Api* LUMO_CALL HostInternals::GetApi(const char* type_id, ModuleApi* module)
{
    // The caller's reference to its module is ours to release, whatever happens.
    ApiRef<ModuleApi> asking = ApiRef<ModuleApi>::Adopt(module);
    return ApiBoundary(nullptr, [&]() -> Api* {
        if (type_id) {
            for (const CatalogueEntry& entry : c_catalogue) {
                if (std::strcmp(type_id, entry.typeId) == 0)
                    return entry.create(*this, asking.Get());
            }
        }
        LumoSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    });
}
