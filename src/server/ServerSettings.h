// What the person chose for the server, kept in the publisher's settings file under a
// section of its own ("Server"), so both programs and the properties window see one truth.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ServerSettings {
    static constexpr const char c_SubKey[] = "Server";
    // A fixed port, so the firewall rule the properties window names keeps working.
    static constexpr uint16_t c_DefaultPort = 58050;

    // "Lumo Media Server on <computer>" unless the person named it.
    std::string name;
    // Interface names ("eth0", "wlan0"); empty means every interface that is up, is not the
    // loopback and can multicast.
    std::vector<std::string> interfaces;
    uint16_t port = c_DefaultPort;
    // The device's UDN without "uuid:", made once so TVs know the server again.
    std::string uuid;
    // Whether the server starts with the desktop session (systemd user unit or autostart).
    bool startAtLogin = false;

    // Reads the settings, filling defaults for what is missing; a missing UUID is made and
    // written back at once, so it never changes afterwards.
    static ServerSettings Load(const std::string& computerName);
    // Raises 1013 when the settings file cannot be written.
    void Save() const;

    static std::string DefaultName(const std::string& computerName);
};

// "eth0, wlan0" and similar: names split at commas and blanks, empty parts dropped.
std::vector<std::string> SplitInterfaceList(const std::string& text);
std::string JoinInterfaceList(const std::vector<std::string>& names);
