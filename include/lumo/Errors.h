// The error codes that cross the plug-in boundary as a thread's last error. They keep the
// numbers of the standard Windows system error codes, so modules and host agree on them.
#pragma once

#include <cstdint>

namespace LumoApi {

constexpr uint32_t ERROR_SUCCESS = 0;
// The object cannot serve the operation in its present state (not opened, no text set).
constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_INVALID_DATA = 13;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
// The normal end of every first/next enumeration.
constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
constexpr uint32_t ERROR_INVALID_ADDRESS = 487;
constexpr uint32_t ERROR_CANTREAD = 1012;
constexpr uint32_t ERROR_CANTWRITE = 1013;
// A requested item, property, setting or URL part does not exist.
constexpr uint32_t ERROR_NOT_FOUND = 1168;
constexpr uint32_t ERROR_ALREADY_INITIALIZED = 1247;
// Failed assertion, or an exception of no known kind caught at the boundary.
constexpr uint32_t ERROR_INTERNAL_ERROR = 1359;
constexpr uint32_t ERROR_INVALID_INDEX = 1413;
// A plain "no" from CanPublish / CanUnpublish.
constexpr uint32_t ERROR_DATATYPE_MISMATCH = 1629;
// No module handles the content type.
constexpr uint32_t ERROR_UNSUPPORTED_TYPE = 1630;

} // namespace LumoApi
