// The host's ComHelpApi: in-memory COM-style streams for modules whose libraries read or write
// through streams, and the conversions between such streams and DataApi blocks.
#pragma once

#include <lumo/Api.h>
#include <lumo/ComHelp.h>
#include <lumo/Data.h>

class ComHelp : public LumoApi::RefNeutral<LumoApi::ComHelpApi> {
public:
    // The one shared object; safe to call first from any thread.
    static ComHelp& Instance();

    // A writable stream of initial_size zero bytes; null with 8 when it cannot be allocated.
    LumoApi::IStream* LUMO_CALL CreateHeapStream(uint32_t initial_size) override;
    // A read-only stream over the bytes data holds now; null with 87 for null data.
    LumoApi::IStream* LUMO_CALL CreateStreamOnData(LumoApi::DataApi* data) override;
    // Takes over stream's reference in every case; null with 87 unless the stream was made here.
    LumoApi::DataApi* LUMO_CALL CreateDataOnStream(LumoApi::IStream* stream) override;

private:
    ComHelp() = default;
};
