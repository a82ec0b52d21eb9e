// The host program: the one object through which the program and every module reach the
// host's services. It records the program folder, the data folder and the computer name,
// loads the modules, and answers GetApi requests from its catalogue.
#pragma once

#include <memory>
#include <string>

#include <lumo/Api.h>
#include <lumo/Module.h>

#include "host/CacheModule.h"
#include "host/DetailsCache.h"
#include "host/FileViewCache.h"
#include "host/FormatModuleGroup.h"
#include "host/MediaClassGroup.h"
#include "host/MediaModuleGroup.h"
#include "host/ModuleGroup.h"

class HostInternals : public LumoApi::RefNeutral<LumoApi::HostProgramApi> {
public:
    // Loads the modules of the running executable's folder and builds the services on them.
    // Raises 1168 when no "LumoCache" module is there.
    HostInternals();
    // The same for the modules of programFolder (with or without a trailing "/").
    explicit HostInternals(std::string programFolder);
    ~HostInternals();
    HostInternals(const HostInternals&) = delete;
    HostInternals& operator=(const HostInternals&) = delete;

    // The host while one exists, else null. For host code with no other road to it.
    static HostInternals* Instance() noexcept;

    // With a trailing "/".
    const std::string& ProgramFolder() const noexcept { return m_programFolder; }
    // "$XDG_DATA_HOME/Lumo Desktop", without a trailing "/".
    const std::string& DataFolder() const noexcept { return m_dataFolder; }
    const std::string& ComputerName() const noexcept { return m_computerName; }

    ModuleGroup& Modules() noexcept { return m_modules; }
    CacheModule& Cache() noexcept { return m_cacheModule; }
    FormatModuleGroup& FormatGroup() noexcept { return m_formatGroup; }
    MediaModuleGroup& MediaGroup() noexcept { return m_mediaGroup; }
    MediaClassGroup& MediaClasses() noexcept { return m_mediaClassGroup; }
    FileViewCache& FileViews() noexcept { return m_fileViewCache; }

    // The main window handed to modules through GetWindow.
    void SetWindow(void* window) noexcept { m_window = window; }

    void* LUMO_CALL GetWindow() override;
    const char* LUMO_CALL GetComputerName() override;
    LumoApi::Api* LUMO_CALL GetApi(const char* type_id, LumoApi::ModuleApi* module) override;

private:
    static std::string DataFolderPath();

    std::string m_programFolder;
    std::string m_dataFolder;
    std::string m_computerName;
    void* m_window = nullptr;

    // Destroyed in reverse: the media classes first, since their items may hold cached
    // details; then the caches; the groups; the disk cache; last the modules themselves.
    ModuleGroup m_modules;
    CacheModule m_cacheModule;
    FormatModuleGroup m_formatGroup;
    DetailsCache m_detailsCache;
    FileViewCache m_fileViewCache;
    MediaModuleGroup m_mediaGroup;
    MediaClassGroup m_mediaClassGroup;
};
