// The host's DetailsHelpApi: date texts for modules' details.
#pragma once

#include <cstdint>
#include <optional>

#include <lumo/Api.h>
#include <lumo/Filter.h>

class DetailsHelp : public LumoApi::RefNeutral<LumoApi::DetailsHelpApi> {
public:
    // One shared object, made safely on first use from any thread.
    static DetailsHelp& Instance();

    char* LUMO_CALL FormatFileTime(const LumoApi::FileTime* time) override;
};

// Seconds since 1970 of a file time (100 ns ticks since 1601, UTC); nothing when it lies
// outside 1970..2106, which the text form cannot hold.
std::optional<uint32_t> UnixSecondsOfFileTime(const LumoApi::FileTime& time);
