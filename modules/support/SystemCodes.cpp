#include "support/SystemCodes.h"

#include <cerrno>

#include <sqlite3.h>

#include <lumo/Errors.h>

using namespace LumoApi;

namespace LumoModules {

uint32_t FileErrorCode(int error) noexcept
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENXIO:
        return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG:
        return ERROR_INVALID_NAME;
    case ELOOP:
        return ERROR_CANT_RESOLVE_FILENAME;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_CANTREAD;
    }
}

uint32_t SqliteErrorCode(int code, uint32_t otherwise) noexcept
{
    switch (code & 0xff) {
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_SHARING_VIOLATION;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
        return ERROR_ACCESS_DENIED;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_SCHEMA:
        return ERROR_INVALID_DATA;
    default:
        return otherwise;
    }
}

} // namespace LumoModules
