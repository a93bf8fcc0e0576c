#pragma once

#include <cstddef>

// Standard error through a queue of its own (QueuedWriter), so that a reader of it that stops
// reading holds up no thread of the program: the messages of WriteStandardError
// (platform/StandardError.h) and Qt's own warnings, formatted as Qt would (QT_MESSAGE_PATTERN
// holds). What a full standard error cannot take is dropped; nobody could be told of it.
// Call once, after PrepareStandardStreams and before the application object.
void QueueStandardError();

inline constexpr std::size_t kStandardErrorQueueBytes = 64 * 1024;
