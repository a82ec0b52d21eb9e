#include "Mp4Atoms.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <unistd.h>
#include <vector>

namespace LumoMusic {

namespace {

// The atoms TagLib reads the children of, and the children that tell a "meta" atom without
// version and flags (as QuickTime writes it) from one with them.
constexpr const char c_Containers[][5]
    = {"moov", "udta", "mdia", "meta", "ilst", "stbl", "minf", "moof", "traf", "trak", "stsd"};
constexpr const char c_BareMetaChildren[][5] = {"hdlr", "ilst", "mhdr", "ctry", "lang"};

template <size_t N>
bool IsOneOf(const uint8_t* name, const char (&names)[N][5])
{
    for (const char* candidate : names) {
        if (std::memcmp(name, candidate, 4) == 0)
            return true;
    }
    return false;
}

// All of count bytes at offset, or false.
bool ReadAt(int fd, long long offset, uint8_t* bytes, size_t count)
{
    size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(fd, bytes + done, count - done, off_t(offset + (long long)done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    return true;
}

uint64_t BigEndian(const uint8_t* bytes, size_t count)
{
    uint64_t value = 0;
    for (size_t at = 0; at < count; ++at)
        value = (value << 8) | bytes[at];
    return value;
}

long long Past(long long offset, long long length)
{
    return length > std::numeric_limits<long long>::max() - offset ? std::numeric_limits<long long>::max()
                                                                   : offset + length;
}

struct Atom {
    long long end = 0;
    bool container = false;
    long long childrenAt = 0;
};

// The atom whose header starts at offset; false where TagLib's reading of the file ends.
bool ReadAtom(int fd, long long lengthBytes, long long offset, Atom& atom)
{
    uint8_t header[8];
    if (!ReadAt(fd, offset, header, sizeof header))
        return false;
    long long length = (long long)BigEndian(header, 4);
    long long headerBytes = 8;
    if (length == 0) {
        length = lengthBytes - offset;
    } else if (length == 1) {
        uint8_t wide[8];
        if (!ReadAt(fd, offset + 8, wide, sizeof wide))
            return false;
        length = (long long)BigEndian(wide, 8);
        headerBytes = 16;
    }
    if (length < 8)
        return false;
    atom.end = Past(offset, length);
    atom.container = IsOneOf(header + 4, c_Containers);
    atom.childrenAt = offset + headerBytes;
    if (std::memcmp(header + 4, "stsd", 4) == 0) {
        atom.childrenAt += 8;
    } else if (std::memcmp(header + 4, "meta", 4) == 0) {
        uint8_t next[8];
        const bool bare = ReadAt(fd, atom.childrenAt, next, sizeof next) && IsOneOf(next + 4, c_BareMetaChildren);
        if (!bare)
            atom.childrenAt += 4;
    }
    return true;
}

} // namespace

bool Mp4TreeIsBounded(int fd, long long lengthBytes)
{
    // The ends of the atoms whose children are being read, innermost last. A child may run past
    // its parent's end; its parent's children then go on from where it ended, as in TagLib.
    std::vector<long long> ends;
    long long at = 0;
    size_t atoms = 0;
    for (;;) {
        while (!ends.empty() && at >= ends.back())
            ends.pop_back();
        if (ends.empty() && at > lengthBytes - 8)
            return true;
        Atom atom;
        if (!ReadAtom(fd, lengthBytes, at, atom))
            return true;
        if (++atoms > c_MaxMp4Atoms)
            return false;
        if (!atom.container) {
            at = atom.end;
            continue;
        }
        if (ends.size() >= size_t(c_MaxMp4Depth))
            return false;
        ends.push_back(atom.end);
        at = atom.childrenAt;
    }
}

} // namespace LumoMusic
