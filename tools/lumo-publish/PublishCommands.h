// The commands that change or show the published sets of a media class.
#pragma once

#include "CommandLine.h"

int PublishItems(HostInternals& host, const Arguments& args);
int UnpublishItems(HostInternals& host, const Arguments& args);
int ListPublished(HostInternals& host, const Arguments& args);
