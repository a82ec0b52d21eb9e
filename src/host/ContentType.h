// Content types ("major/minor") and the pattern lists that filter them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct ContentTypePair {
    std::string major;
    std::string minor;
};

// The text before the first "/", or the whole text.
std::string ContentTypeMajor(std::string_view contentType);
// The text after the first "/", or empty.
std::string ContentTypeMinor(std::string_view contentType);
ContentTypePair SplitContentType(std::string_view contentType);

// Both parts non-empty.
bool IsValidPair(const ContentTypePair& pair);

// Majors match and minors match; "*" matches any part.
bool PairsMatch(const ContentTypePair& a, const ContentTypePair& b);

// Goes through patterns in order; the first entry that decides answers. A plain pattern
// that matches answers true; a "!"-negated pattern that does not match answers true; the end
// of the list answers false. So {"!image/*"} passes everything that is not an image.
bool MatchesContentTypeList(const ContentTypePair& contentType, const std::vector<std::string>& patterns);

// Splits a comma-separated list, trimming blanks and dropping empty entries.
std::vector<std::string> SplitCommaList(std::string_view text);

std::string ToLower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Well-known content types and their tests.
inline constexpr char c_ContainerMajor[] = "x-container";
inline constexpr char c_FolderType[] = "x-container/folder";
inline constexpr char c_AudioMajor[] = "audio";
inline constexpr char c_ImageMajor[] = "image";
inline constexpr char c_JpegType[] = "image/jpeg";
inline constexpr char c_ShellLinkType[] = "application/x-lumolink";
inline constexpr char c_BrokenType[] = "x-application/lumo-broken";
