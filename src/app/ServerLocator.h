// Finds the media server program, which lives outside this one, and remembers for a while
// whether it was there, so that the interface can ask on every idle pass without touching
// the disk each time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class ServerLocator {
public:
    using TickFunction = std::function<uint32_t()>;

    // How long a search answers for the properties action's enabled state.
    static constexpr uint32_t c_RecheckMs = 10000;
    // Looked for beside the program when "ServerPath" names no file of its own.
    static constexpr const char c_DefaultName[] = "LumoServer";

    // programFolder with a trailing "/". tick defaults to the platform's tick count.
    explicit ServerLocator(std::string programFolder, TickFunction tick = {});

    // The full path of the server program, or empty when none is found: "ServerPath" of the
    // product's key when that file exists, else the file of the same name (or
    // c_DefaultName) in the program folder.
    std::string Locate() const;

    // Whether the server-properties command can run. Searches again only when more than
    // c_RecheckMs have passed since the last search (unsigned, so the tick may wrap);
    // a search that raises disables the command.
    bool PropertiesEnabled();

private:
    std::string m_programFolder;
    TickFunction m_tick;
    bool m_enabled = false;
    uint32_t m_checkTime = 0;
};
