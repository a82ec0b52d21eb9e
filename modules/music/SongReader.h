// A song's tags and audio properties through TagLib, read from a file opened read-only.
#pragma once

#include <string>

#include "AudioFormats.h"

namespace LumoMusic {

struct SongInfo {
    // Cleaned for display (CleanTagText); empty when absent.
    std::string title;
    std::string artist;
    std::string album;
    std::string genre;
    unsigned year = 0;
    int durationMs = 0;
    int bitRateKbps = 0;
    int sampleRateHz = 0;
    unsigned trackNumber = 0;
    int channels = 0;
    // The tags store a picture that ReadCover would answer.
    bool hasCover = false;
};

// A picture stored in a song's tags: the front cover when there is one, else the first.
struct SongCover {
    // "image/jpeg", "image/png", ... as the tag names it, lower case.
    std::string mime;
    std::string bytes;
};

// Reads the song at path. named is the format its name gave; when the file's first bytes
// clearly show another format (an Opus stream in a ".ogg", a FLAC file called ".mp3"), the
// reader of that format is used. False when the file cannot be opened or is not a regular
// file; a file TagLib cannot make sense of answers true with nothing filled in. Never throws:
// whatever TagLib raises on a damaged file leaves the info as far as it got.
bool ReadSong(const std::string& path, AudioFormat named, SongInfo& info);

// Reads the picture stored in the song at path (ID3v2 APIC, FLAC and Xiph pictures, MP4
// "covr", WMA pictures). False when there is none, or the file cannot be read; like ReadSong it
// never throws and a damaged tag only costs the picture.
bool ReadCover(const std::string& path, AudioFormat named, SongCover& cover);

} // namespace LumoMusic
