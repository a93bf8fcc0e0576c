#pragma once

#include "net/ClientSocket.h"

#include <string>
#include <vector>

// Records every event a client socket raises, as short lines, with Active and PeerAddress as the
// handler saw them: "Lookup", "Connecting", "Connect 1 127.0.0.1", "Disconnect 0 ",
// "Error 3 111" (the TErrorEvent ordinal and the code), "Read", "Write".
class TEventLog {
public:
    // `clearError`: whether OnError sets ErrorCode to 0, as the probe cycle does.
    explicit TEventLog(TClientSocket& socket, bool clearError = true);

    std::vector<std::string> Lines;
    // Lines recorded since the last call.
    std::vector<std::string> Take();
    int Count(const std::string& line) const;
    bool Has(const std::string& prefix) const;

private:
    size_t taken_ = 0;
};
