// Texts of the module: file names and tags are bytes in whatever encoding their author used,
// and everything handed to the host must be readable UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace LumoMusic {

// Longest value handed out, in bytes: tags of hundreds of kilobytes exist (lyrics pasted into
// a title, broken taggers), and no view shows more.
constexpr size_t c_MaxValueBytes = 4096;

// True when bytes are well-formed UTF-8: no overlong forms, surrogates or values past U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// bytes read as Windows-1252, in UTF-8. That is Latin-1 with printable letters in place of the
// unused control range 0x80-0x9F, where Windows playlists and tags put "€", "…" and quotes.
std::string Latin1ToUtf8(std::string_view bytes);

// UTF-16 bytes (an odd last byte is dropped) in UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);

// bytes as text for people: well-formed UTF-8 stays, any other byte is read as Windows-1252
// (a name from an old Latin-1 system shows as it was meant), and control characters become
// U+FFFD.
std::string ReadableText(std::string_view bytes);

// A tag value for display: readable, control characters and NULs turned into spaces, trimmed,
// and cut to at most maxBytes on a character boundary. Empty means the tag is absent.
std::string CleanTagText(std::string_view text, size_t maxBytes = c_MaxValueBytes);

std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// "44.1 kHz", "48 kHz", "22.05 kHz", "11.025 kHz"; rates below 1 kHz as "%d Hz".
std::string SampleRateText(int rateHz);
// "320 kbps".
std::string BitRateText(int rateKbps);

// The URL text of an absolute path as the host composes it (Url.h): "file://" and the path with
// every byte outside "A-Za-z0-9$-_.!*'(),:/" written "%XX", so any name survives. prefix goes in
// front of the scheme ("lumomusic-").
std::string FileUrlText(std::string_view absolutePath, std::string_view prefix = {});

// Each "%XX" turned into its byte; a "%" without two hexadecimal digits stays as it is.
std::string PercentDecode(std::string_view text);

} // namespace LumoMusic
