#include "host/ListedFiles.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <typeinfo>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "host/UrlImpl.h"

using namespace LumoApi;

namespace {

int64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Only the host's own URL objects can carry a record; a module's own UrlApi cannot. UrlImpl is
// final, so comparing the type is enough, and cheaper than a cast that searches the hierarchy:
// listings ask for every item.
UrlImpl* HostUrl(UrlApi* url)
{
    return url && typeid(*url) == typeid(UrlImpl) ? static_cast<UrlImpl*>(url) : nullptr;
}

int32_t Fail(uint32_t code)
{
    LumoSetLastError(code);
    return 0;
}

} // namespace

ListedFiles& ListedFiles::Instance()
{
    static ListedFiles instance;
    return instance;
}

int32_t LUMO_CALL ListedFiles::Attach(UrlApi* url, const ListedFile* record)
{
    UrlImpl* own = HostUrl(url);
    if (!own || !record || record->size < offsetof(ListedFile, fileType) + sizeof(record->fileType))
        return Fail(ERROR_INVALID_PARAMETER);
    UrlImpl::Listed listed{};
    // A filler of a later version sends more than this host knows: the rest is not kept. One
    // of an earlier version sends less: the fields it did not know stay zero.
    const size_t known = std::min<size_t>(record->size, sizeof(ListedFile));
    std::memcpy(&listed.record, record, known);
    listed.record.size = uint32_t(known);
    listed.attachedNs = MonotonicNs();
    if (!own->AttachListed(listed))
        return Fail(ERROR_ALREADY_INITIALIZED);
    return 1;
}

int32_t LUMO_CALL ListedFiles::Read(UrlApi* url, ListedFile* record, uint32_t maxAgeMs)
{
    if (!url || !record || record->size < sizeof(record->size))
        return Fail(ERROR_INVALID_PARAMETER);
    const size_t room = std::min<size_t>(record->size, sizeof(ListedFile));
    UrlImpl* own = HostUrl(url);
    const UrlImpl::Listed* listed = own ? own->GetListed() : nullptr;
    if (!listed || (maxAgeMs != 0 && MonotonicNs() - listed->attachedNs > int64_t(maxAgeMs) * 1000000))
        return Fail(ERROR_NOT_FOUND);
    const size_t copied = std::min<size_t>(room, listed->record.size);
    auto* bytes = reinterpret_cast<unsigned char*>(record);
    std::memcpy(bytes, &listed->record, copied);
    std::memset(bytes + copied, 0, room - copied);
    record->size = uint32_t(copied);
    return 1;
}
