// The modules the host has loaded: every plug-in library of the program folder, then the
// built-in modules, each initialised with the host.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Module.h>

#include "common/ArrayProxy.h"
#include "lumoapi/ApiManager.h"

// One initialised module.
class Module {
public:
    // Asks group for the module at index and initialises it with host. Raises when the group
    // has no such module, Initialize answers 0, or the module has no id.
    Module(
        LumoApi::ApiRef<LumoApi::ModuleGroupApi> group, int32_t index, LumoApi::HostProgramApi* host, std::string file);

    // The module's API of type type_id; null when the module lacks it.
    LumoApi::ApiRef<LumoApi::Api> GetApi(const char* type_id) const;
    // The same, raising the module's last error when it lacks it.
    LumoApi::ApiRef<LumoApi::Api> GetRequiredApi(const char* type_id) const;

    template <class T>
    LumoApi::ApiRef<T> GetApi() const
    {
        return LumoApi::ApiRef<T>::Adopt(static_cast<T*>(GetApi(T::TypeId).Detach()));
    }
    template <class T>
    LumoApi::ApiRef<T> GetRequiredApi() const
    {
        return LumoApi::ApiRef<T>::Adopt(static_cast<T*>(GetRequiredApi(T::TypeId).Detach()));
    }

    LumoApi::ModuleApi* Interface() const noexcept { return m_module.Get(); }
    int32_t Index() const noexcept { return m_index; }
    const std::string& Id() const noexcept { return m_id; }
    const std::string& DisplayName() const noexcept { return m_displayName; }
    // The library the module came from; empty for a built-in module.
    const std::string& File() const noexcept { return m_file; }

private:
    // The group outlives the module: releasing it may unload the library the module's code is in.
    LumoApi::ApiRef<LumoApi::ModuleGroupApi> m_group;
    LumoApi::ApiRef<LumoApi::ModuleApi> m_module;
    int32_t m_index;
    std::string m_id;
    std::string m_displayName;
    std::string m_file;
};

class ModuleGroup {
public:
    // programFolder ends with "/"; host is handed to every module's Initialize.
    ModuleGroup(std::string programFolder, LumoApi::HostProgramApi* host);
    // Releases every module, then unloads the libraries.
    ~ModuleGroup();
    ModuleGroup(const ModuleGroup&) = delete;
    ModuleGroup& operator=(const ModuleGroup&) = delete;

    // Finds, loads and initialises the modules, once. Module order: the modules of
    // multi-module libraries, then single-module libraries, then the built-in module; within
    // each kind, directory order. A module that fails is left out; the others load.
    void Initialize();

    size_t Count() const noexcept { return m_modules.size(); }
    const Module& operator[](size_t index) const { return *m_lookup[index]; }

    // The module whose id is id exactly; raises 1168 when there is none. Interface thread.
    const Module& ModuleById(const std::string& id) const;

    LumoApi::ApiManager& Manager() noexcept { return m_manager; }

private:
    struct ModuleId {
        const std::string& operator()(const std::unique_ptr<Module>& module) const { return module->Id(); }
    };

    struct Group {
        LumoApi::ApiRef<LumoApi::ModuleGroupApi> api;
        std::string file;
    };
    std::vector<Group> FindGroups();

    std::string m_programFolder;
    LumoApi::HostProgramApi* m_host;
    // Declared first so it is destroyed last, after every module reference is gone.
    LumoApi::ApiManager m_manager;
    std::vector<std::unique_ptr<Module>> m_modules;
    ArrayProxyWithNameLookup<std::unique_ptr<Module>, ModuleId> m_lookup{m_modules};
};
