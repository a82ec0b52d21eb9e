// The properties window of the running server, where this build has one. The server runs
// without a display too (started at login before one is there, or on a machine with none).
#pragma once

#include <QCoreApplication>
#include <memory>

class ServerApp;

// A widgets application when a display is reachable, else a core one.
std::unique_ptr<QCoreApplication> CreateApplication(int& argc, char** argv);
// Opens the window or brings it forward; false when no window can be shown.
bool ShowProperties(ServerApp& app);
