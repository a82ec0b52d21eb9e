// What a folder listing saw of each child, handed with the child's URL to whoever looks at it
// next, so that a media module need not ask the file system again for what the lister just
// read.
//
// Who fills it: a container that reads a file system (the folders module) attaches one record
// to each child URL it makes, before it hands the URL out. A container that hands out another
// URL for the same file (a media class putting its prefix on the scheme) may copy the record to
// it. Who reads it: any module given the URL (Identify, details). Nobody has to: a host without
// "ListedFileApi" (older hosts) answers null with 87 for it, a lister that attaches nothing
// leaves URLs without a record, and a reader then looks at the file itself, as it always did.
//
// Lifetime: the host keeps a copy inside the URL object; it lives and dies with the URL.
//
// Versions: the record begins with its own size. A filler sets `size` to the bytes it filled
// (sizeof its ListedFile); a reader sets `size` to sizeof its own ListedFile, and Read copies
// the smaller of the two sizes and zeroes the rest. Fields are only ever added at the end, so
// a reader checks that `size` reaches past the fields it uses (ListedFileHas) and looks at the
// file itself when it does not.
//
// Staleness: a record is what the file system said when the folder was listed. The file may
// change or go away a moment later, as it may after any stat. A reader uses a record only for
// what a stat of its own would have been used for at that moment (an item's type, size and
// dates as shown), and only while it is young: Read answers a record attached at most maxAgeMs
// ago (readers pass c_ListedFileFreshMs), so that a URL kept for long (a tree item) does not
// carry old facts into new details. What must be exact reads the file: opening it for its
// bytes, or publishing it. A change after the listing reaches the listing's subscribers as a
// change notification, whose URL carries no record or a new one.
#pragma once

#include "Api.h"

namespace LumoApi {

class UrlApi;

// ListedFile::fileType: the type of what the entry names, symbolic links followed.
constexpr uint32_t c_ListedOther = 0;
constexpr uint32_t c_ListedRegular = 1;
constexpr uint32_t c_ListedFolder = 2;

// ListedFile::flags.
// The lister judged the entry readable by the user: a file that may be read, a folder that may
// be opened and searched. Unset: not judged.
constexpr uint32_t c_ListedReadable = 1;
// createdNs holds the file system's birth time; unset, createdNs is 0.
constexpr uint32_t c_ListedBirthTime = 2;

// How old a record a reader accepts, in milliseconds.
constexpr uint32_t c_ListedFileFreshMs = 2000;

struct ListedFile {
    // Bytes of this record that hold data; see the versioning rule above.
    uint32_t size;
    uint32_t flags;
    uint32_t fileType;
    uint32_t reserved;
    uint64_t sizeBytes;
    // Nanoseconds since 1970 UTC: last modification, last status change, birth.
    int64_t modifiedNs;
    int64_t changedNs;
    int64_t createdNs;
    uint64_t device;
    uint64_t inode;
};

static_assert(sizeof(ListedFile) == 64, "ListedFile layout is fixed");
static_assert(offsetof(ListedFile, sizeBytes) == 16, "ListedFile layout is fixed");
static_assert(offsetof(ListedFile, inode) == 56, "ListedFile layout is fixed");

// True when record (filled by Read) reaches past the field that ends at fieldEnd, such as
// offsetof(ListedFile, inode) + sizeof(uint64_t).
inline bool ListedFileHas(const ListedFile& record, size_t fieldEnd)
{
    return record.size >= fieldEnd;
}

// Implemented by the host ("ListedFileApi"; RefNeutral). Any thread; a URL's record is set once
// and then only read, so readers on several threads need no lock of their own.
class ListedFileApi : public Api {
public:
    static constexpr const char TypeId[] = "ListedFileApi";

    // Attaches a copy of record (borrowed; record->size bytes of it) to url, a URL object of
    // this host that the caller made and has not handed out yet. Nonzero on success; 0 with
    // 87 for a URL the host did not make, a null record or one whose size does not reach
    // `fileType`; 0 with 1247 when url carries a record already.
    virtual int32_t LUMO_CALL Attach(UrlApi* url, const ListedFile* record) = 0;
    // Copies url's record into record, whose size the caller sets first (sizeof(ListedFile)),
    // and sets record->size to the bytes copied; the bytes beyond them are zeroed. Nonzero when
    // url carries a record attached at most maxAgeMs ago (0: of any age); 0 with 1168 when it
    // carries none or an older one, 87 for a bad argument.
    virtual int32_t LUMO_CALL Read(UrlApi* url, ListedFile* record, uint32_t maxAgeMs) = 0;
};

} // namespace LumoApi
