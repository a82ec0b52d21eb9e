// Settings and host services the module's objects share. The host hands them to the module
// object; the cache and the views may outlive it, so they reach them through here.
#pragma once

#include <cstdint>

#include <lumo/Api.h>
#include <lumo/Log.h>

namespace LumoCache {

constexpr int32_t c_DefaultMaxSizeMB = 512;

// The cache's size bound from the module's settings; values below 1 select the default.
// Any thread.
void SetMaxSizeMB(int32_t sizeMB);
uint64_t MaxSizeBytes();

// The log of the module object owner, held until DropLog(owner): the host's log objects may
// not be used once the host has released its modules.
void SetLog(const void* owner, LumoApi::ApiRef<LumoApi::LogApi> log);
void DropLog(const void* owner);

// One line in the host's log under the category "DiskCache"; nothing without a log. Any thread.
void LogLine(int32_t severity, const char* text);

} // namespace LumoCache
