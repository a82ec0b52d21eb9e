// What the module's API objects share: the photos media class and the host's services. The
// module object connects them in Initialize and lets go of them when it dies; API objects may
// outlive it, so they reach the services only through here.
#pragma once

#include <cstdint>

#include <lumo/Api.h>
#include <lumo/Data.h>
#include <lumo/Log.h>
#include <lumo/Module.h>

#include "common/MediaClassSupport.h"

namespace LumoPhotos {

constexpr const char c_ModuleId[] = "LumoPhotos";

// The photos class: scheme "lumophotos", the pictures folder first, image media. Built on
// first use; any thread.
LumoModules::MediaClassSupport& ClassSupport();

// Connects the host and its log for module (borrowed, as host is: both stay valid until
// DropHostServices(module), which the module calls as it dies; another caller's drop does
// nothing).
void SetHostServices(LumoApi::ModuleApi* module, LumoApi::HostProgramApi* host, LumoApi::ApiRef<LumoApi::LogApi> log);
void DropHostServices(const LumoApi::ModuleApi* module);

// The host's cache, asked for on first use: the host finds its disk cache only after every
// module is initialised. Null while no module is connected or the host has no cache. Any
// thread.
LumoApi::ApiRef<LumoApi::CacheApi> HostCache();

// One line in the host's log under the category "Photos"; nothing without a log. Any thread.
void LogLine(int32_t severity, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

} // namespace LumoPhotos
