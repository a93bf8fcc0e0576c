#pragma once

#include <functional>

// Turns SIGTERM, SIGINT and SIGHUP (the system shutting down, Ctrl+C on the terminal of a
// headless run, the terminal closing) into a close request handled on the GUI thread, so that
// they take the program's one exit path. The signal handler only writes a byte to a socket pair
// that the event loop watches. Call once, after the application object exists.
void InstallShutdownSignals(std::function<void()> onCloseRequest);
