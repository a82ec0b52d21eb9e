// The system's texts for the error codes the program uses.
#pragma once

#include <cstdint>

namespace Platform {

// The standard English text of a system error code as the system formats it, ending in
// CR LF; null for a code without text.
const char* SystemMessageText(uint32_t code);

} // namespace Platform
