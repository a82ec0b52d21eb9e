#include "FolderEvents.h"

#include <cstdlib>
#include <cstring>
#include <sys/inotify.h>
#include <sys/vfs.h>

#include <lumo/Media.h>

namespace LumoFolders {

namespace {

constexpr char c_ForcePollVariable[] = "LUMO_FOLDERS_POLL";

} // namespace

uint32_t WatchMask()
{
    return IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF
        | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
}

std::vector<WatchEvent> DecodeEvents(const char* buffer, size_t sizeBytes)
{
    std::vector<WatchEvent> events;
    size_t at = 0;
    while (sizeBytes - at >= sizeof(inotify_event)) {
        inotify_event header;
        std::memcpy(&header, buffer + at, sizeof header);
        const size_t nameBytes = header.len;
        if (nameBytes > sizeBytes - at - sizeof header)
            break;
        const char* name = buffer + at + sizeof header;
        // The name is padded with NULs to the record's length.
        events.push_back(WatchEvent{header.wd, header.mask, std::string(name, strnlen(name, nameBytes))});
        at += sizeof header + nameBytes;
    }
    return events;
}

EventMeaning MeaningOf(const WatchEvent& event)
{
    if (event.mask & IN_Q_OVERFLOW)
        return EventMeaning::Overflow;
    if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED))
        return EventMeaning::SelfGone;
    if (event.name.empty())
        return (event.mask & IN_ATTRIB) ? EventMeaning::SelfAttributes : EventMeaning::Ignore;
    if (event.name[0] == '.')
        return EventMeaning::Ignore;
    constexpr uint32_t childEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_CLOSE_WRITE;
    return (event.mask & childEvents) ? EventMeaning::Child : EventMeaning::Ignore;
}

std::optional<int32_t> OutcomeOf(bool listedBefore, bool listsNow)
{
    if (!listedBefore && listsNow)
        return LumoApi::c_ChildAdded;
    if (listedBefore && !listsNow)
        return LumoApi::c_ChildRemoved;
    if (listedBefore && listsNow)
        return LumoApi::c_ContainerChanged;
    return std::nullopt;
}

std::vector<FolderNews> CompareSnapshots(const Snapshot& before, const Snapshot& after)
{
    std::vector<FolderNews> news;
    auto old = before.begin();
    auto now = after.begin();
    while (old != before.end() || now != after.end()) {
        if (now == after.end() || (old != before.end() && old->first < now->first)) {
            news.push_back(FolderNews{LumoApi::c_ChildRemoved, old->first});
            ++old;
        } else if (old == before.end() || now->first < old->first) {
            news.push_back(FolderNews{LumoApi::c_ChildAdded, now->first});
            ++now;
        } else {
            if (!(old->second == now->second))
                news.push_back(FolderNews{LumoApi::c_ContainerChanged, now->first});
            ++old;
            ++now;
        }
    }
    return news;
}

void ListedNames::Set(const std::string& name, const EntryState* state)
{
    if (state) {
        names.erase(name);
        stamped[name] = *state;
    } else {
        stamped.erase(name);
        names.insert(name);
    }
}

void ListedNames::Erase(const std::string& name)
{
    names.erase(name);
    stamped.erase(name);
}

Snapshot ListedNames::AsSnapshot() const
{
    Snapshot whole = stamped;
    for (const std::string& name : names)
        whole.emplace(name, EntryState{});
    return whole;
}

bool IsPolledFileSystem(int64_t fileSystemType)
{
    switch (static_cast<uint32_t>(fileSystemType)) {
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x65735546: // FUSE: sshfs and every other user-space file system
    case 0x01021997: // 9P
    case 0x5346414F: // AFS
    case 0x6B414653: // kAFS
    case 0x00C36400: // Ceph
    case 0x73757245: // Coda
    case 0x564C:     // NCP
        return true;
    default:
        return false;
    }
}

std::string PollReason(const std::string& path)
{
    const char* force = std::getenv(c_ForcePollVariable);
    if (force && std::strcmp(force, "1") == 0)
        return std::string(c_ForcePollVariable) + "=1 is set";
    struct statfs info { };
    if (statfs(path.c_str(), &info) == 0 && IsPolledFileSystem(info.f_type))
        return "it is on a network or FUSE file system, whose changes inotify does not see";
    return std::string();
}

} // namespace LumoFolders
