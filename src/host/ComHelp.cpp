#include "ComHelp.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <unordered_set>
#include <utility>

#include <lumo/Errors.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"

using namespace LumoApi;

namespace {

constexpr HResult E_POINTER = static_cast<HResult>(0x80004003u);
constexpr Guid c_NullGuid = {};
constexpr uint32_t c_MinHeapCapacity = 4000;
constexpr uint64_t c_MaxStreamSize = std::numeric_limits<uint32_t>::max();

bool SameGuid(const Guid& a, const Guid& b)
{
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3
        && std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

// Every live stream made here. A foreign stream may answer the all-zero identifier with
// itself as well; treating it as ours would read its memory as our layout.
class StreamRegistry {
public:
    void Add(const void* stream)
    {
        std::lock_guard lock(m_lock);
        m_streams.insert(stream);
    }
    void Remove(const void* stream) noexcept
    {
        std::lock_guard lock(m_lock);
        m_streams.erase(stream);
    }
    bool Contains(const void* stream) noexcept
    {
        std::lock_guard lock(m_lock);
        return m_streams.count(stream) != 0;
    }

private:
    std::mutex m_lock; // guards m_streams
    std::unordered_set<const void*> m_streams;
};

StreamRegistry& Streams()
{
    // Never destroyed: streams still alive at exit unregister after static destruction.
    static StreamRegistry* registry = new StreamRegistry;
    return *registry;
}

// Reference counting, QueryInterface, Read, Seek and the operations no stream here supports.
// Positions and sizes are 32-bit; the position never exceeds the size.
class Stream : public IStream {
public:
    Stream() { Streams().Add(static_cast<IStream*>(this)); }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // The current bytes; valid until the next Write or SetSize.
    virtual const uint8_t* Bytes() const noexcept = 0;
    virtual uint32_t Size() const noexcept = 0;

    HResult LUMO_CALL QueryInterface(const Guid& iid, void** object) noexcept override
    {
        if (!object)
            return E_POINTER;
        // The all-zero identifier is how CreateDataOnStream recognises our own streams.
        if (SameGuid(iid, c_NullGuid) || SameGuid(iid, IID_IUnknown) || SameGuid(iid, IID_ISequentialStream)
            || SameGuid(iid, IID_IStream)) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    uint32_t LUMO_CALL AddRef() noexcept override { return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1; }

    uint32_t LUMO_CALL Release() noexcept override
    {
        const uint32_t count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0)
            delete this;
        return count;
    }

    HResult LUMO_CALL Read(void* buffer, uint32_t count, uint32_t* read) noexcept override
    {
        if (read)
            *read = 0;
        if (!buffer)
            return STG_E_INVALIDPOINTER;
        const uint32_t size = Size();
        const uint32_t n = m_position < size ? std::min(count, size - m_position) : 0;
        if (n)
            std::memcpy(buffer, Bytes() + m_position, n);
        m_position += n;
        if (read)
            *read = n;
        return S_OK;
    }

    HResult LUMO_CALL Seek(int64_t move, uint32_t origin, uint64_t* new_position) noexcept override
    {
        const int64_t offset = static_cast<int32_t>(static_cast<uint32_t>(move));
        int64_t target;
        switch (origin) {
        case STREAM_SEEK_SET:
            target = offset;
            break;
        case STREAM_SEEK_CUR:
            target = int64_t(m_position) + offset;
            break;
        case STREAM_SEEK_END:
            target = int64_t(Size()) + offset;
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        if (target < 0 || target > int64_t(Size()))
            return STG_E_INVALIDPOINTER;
        m_position = static_cast<uint32_t>(target);
        if (new_position)
            *new_position = m_position;
        return S_OK;
    }

    HResult LUMO_CALL CopyTo(IStream*, uint64_t, uint64_t*, uint64_t*) noexcept override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HResult LUMO_CALL Commit(uint32_t) noexcept override { return S_OK; }
    HResult LUMO_CALL Revert() noexcept override { return S_OK; }
    HResult LUMO_CALL LockRegion(uint64_t, uint64_t, uint32_t) noexcept override { return STG_E_INVALIDFUNCTION; }
    HResult LUMO_CALL UnlockRegion(uint64_t, uint64_t, uint32_t) noexcept override { return STG_E_INVALIDFUNCTION; }
    HResult LUMO_CALL Stat(StatStg*, uint32_t) noexcept override { return STG_E_INVALIDFUNCTION; }
    HResult LUMO_CALL Clone(IStream** clone) noexcept override
    {
        if (clone)
            *clone = nullptr;
        return STG_E_INVALIDFUNCTION;
    }

protected:
    virtual ~Stream() { Streams().Remove(static_cast<IStream*>(this)); }

    uint32_t m_position = 0;

private:
    std::atomic<uint32_t> m_refCount{1};
};

class HeapStream final : public Stream {
public:
    explicit HeapStream(uint32_t initialSize)
        : m_capacity(std::max(c_MinHeapCapacity, initialSize)), m_size(initialSize)
    {
        m_buffer = static_cast<uint8_t*>(std::calloc(m_capacity, 1));
        if (!m_buffer)
            ThrowWinError(ERROR_NOT_ENOUGH_MEMORY);
    }
    ~HeapStream() override { std::free(m_buffer); }

    const uint8_t* Bytes() const noexcept override { return m_buffer; }
    uint32_t Size() const noexcept override { return m_size; }

    HResult LUMO_CALL Write(const void* buffer, uint32_t count, uint32_t* written) noexcept override
    {
        if (written)
            *written = 0;
        if (!buffer)
            return STG_E_INVALIDPOINTER;
        const uint64_t end = uint64_t(m_position) + count;
        if (end > m_size) {
            const HResult result = SetSize(end);
            if (result != S_OK)
                return result;
        }
        if (count)
            std::memcpy(m_buffer + m_position, buffer, count);
        m_position += count;
        if (written)
            *written = count;
        return S_OK;
    }

    HResult LUMO_CALL SetSize(uint64_t new_size) noexcept override
    {
        // Cutting a larger size to 32 bits would silently shrink the stream instead.
        if (new_size > c_MaxStreamSize)
            return STG_E_MEDIUMFULL;
        const auto size = static_cast<uint32_t>(new_size);
        if (size == m_size)
            return S_OK;
        if (size > m_capacity && !Grow(size))
            return STG_E_MEDIUMFULL;
        // Bytes beyond the old size may hold what a shrink cut off; a grown stream reads zeros.
        if (size > m_size)
            std::memset(m_buffer + m_size, 0, size - m_size);
        m_size = size;
        m_position = std::min(m_position, m_size);
        return S_OK;
    }

private:
    bool Grow(uint32_t size) noexcept
    {
        // Growing to exactly the size asked would copy the whole buffer again on every small
        // write past the end; half as much again keeps appending linear.
        const uint64_t generous = std::min(c_MaxStreamSize, std::max<uint64_t>(size, m_capacity + m_capacity / 2ull));
        for (const uint64_t capacity : {generous, uint64_t(size)}) {
            if (auto* grown = static_cast<uint8_t*>(std::realloc(m_buffer, capacity))) {
                m_buffer = grown;
                m_capacity = static_cast<uint32_t>(capacity);
                return true;
            }
        }
        return false;
    }

    uint8_t* m_buffer = nullptr;
    uint32_t m_capacity;
    uint32_t m_size;
};

// Read-only over the bytes the data held when the stream was made.
class ComDataStream final : public Stream {
public:
    explicit ComDataStream(DataApi& data)
        : m_data(ApiRef<DataApi>::Share(&data)), m_bytes(data.GetBytes()), m_size(m_bytes ? data.GetSize() : 0)
    {
    }

    const uint8_t* Bytes() const noexcept override { return m_bytes; }
    uint32_t Size() const noexcept override { return m_size; }

    HResult LUMO_CALL Write(const void*, uint32_t, uint32_t* written) noexcept override
    {
        if (written)
            *written = 0;
        return STG_E_ACCESSDENIED;
    }
    HResult LUMO_CALL SetSize(uint64_t) noexcept override { return STG_E_ACCESSDENIED; }

private:
    ApiRef<DataApi> m_data;
    const uint8_t* m_bytes;
    uint32_t m_size;
};

// The stream's current buffer, not a copy: later writes show through.
class StreamData final : public RefCounted<DataApi> {
public:
    // Adopts one reference to stream.
    explicit StreamData(Stream& stream) noexcept : m_stream(stream) { }
    ~StreamData() override { m_stream.Release(); }

    const uint8_t* LUMO_CALL GetBytes() override { return m_stream.Bytes(); }
    uint32_t LUMO_CALL GetSize() override { return m_stream.Size(); }

private:
    Stream& m_stream;
};

// Releases one reference on leaving scope.
class ReleaseOnExit {
public:
    explicit ReleaseOnExit(IUnknown* object) noexcept : m_object(object) { }
    ~ReleaseOnExit()
    {
        if (m_object)
            m_object->Release();
    }
    ReleaseOnExit(const ReleaseOnExit&) = delete;
    ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;
    IUnknown* Detach() noexcept { return std::exchange(m_object, nullptr); }

private:
    IUnknown* m_object;
};

} // namespace

ComHelp& ComHelp::Instance()
{
    static ComHelp instance;
    return instance;
}

IStream* LUMO_CALL ComHelp::CreateHeapStream(uint32_t initial_size)
{
    return ApiBoundary(nullptr, [&]() -> IStream* { return new HeapStream(initial_size); });
}

IStream* LUMO_CALL ComHelp::CreateStreamOnData(DataApi* data)
{
    return ApiBoundary(nullptr, [&]() -> IStream* {
        if (!data)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        return new ComDataStream(*data);
    });
}

DataApi* LUMO_CALL ComHelp::CreateDataOnStream(IStream* stream)
{
    return ApiBoundary(nullptr, [&]() -> DataApi* {
        ReleaseOnExit given(stream);
        void* answer = nullptr;
        if (!stream || stream->QueryInterface(c_NullGuid, &answer) != S_OK || !answer)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        ReleaseOnExit answered(static_cast<IUnknown*>(answer));
        if (!Streams().Contains(answer))
            ThrowWinError(ERROR_INVALID_PARAMETER);
        auto* own = static_cast<Stream*>(static_cast<IStream*>(answer));
        DataApi* data = new StreamData(*own);
        answered.Detach();
        return data;
    });
}
