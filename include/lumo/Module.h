// Modules, module groups and the host program that modules talk to.
#pragma once

#include "Api.h"

namespace LumoApi {

class HostProgramApi;

// Implemented by a module: one unit of media knowledge with an identifier.
class ModuleApi : public Api {
public:
    static constexpr const char TypeId[] = "ModuleApi";

    // Called once by the host when it takes the module into its module list. host is
    // borrowed and valid until the host releases its modules at shut-down. Nonzero on
    // success; 0 leaves the module out. Interface thread.
    virtual int32_t LUMO_CALL Initialize(HostProgramApi* host) = 0;
    // Text shown to people. Borrowed; valid while the module lives.
    virtual const char* LUMO_CALL GetDisplayName() = 0;
    // Identifier, compared byte for byte ("LumoMusic"). Borrowed; valid while the module lives.
    virtual const char* LUMO_CALL GetId() = 0;
};

// Implemented by a library that holds several modules ("ModuleGroupApi"), and by the host
// around a library that answers "ModuleApi" directly.
class ModuleGroupApi : public Api {
public:
    static constexpr const char TypeId[] = "ModuleGroupApi";

    // Number of modules in the group.
    virtual int32_t LUMO_CALL GetCount() = 0;
    // The API of type type_id of the module at index: a new reference, or null with a last
    // error (87 for a type the group does not provide). The host asks for "ModuleApi",
    // "FormatApi", "MediaApi", "MediaClassApi", "DiskCacheApi" and "FileViewApi".
    virtual Api* LUMO_CALL GetApi(const char* type_id, int32_t index) = 0;
};

// Implemented by the host (RefNeutral: AddRef and Release do nothing).
class HostProgramApi : public Api {
public:
    static constexpr const char TypeId[] = "HostProgramApi";

    // The application's main window as an opaque handle for modules that need a parent
    // window (a QWidget* in this host), or null where there is none.
    virtual void* LUMO_CALL GetWindow() = 0;
    // The computer's name. Borrowed; valid while the host lives.
    virtual const char* LUMO_CALL GetComputerName() = 0;
    // A host API by type identifier (exact, case-sensitive): a new reference, or null with
    // last error 87 for an identifier the host does not know. Takes over one reference to
    // module and releases it before returning, so pass a reference of your own.
    // "RegistryApi", "CacheApi" and "LogApi" are bound to module, which must not be null.
    // Any thread.
    virtual Api* LUMO_CALL GetApi(const char* type_id, ModuleApi* module) = 0;
};

} // namespace LumoApi
