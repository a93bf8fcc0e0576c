#pragma once

// The two flags through which the probe cycle and its socket and timer handlers talk; GUI thread
// only.
//
// ProbeWaiting: the cycle is waiting for the outcome of the current probe; a handler that ends
// the probe clears it (so does the window's close request, which ends the process).
extern bool ProbeWaiting;

// HoldClosed: the hold timer found the connection still open and closed it itself. Reset before
// every probe, so any other close (the peer's, or that of an attempt failing at once) counts as a
// failure.
extern bool HoldClosed;
