// The host's "ListedFileApi": what a listing saw of each child, kept inside the child's URL.
#pragma once

#include <lumo/Api.h>
#include <lumo/Listing.h>

class ListedFiles : public LumoApi::RefNeutral<LumoApi::ListedFileApi> {
public:
    // One shared object, made safely on first use from any thread.
    static ListedFiles& Instance();

    int32_t LUMO_CALL Attach(LumoApi::UrlApi* url, const LumoApi::ListedFile* record) override;
    int32_t LUMO_CALL Read(LumoApi::UrlApi* url, LumoApi::ListedFile* record, uint32_t maxAgeMs) override;
};
