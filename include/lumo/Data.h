// Blocks of bytes, file views and the disk cache.
#pragma once

#include "Api.h"

namespace LumoApi {

class UrlApi;

// A block of bytes held by a module or by the host.
class DataApi : public Api {
public:
    static constexpr const char TypeId[] = "DataApi";

    // The first byte; valid while the caller holds its reference. May be null when empty.
    virtual const uint8_t* LUMO_CALL GetBytes() = 0;
    // Number of bytes.
    virtual uint32_t LUMO_CALL GetSize() = 0;
};

// The bytes of one item, opened on its URL. Supplied by the "LumoCache" module (a new object
// per request) and by the host, whose view caches the module's views by URL.
class FileViewApi : public DataApi {
public:
    static constexpr const char TypeId[] = "FileViewApi";

    // Opens the view on the item's URL (borrowed). Nonzero on success; 0 with a last error:
    // 1247 when already open, 87 for a scheme the view cannot read, 1168 for a missing file,
    // the file system's code otherwise. GetBytes and GetSize answer 0 until opened.
    virtual int32_t LUMO_CALL Open(UrlApi* url) = 0;
    // A hint that bytes [offset, offset + length) will be read soon (flags: 0). A view may
    // ignore it. Nonzero on success; 0 with 1 when the view is not open.
    virtual int32_t LUMO_CALL Prefetch(uint32_t offset, uint32_t length, uint32_t flags) = 0;
};

// Implemented by the "LumoCache" module: a persistent, size-bounded store of byte blocks by
// key. Safe on several threads at once.
class DiskCacheApi : public Api {
public:
    static constexpr const char TypeId[] = "DiskCacheApi";

    // Stores a copy of data (borrowed) under key, replacing what was there, with value as its
    // tag (a stamp of the source, such as its modification time). Nonzero on success; 0 with
    // a last error.
    virtual int32_t LUMO_CALL Store(const char* key, DataApi* data, uint32_t value) = 0;
    // Forgets key. Failures are not reported.
    virtual void LUMO_CALL Remove(const char* key) = 0;
    // The block stored under key: a new reference, or null with 1168 when absent. With a
    // nonzero value, a block stored with another tag counts as absent. Any other last error
    // is a failure.
    virtual DataApi* LUMO_CALL Lookup(const char* key, uint32_t value) = 0;
};

// Optional, from the "LumoCache" module: what the disk cache holds. Its table begins with
// DiskCacheApi's. Any thread.
class DiskCacheInfoApi : public DiskCacheApi {
public:
    static constexpr const char TypeId[] = "DiskCacheInfoApi";

    // Number of blocks stored.
    virtual uint32_t LUMO_CALL GetEntryCount() = 0;
    // Bytes of block data stored.
    virtual uint64_t LUMO_CALL GetTotalBytes() = 0;
    // The size bound; least recently used blocks leave beyond it.
    virtual uint64_t LUMO_CALL GetLimitBytes() = 0;
    // Where the cache lives (a path). Borrowed; valid while the object lives.
    virtual const char* LUMO_CALL GetLocation() = 0;
};

// Implemented by the host ("CacheApi"): the disk cache, with the asking module's id and "."
// put in front of every key so modules never collide.
class CacheApi : public Api {
public:
    static constexpr const char TypeId[] = "CacheApi";

    // As DiskCacheApi::Store: value is the block's tag. Nonzero on success; 0 with a last error.
    virtual int32_t LUMO_CALL Store(const char* key, DataApi* data, uint32_t value) = 0;
    // Failures are not reported.
    virtual void LUMO_CALL Remove(const char* key) = 0;
    // A new reference, or null with 1168 when absent or stored with another nonzero tag.
    virtual DataApi* LUMO_CALL Lookup(const char* key, uint32_t value) = 0;
};

} // namespace LumoApi
