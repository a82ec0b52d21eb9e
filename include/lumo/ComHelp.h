// In-memory streams with the operations, order and result codes of the COM stream interface,
// for modules whose libraries read or write through such streams.
#pragma once

#include "Api.h"

namespace LumoApi {

class DataApi;

using HResult = int32_t;

constexpr HResult S_OK = 0;
constexpr HResult E_NOINTERFACE = static_cast<HResult>(0x80004002u);
constexpr HResult STG_E_INVALIDFUNCTION = static_cast<HResult>(0x80030001u);
constexpr HResult STG_E_ACCESSDENIED = static_cast<HResult>(0x80030005u);
constexpr HResult STG_E_INVALIDPOINTER = static_cast<HResult>(0x80030009u);
constexpr HResult STG_E_MEDIUMFULL = static_cast<HResult>(0x80030070u);

// Seek origins.
constexpr uint32_t STREAM_SEEK_SET = 0;
constexpr uint32_t STREAM_SEEK_CUR = 1;
constexpr uint32_t STREAM_SEEK_END = 2;

struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16, "Guid is 16 bytes");

// Interface identifiers the host's streams answer in QueryInterface.
constexpr Guid IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr Guid IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
constexpr Guid IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Stream statistics; the host's streams do not fill it (Stat answers STG_E_INVALIDFUNCTION).
struct StatStg;

class IUnknown {
public:
    virtual HResult LUMO_CALL QueryInterface(const Guid& iid, void** object) = 0;
    virtual uint32_t LUMO_CALL AddRef() = 0;
    virtual uint32_t LUMO_CALL Release() = 0;

protected:
    ~IUnknown() = default;
};

class ISequentialStream : public IUnknown {
public:
    // Reads up to count bytes; *read (may be null) gets the number read.
    virtual HResult LUMO_CALL Read(void* buffer, uint32_t count, uint32_t* read) = 0;
    virtual HResult LUMO_CALL Write(const void* buffer, uint32_t count, uint32_t* written) = 0;

protected:
    ~ISequentialStream() = default;
};

// Positions and sizes are 64-bit in the interface; the host's streams use the low 32 bits.
class IStream : public ISequentialStream {
public:
    virtual HResult LUMO_CALL Seek(int64_t move, uint32_t origin, uint64_t* new_position) = 0;
    virtual HResult LUMO_CALL SetSize(uint64_t new_size) = 0;
    virtual HResult LUMO_CALL CopyTo(IStream* target, uint64_t count, uint64_t* read, uint64_t* written) = 0;
    virtual HResult LUMO_CALL Commit(uint32_t flags) = 0;
    virtual HResult LUMO_CALL Revert() = 0;
    virtual HResult LUMO_CALL LockRegion(uint64_t offset, uint64_t count, uint32_t lock_type) = 0;
    virtual HResult LUMO_CALL UnlockRegion(uint64_t offset, uint64_t count, uint32_t lock_type) = 0;
    virtual HResult LUMO_CALL Stat(StatStg* stat, uint32_t flags) = 0;
    virtual HResult LUMO_CALL Clone(IStream** clone) = 0;

protected:
    ~IStream() = default;
};

// Implemented by the host ("ComHelpApi", one shared object). Any thread.
class ComHelpApi : public Api {
public:
    static constexpr const char TypeId[] = "ComHelpApi";

    // A new writable in-memory stream of initial_size bytes (a new reference), or null with 8.
    virtual IStream* LUMO_CALL CreateHeapStream(uint32_t initial_size) = 0;
    // A new read-only stream over data (borrowed; the stream keeps its own reference).
    virtual IStream* LUMO_CALL CreateStreamOnData(DataApi* data) = 0;
    // A DataApi over the current bytes of stream, without copying. stream must come from
    // this API; its reference is taken over. Null with 87 for a foreign stream.
    virtual DataApi* LUMO_CALL CreateDataOnStream(IStream* stream) = 0;
};

} // namespace LumoApi
