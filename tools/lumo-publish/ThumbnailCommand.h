// thumbnail: one JPEG per picture, made by its module as the picker's thumbnails are.
#pragma once

#include "CommandLine.h"

int WriteThumbnails(HostInternals& host, const Arguments& args);
