#pragma once

#include "platform/Exception.h"

#include <string>

// The exception for socket failures that are not turned into error events. It carries only its
// message text.
class ESocketError : public Exception {
public:
    using Exception::Exception;
};

// The system's text for a socket error code: errno values (positive) get the C library's English
// description, getaddrinfo codes (negative) a fixed English text, anything unknown
// "Unknown error <code>". Locale-independent, so the result is always plain ASCII.
std::string SocketErrorText(int code);

// "Windows socket error: <text> (<code>), on API '<api>'" for a failed platform call.
ESocketError WinSocketError(int code, const std::string& api);

// "Asynchronous socket error <code>" for an error notice that its handler did not clear.
ESocketError AsyncSocketError(int code);
