#include "PlaylistReader.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "MusicText.h"

namespace LumoMusic {

namespace {

enum class Encoding { Utf8, Latin1, Raw };

struct DecodedText {
    std::string text;
    Encoding encoding = Encoding::Utf8;
};

DecodedText Decode(std::string_view bytes, PlaylistKind kind)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return {std::string(bytes.substr(3)), Encoding::Utf8};
    if (bytes.substr(0, 2) == "\xFF\xFE")
        return {Utf16ToUtf8(bytes.substr(2), false), Encoding::Utf8};
    if (bytes.substr(0, 2) == "\xFE\xFF")
        return {Utf16ToUtf8(bytes.substr(2), true), Encoding::Utf8};
    if (IsValidUtf8(bytes))
        return {std::string(bytes), Encoding::Utf8};
    // An M3U8 that is not UTF-8 was written by something that copied file names byte for
    // byte: the bytes are the names.
    return {std::string(bytes), kind == PlaylistKind::M3u8 ? Encoding::Raw : Encoding::Latin1};
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

template <class Each>
void ForEachLine(std::string_view text, Each&& each)
{
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos)
            end = text.size();
        each(Trim(text.substr(at, end - at)));
        at = end + 1;
        if (end < text.size() && text[end] == '\r' && at < text.size() && text[at] == '\n')
            ++at;
    }
}

// The entry's location and raw bytes from one line of the list in its encoding.
PlaylistEntry EntryOf(std::string_view line, Encoding encoding)
{
    PlaylistEntry entry;
    if (encoding == Encoding::Latin1) {
        entry.location = Latin1ToUtf8(line);
        if (entry.location != line)
            entry.rawLocation = std::string(line);
    } else {
        entry.location = std::string(line);
    }
    return entry;
}

std::string TitleText(std::string_view text, Encoding encoding)
{
    return CleanTagText(encoding == Encoding::Latin1 ? Latin1ToUtf8(text) : std::string(text));
}

// "#EXTINF:<seconds> [attributes],<title>": the title follows the first comma outside quotes.
std::string_view ExtinfTitle(std::string_view line)
{
    bool quoted = false;
    for (size_t at = 8; at < line.size(); ++at) {
        if (line[at] == '"')
            quoted = !quoted;
        else if (line[at] == ',' && !quoted)
            return Trim(line.substr(at + 1));
    }
    return std::string_view();
}

bool StartsIgnoringCase(std::string_view text, std::string_view start)
{
    return text.size() >= start.size() && EqualsIgnoringAsciiCase(text.substr(0, start.size()), start);
}

std::vector<PlaylistEntry> ParseM3u(std::string_view text, Encoding encoding)
{
    std::vector<PlaylistEntry> entries;
    std::string title;
    ForEachLine(text, [&](std::string_view line) {
        if (line.empty())
            return;
        if (line.front() == '#') {
            if (StartsIgnoringCase(line, "#EXTINF:"))
                title = TitleText(ExtinfTitle(line), encoding);
            return;
        }
        // A NUL cannot be part of a name; such a line is damage, not an entry.
        if (line.find('\0') != std::string_view::npos) {
            title.clear();
            return;
        }
        PlaylistEntry entry = EntryOf(line, encoding);
        entry.title = std::move(title);
        title.clear();
        entries.push_back(std::move(entry));
    });
    return entries;
}

// The number after a key's name ("File12" → 12), if the key is name followed by digits only.
std::optional<unsigned long> KeyNumber(std::string_view key, std::string_view name)
{
    if (!StartsIgnoringCase(key, name) || key.size() == name.size() || key.size() > name.size() + 9)
        return std::nullopt;
    unsigned long number = 0;
    for (char digit : key.substr(name.size())) {
        if (digit < '0' || digit > '9')
            return std::nullopt;
        number = number * 10 + unsigned(digit - '0');
    }
    return number;
}

std::vector<PlaylistEntry> ParsePls(std::string_view text, Encoding encoding)
{
    std::map<unsigned long, PlaylistEntry> numbered;
    std::map<unsigned long, std::string> titles;
    ForEachLine(text, [&](std::string_view line) {
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return;
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (const std::optional<unsigned long> number = KeyNumber(key, "File")) {
            if (!value.empty() && value.find('\0') == std::string_view::npos)
                numbered.try_emplace(*number, EntryOf(value, encoding));
        } else if (const std::optional<unsigned long> number = KeyNumber(key, "Title")) {
            titles.try_emplace(*number, TitleText(value, encoding));
        }
    });
    std::vector<PlaylistEntry> entries;
    entries.reserve(numbered.size());
    for (auto& [number, entry] : numbered) {
        if (auto title = titles.find(number); title != titles.end())
            entry.title = std::move(title->second);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string_view FirstLine(std::string_view bytes)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    while (!bytes.empty() && (bytes.front() == '\r' || bytes.front() == '\n' || bytes.front() == ' '))
        bytes.remove_prefix(1);
    return Trim(bytes.substr(0, bytes.find_first_of("\r\n")));
}

} // namespace

PlaylistKind KindOfPlaylist(std::string_view extension, std::string_view bytes)
{
    const std::string_view first = FirstLine(bytes);
    if (EqualsIgnoringAsciiCase(first, "[playlist]"))
        return PlaylistKind::Pls;
    if (StartsIgnoringCase(first, "#EXTM3U"))
        return EqualsIgnoringAsciiCase(extension, ".m3u8") ? PlaylistKind::M3u8 : PlaylistKind::M3u;
    if (EqualsIgnoringAsciiCase(extension, ".pls"))
        return PlaylistKind::Pls;
    if (EqualsIgnoringAsciiCase(extension, ".m3u8"))
        return PlaylistKind::M3u8;
    return PlaylistKind::M3u;
}

std::vector<PlaylistEntry> ParsePlaylist(std::string_view bytes, PlaylistKind kind)
{
    const DecodedText decoded = Decode(bytes, kind);
    return kind == PlaylistKind::Pls ? ParsePls(decoded.text, decoded.encoding)
                                     : ParseM3u(decoded.text, decoded.encoding);
}

bool ReadPlaylistFile(const std::string& path, std::string& bytes)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info { };
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return false;
    }
    const size_t wanted = std::min<size_t>(size_t(info.st_size), c_MaxPlaylistBytes);
    bytes.assign(wanted, '\0');
    size_t done = 0;
    while (done < wanted) {
        const ssize_t count = pread(fd, bytes.data() + done, wanted - done, off_t(done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            const int error = errno;
            close(fd);
            errno = error;
            return false;
        }
        if (count == 0)
            break;
        done += size_t(count);
    }
    bytes.resize(done);
    close(fd);
    // A list cut at the limit ends with a piece of an entry: it would lead nowhere.
    if (size_t(info.st_size) > wanted)
        bytes.resize(bytes.rfind('\n') == std::string::npos ? 0 : bytes.rfind('\n') + 1);
    return true;
}

} // namespace LumoMusic
