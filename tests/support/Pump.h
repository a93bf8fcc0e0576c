#pragma once

#include <chrono>
#include <functional>

// Waiting in tests, always with a safety time-out so that a broken test fails instead of hanging.

// Dispatches the Qt events of the calling thread until `done` holds or `timeoutMs` passes;
// returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Dispatches events for `ms`, to let notices that should not come have their chance.
void PumpFor(int ms);

// Polls `done` without dispatching events (for state that other threads change) until it holds
// or `timeout` passes; returns done().
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
