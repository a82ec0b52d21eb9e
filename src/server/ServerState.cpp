#include "server/ServerState.h"

#include <charconv>

namespace {

// Problems are free text: quoted, with quotes, backslashes and line breaks escaped.
std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c == '\n' ? ' ' : c;
    }
    return quoted + "\"";
}

// The line's words, quoted parts joined to their word and unescaped; nothing when a quote is
// left open.
std::optional<std::vector<std::string>> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t at = 0; at < line.size(); ++at) {
        const char c = line[at];
        if (quoted) {
            if (c == '\\' && at + 1 < line.size())
                word += line[++at];
            else if (c == '"')
                quoted = false;
            else
                word += c;
        } else if (c == ' ') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == '"')
                quoted = true;
            else
                word += c;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

template <typename Number>
bool ParseNumber(const std::string& text, Number& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

} // namespace

std::string ServerState::StatusLine() const
{
    std::string line = serving == Serving::Running ? "running" : serving == Serving::Starting ? "starting" : "paused";
    for (const ServerEndpoint& endpoint : endpoints)
        line += " " + endpoint.interfaceName + "=" + endpoint.address + ":" + std::to_string(endpoint.port);
    for (const std::string& problem : problems)
        line += " problem=" + Quoted(problem);
    if (countsKnown)
        line += " songs=" + std::to_string(songs) + " photos=" + std::to_string(photos);
    return line;
}

std::optional<ServerState> ServerState::FromStatusLine(const std::string& line)
{
    const std::optional<std::vector<std::string>> words = Words(line);
    if (!words || words->empty())
        return std::nullopt;
    ServerState state;
    const std::string& serving = words->front();
    if (serving == "running")
        state.serving = Serving::Running;
    else if (serving == "starting")
        state.serving = Serving::Starting;
    else if (serving != "paused")
        return std::nullopt;
    bool songsSeen = false;
    bool photosSeen = false;
    for (size_t index = 1; index < words->size(); ++index) {
        const std::string& word = (*words)[index];
        const size_t equals = word.find('=');
        if (equals == std::string::npos || equals == 0)
            return std::nullopt;
        const std::string key = word.substr(0, equals);
        const std::string value = word.substr(equals + 1);
        if (key == "problem") {
            state.problems.push_back(value);
        } else if (key == "songs") {
            songsSeen = ParseNumber(value, state.songs);
            if (!songsSeen)
                return std::nullopt;
        } else if (key == "photos") {
            photosSeen = ParseNumber(value, state.photos);
            if (!photosSeen)
                return std::nullopt;
        } else {
            // An interface: "name=address:port"; an IPv6 address holds colons of its own.
            const size_t colon = value.rfind(':');
            ServerEndpoint endpoint{key, value.substr(0, colon == std::string::npos ? 0 : colon), 0};
            if (colon == std::string::npos || endpoint.address.empty()
                || !ParseNumber(value.substr(colon + 1), endpoint.port))
                return std::nullopt;
            state.endpoints.push_back(std::move(endpoint));
        }
    }
    state.countsKnown = songsSeen && photosSeen;
    return state;
}
