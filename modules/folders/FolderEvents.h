// The pure part of watching: inotify records decoded and sorted by what they mean for a folder,
// the names touched in one coalescing window, and the news each touched name gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "FolderReader.h"

namespace LumoFolders {

// The inotify events a watched folder asks for.
uint32_t WatchMask();

struct WatchEvent {
    int wd;
    uint32_t mask;
    std::string name;
};

// The records of a buffer read from an inotify descriptor. A record cut short at the end of
// the buffer, or claiming more name bytes than the buffer holds, ends the list.
std::vector<WatchEvent> DecodeEvents(const char* buffer, size_t sizeBytes);

enum class EventMeaning {
    // Nothing to report (a hidden child, an event we did not ask for).
    Ignore,
    // A child was created, deleted, renamed, written or had its attributes changed.
    Child,
    // The folder's own attributes changed: its readability may have.
    SelfAttributes,
    // The folder was deleted, moved away or unmounted; its watch is gone or useless.
    SelfGone,
    // The kernel dropped events: every watched folder must be listed again.
    Overflow,
};
EventMeaning MeaningOf(const WatchEvent& event);

// The names touched in one window, and whether the folder as a whole must be listed again.
// Repeats of a name collapse: each name is looked at once when the window closes.
class ChangeSet {
public:
    void Touch(const std::string& name) { m_names.insert(name); }
    void SetWholeChanged() { m_wholeChanged = true; }
    void SetAttributesChanged() { m_attributesChanged = true; }

    bool IsEmpty() const noexcept { return m_names.empty() && !m_wholeChanged && !m_attributesChanged; }
    bool WholeChanged() const noexcept { return m_wholeChanged; }
    bool AttributesChanged() const noexcept { return m_attributesChanged; }
    const std::set<std::string>& Names() const noexcept { return m_names; }

private:
    std::set<std::string> m_names;
    bool m_wholeChanged = false;
    bool m_attributesChanged = false;
};

// The event for a touched name, from whether the subscribers' listing had it and whether the
// folder lists it now: added, removed, changed (there before and after: written, or replaced
// by a rename), or nothing (created and gone again within the window).
std::optional<int32_t> OutcomeOf(bool listedBefore, bool listsNow);

// One piece of news for the subscribers of a folder; an empty name is the whole folder.
struct FolderNews {
    int32_t event;
    std::string name;

    bool operator==(const FolderNews&) const = default;
};

// What a poll finds: the differences between two listings, by name.
using Snapshot = std::map<std::string, EntryState>;
std::vector<FolderNews> CompareSnapshots(const Snapshot& before, const Snapshot& after);

// The names a folder lists, as far as its subscribers were told. A polled folder keeps each
// name's stamps, which its polls compare; a folder inotify watches keeps the names alone: a
// folder of 100,000 songs would otherwise hold 6 MB of stamps that are never read.
struct ListedNames {
    Snapshot stamped;
    std::unordered_set<std::string> names;

    bool Contains(const std::string& name) const { return names.count(name) != 0 || stamped.count(name) != 0; }
    // Stamped when state is given, else by name alone.
    void Set(const std::string& name, const EntryState* state);
    void Erase(const std::string& name);
    // What a poll compares with: the stamped names, and any kept by name alone without stamps.
    Snapshot AsSnapshot() const;
};

// File systems whose changes inotify does not see (made on another machine or by a FUSE
// daemon), by statfs's f_type.
bool IsPolledFileSystem(int64_t fileSystemType);

// Why path must be polled ("" when inotify serves): LUMO_FOLDERS_POLL=1 in the environment
// forces polling, else the file system decides.
std::string PollReason(const std::string& path);

} // namespace LumoFolders
