// What the commands of lumo-publish share: their arguments, how a failed input is reported,
// and the one-line form of an item.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Url.h>

class HostInternals;
struct MediaModule;
class Url;

using Arguments = std::vector<std::string>;

// Raised for arguments a command cannot take; main prints the text and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Counts the inputs that failed, each reported on standard error as "lumo-publish: INPUT:
// TEXT", so that a command goes on with the next input and still exits non-zero.
class Outcome {
public:
    void Fail(const std::string& input, const std::exception& error);
    void Fail(const std::string& input, const std::string& text);
    int Status() const noexcept { return m_failures == 0 ? 0 : 1; }

private:
    int m_failures = 0;
};

// "music" and "photos" name the two media classes; raises UsageError for anything else.
std::string ClassIdOf(const std::string& name);

// text with every control character (tabs and line ends included) turned into a space, so
// that one item always prints as one line of tab-separated fields.
std::string OneLine(std::string text);

// Prints "CONTENT-TYPE <tab> TITLE <tab> URL" and answers the content type. An item no module
// handles still prints, with the host's decided type and the last part of its path. module,
// when given, receives the module found for the item, or null.
std::string PrintItemLine(
    HostInternals& host, const LumoApi::ApiRef<LumoApi::UrlApi>& url, const MediaModule** module = nullptr);

// Raises the file system's answer when url names a local file or folder that cannot be
// reached, which says more than the "no module handles it" that would follow.
void RequireReachable(const Url& url);

// True for the content types of items that have children.
bool IsContainerType(const std::string& type);
