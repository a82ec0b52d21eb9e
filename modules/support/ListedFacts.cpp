#include "ListedFacts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace LumoApi;

namespace LumoModules {

namespace {

constexpr size_t c_FullRecord = offsetof(ListedFile, inode) + sizeof(uint64_t);

int64_t Nanoseconds(const struct statx_timestamp& time)
{
    return int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

void ListedFacts::Attach(HostProgramApi* host, ModuleApi* module) noexcept
{
    if (!host || !module)
        return;
    module->AddRef(); // the host takes over one reference
    // Last error 87 from an older host: nothing to attach to, the module stats as before.
    Api* api = host->GetApi(ListedFileApi::TypeId, module);
    m_api.store(static_cast<ListedFileApi*>(api), std::memory_order_release);
}

void ListedFacts::Detach() noexcept
{
    if (ListedFileApi* api = m_api.exchange(nullptr, std::memory_order_acq_rel))
        api->Release();
}

std::optional<ListedFile> ListedFacts::Read(UrlApi* url) const noexcept
{
    ListedFileApi* api = m_api.load(std::memory_order_acquire);
    if (!api || !url)
        return std::nullopt;
    ListedFile record{};
    record.size = sizeof record;
    if (!api->Read(url, &record, c_ListedFileFreshMs) || !ListedFileHas(record, c_FullRecord))
        return std::nullopt;
    return record;
}

bool ListedFacts::Attach(UrlApi* url, const ListedFile& record) const noexcept
{
    ListedFileApi* api = m_api.load(std::memory_order_acquire);
    return api && url && api->Attach(url, &record) != 0;
}

std::optional<ListedFile> StatListedFile(const char* path) noexcept
{
    struct statx info { };
    if (!path || statx(AT_FDCWD, path, AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
        return std::nullopt;
    ListedFile record{};
    record.size = sizeof record;
    record.fileType = S_ISREG(info.stx_mode) ? c_ListedRegular
        : S_ISDIR(info.stx_mode)             ? c_ListedFolder
                                             : c_ListedOther;
    record.sizeBytes = info.stx_size;
    record.modifiedNs = Nanoseconds(info.stx_mtime);
    record.changedNs = Nanoseconds(info.stx_ctime);
    if (info.stx_mask & STATX_BTIME) {
        record.flags |= c_ListedBirthTime;
        record.createdNs = Nanoseconds(info.stx_btime);
    }
    record.device = makedev(info.stx_dev_major, info.stx_dev_minor);
    record.inode = info.stx_ino;
    return record;
}

} // namespace LumoModules
