#include "net/SocketError.h"

#include "platform/ErrorText.h"

#include <netdb.h>

namespace {

// getaddrinfo's own texts go through the message catalogue of the current locale; ours must not.
const char* LookupErrorText(int code) {
    switch (code) {
    case EAI_AGAIN:
        return "Temporary failure in name resolution";
    case EAI_BADFLAGS:
        return "Bad value for ai_flags";
    case EAI_FAIL:
        return "Non-recoverable failure in name resolution";
    case EAI_FAMILY:
        return "ai_family not supported";
    case EAI_MEMORY:
        return "Memory allocation failure";
    case EAI_NONAME:
        return "Name or service not known";
    case EAI_SERVICE:
        return "Servname not supported for ai_socktype";
    case EAI_SOCKTYPE:
        return "ai_socktype not supported";
    case EAI_NODATA:
        return "No address associated with hostname";
    case EAI_ADDRFAMILY:
        return "Address family for hostname not supported";
    default:
        return nullptr;
    }
}

} // namespace

std::string SocketErrorText(int code) {
    if (const char* text = code < 0 ? LookupErrorText(code) : nullptr)
        return text;
    return ErrnoText(code);
}

ESocketError WinSocketError(int code, const std::string& api) {
    return ESocketError("Windows socket error: " + SocketErrorText(code) + " (" +
                        std::to_string(code) + "), on API '" + api + "'");
}

ESocketError AsyncSocketError(int code) {
    return ESocketError("Asynchronous socket error " + std::to_string(code));
}
