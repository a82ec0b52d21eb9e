// The commands that look without changing anything: modules, the cache, content types, the
// roots of a media class, listings and details.
#pragma once

#include "CommandLine.h"

int ListModules(HostInternals& host, const Arguments& args);
int CacheStats(HostInternals& host, const Arguments& args);
int DecideTypes(HostInternals& host, const Arguments& args);
int ShowRoots(HostInternals& host, const Arguments& args);
int ListItems(HostInternals& host, const Arguments& args);
int ShowDetails(HostInternals& host, const Arguments& args);
