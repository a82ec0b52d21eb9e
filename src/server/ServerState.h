// What a running server tells about itself: whether it serves, where, what went wrong and how
// much it serves. It travels as the one line "/status" prints, which is also how the
// properties window, a process of its own, follows the server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ServerEndpoint {
    std::string interfaceName;
    std::string address;
    uint16_t port = 0;

    bool operator==(const ServerEndpoint&) const = default;
};

struct ServerState {
    enum class Serving { Paused, Starting, Running };

    Serving serving = Serving::Paused;
    std::vector<ServerEndpoint> endpoints;
    std::vector<std::string> problems;
    bool countsKnown = false;
    int songs = 0;
    int photos = 0;

    // "running lo=127.0.0.1:58050 problem=\"eth1: ...\" songs=12 photos=3"; the first word is
    // "running", "starting" or "paused", counts only once known.
    std::string StatusLine() const;
    // Nothing for a line that is not a status line.
    static std::optional<ServerState> FromStatusLine(const std::string& line);

    bool operator==(const ServerState&) const = default;
};
