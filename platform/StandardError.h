#pragma once

#include "platform/WriteIfReady.h"

#include <functional>
#include <string_view>

// Messages for the operator on standard error (the modem library's complaints aside, which it
// writes itself). Writing one never waits for a reader that does not read.

// Writes `textUtf8`, one or more whole lines with their line ends, through the installed writer:
// by default WriteIfReady on descriptor 2; the program installs a queue of its own.
void WriteStandardError(std::string_view textUtf8);

// The process is about to end: waits a short, bounded time for what the installed writer still
// holds.
void FlushStandardError();

// What takes the text instead of the default. Both may be called on any thread; `write` must not
// wait, `flush` only briefly.
struct StandardErrorWriter {
    std::function<void(std::string_view textUtf8)> write;
    std::function<void()> flush;
};

// Installs `writer` (one without `write` restores the default) and returns the previous one.
StandardErrorWriter SetStandardErrorWriter(StandardErrorWriter writer);
