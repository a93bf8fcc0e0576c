#pragma once

#include "app/StandardOutputLog.h"

#include <functional>

// SIGTERM, SIGINT and SIGHUP (the system shutting down, Ctrl+C on the terminal of a headless run,
// the terminal closing) are close requests in every state of the program, so they always take
// its one exit path and end it with exit code 0. The signal handler only writes a byte to a
// socket pair; a thread of this unit reads it.
//
// Call InstallShutdownSignals() first thing in main. Until RouteShutdownSignals is called, a
// request ends the process the way the close path would with no window yet: the modem is closed
// (fnCloseModem(-1), which leaves a modem that was never opened as it is, and cuts short a modem
// call in progress on the GUI thread, such as the port search) and the process exits with code 0
// at once, without waiting for the start-up to finish. No probe can be running yet, and nothing
// is logged after the request: the log given to SealOnEarlyClose is sealed first, and what it
// holds from before is written out (briefly, as the close path does).
void InstallShutdownSignals();

// The log that a request before the main window seals; nullptr for none. The log must live until
// it is taken back with nullptr.
void SealOnEarlyClose(StandardOutputLog* log);

// Once the main window exists: every later request runs `onCloseRequest` on the GUI thread (the
// application object must exist). Installs the handlers first if that was not done. An empty
// `onCloseRequest` goes back to the close before the window, for when the window goes.
void RouteShutdownSignals(std::function<void()> onCloseRequest);
