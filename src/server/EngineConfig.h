// What Rygel's library reads as its configuration. Registered before anything of Rygel is
// built, it is the only configuration Rygel sees: nothing is read from Rygel's own files, no
// upload or deletion is ever allowed, and the media engine is ours.
#pragma once

#include <string>
#include <vector>

struct EngineConfigValues {
    // The plug-in name the device and its HTTP paths carry ("/LumoServer/...").
    std::string pluginName;
    std::string title;
    std::string uuid;
    std::vector<std::string> interfaces;
    int port = 0;
    // The folder of the engine's ".plugin" file and library, and the library's file name.
    std::string enginePath;
    std::string engineLibrary;
    std::string serverHeader;
};

// Registers the configuration once per process; later calls replace the values it answers.
// Main thread only, like everything of Rygel.
void InstallEngineConfig(const EngineConfigValues& values);
