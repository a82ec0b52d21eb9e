// The error codes that cross the plug-in boundary as a thread's last error. They keep the
// numbers of the standard Windows system error codes, so modules and host agree on them.
#pragma once

#include <cstdint>

namespace LumoApi {

constexpr uint32_t ERROR_SUCCESS = 0;
// The object cannot serve the operation in its present state (not opened, no text set).
constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
// The file, or the folder a path runs through, is not there.
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
// No permission, or the item is of a kind that cannot be opened so (a folder read as a file).
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_INVALID_DATA = 13;
// Busy or locked by another process.
constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr uint32_t ERROR_DISK_FULL = 112;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
// A name or path the file system refuses (too long, or not a name at all).
constexpr uint32_t ERROR_INVALID_NAME = 123;
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
// The normal end of every first/next enumeration.
constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
// A folder was expected and the item is not one, or the other way round.
constexpr uint32_t ERROR_DIRECTORY = 267;
constexpr uint32_t ERROR_INVALID_ADDRESS = 487;
constexpr uint32_t ERROR_CANTREAD = 1012;
constexpr uint32_t ERROR_CANTWRITE = 1013;
// A requested item, property, setting or URL part does not exist.
constexpr uint32_t ERROR_NOT_FOUND = 1168;
// The operation was cancelled (ContainerApi::Cancel, or the person said no).
constexpr uint32_t ERROR_CANCELLED = 1223;
constexpr uint32_t ERROR_ALREADY_INITIALIZED = 1247;
// Failed assertion, or an exception of no known kind caught at the boundary.
constexpr uint32_t ERROR_INTERNAL_ERROR = 1359;
constexpr uint32_t ERROR_INVALID_INDEX = 1413;
// A plain "no" from CanPublish / CanUnpublish.
constexpr uint32_t ERROR_DATATYPE_MISMATCH = 1629;
// No module handles the content type.
constexpr uint32_t ERROR_UNSUPPORTED_TYPE = 1630;
// A path through more linked folders than the system follows, as when they loop.
constexpr uint32_t ERROR_CANT_RESOLVE_FILENAME = 1921;

} // namespace LumoApi
