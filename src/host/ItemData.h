// The bytes of an item as content-type decisions see them.
#pragma once

#include <lumo/Api.h>
#include <lumo/Data.h>
#include <lumo/Url.h>

class FileViewCache;

// The shared empty data: GetBytes and GetSize answer 0.
LumoApi::DataApi* ZombieData();

// The item's bytes through the host's caching file view, opened only when a module first asks
// for them (most decisions never look at the bytes); empty data when the view cannot open.
LumoApi::ApiRef<LumoApi::DataApi> OpenItemData(FileViewCache& views, LumoApi::UrlApi* url);
