// The automatic busy cursor: an hourglass over the program's windows whenever the interface
// thread has not handled its events for a quarter of a second or more.
#pragma once

#include <cstdint>

// Starts the watch on the first call (threshold at least 250 ms); every call enables it.
// Interface thread, with a QApplication.
void StartBusyCursor(uint32_t thresholdMs);

// Stops the watchdog thread and waits for it; call before the QApplication goes. Interface thread.
void StopBusyCursor();
