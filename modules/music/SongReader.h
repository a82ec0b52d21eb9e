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
};

// Reads the song at path. named is the format its name gave; when the file's first bytes
// clearly show another format (an Opus stream in a ".ogg", a FLAC file called ".mp3"), the
// reader of that format is used. False when the file cannot be opened or is not a regular
// file; a file TagLib cannot make sense of answers true with nothing filled in. Never throws:
// whatever TagLib raises on a damaged file leaves the info as far as it got.
bool ReadSong(const std::string& path, AudioFormat named, SongInfo& info);

} // namespace LumoMusic
