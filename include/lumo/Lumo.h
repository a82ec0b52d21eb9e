// Everything a module author needs.
#pragma once

#include "Api.h"
#include "ComHelp.h"
#include "Data.h"
#include "Dll.h"
#include "Errors.h"
#include "Filter.h"
#include "Image.h"
#include "Listing.h"
#include "Log.h"
#include "Media.h"
#include "Module.h"
#include "Platform.h"
#include "Registry.h"
#include "Url.h"
