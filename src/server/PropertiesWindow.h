// The properties window runs in a process of its own ("LumoServer /window", started by the
// server, see PropertiesProcess), so that the server never holds a display: a display that
// goes (the session ends, the compositor restarts) ends every program connected to it.
#pragma once

// The window's process: shows the window of the server answering on the local socket until
// it is closed; "raise" on standard input brings it forward. Answers the exit code.
int RunPropertiesWindow(int& argc, char** argv);
