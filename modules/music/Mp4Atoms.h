// What TagLib's MP4 reader would do with a file's atom tree, found without building it. TagLib
// builds the tree by recursion, one chain of stack frames per level of nesting, and keeps every
// atom in memory: a file of a few hundred kilobytes of nested "moov" boxes overflows the stack,
// one of millions of empty atoms fills the memory. Safe on any thread.
#pragma once

#include <cstddef>

namespace LumoMusic {

// Real files nest about eight levels deep and hold some hundreds of atoms; a fragmented
// recording of some hours some hundred thousand.
constexpr int c_MaxMp4Depth = 64;
constexpr size_t c_MaxMp4Atoms = 1000000;

// Walks the atoms of the file open at fd (lengthBytes long) in the order TagLib reads them, by
// the same rules: which atoms hold others, where their children start, that a child may run
// past its parent's end, and where a bad size ends the reading. Where TagLib stops early for
// other reasons, the walk goes on, so it never sees less than TagLib would. False when the
// tree nests deeper than c_MaxMp4Depth or holds more than c_MaxMp4Atoms atoms.
bool Mp4TreeIsBounded(int fd, long long lengthBytes);

} // namespace LumoMusic
