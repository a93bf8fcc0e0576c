#include "EventLog.h"

#include <algorithm>

TEventLog::TEventLog(TClientSocket& socket, bool clearError) {
    auto plain = [this](const char* name) {
        return [this, name](TClientSocket*, TCustomWinSocket*) { Lines.push_back(name); };
    };
    auto withPeer = [this](const char* name) {
        return [this, name](TClientSocket* sender, TCustomWinSocket* s) {
            Lines.push_back(std::string(name) + " " + (sender->Active() ? "1" : "0") + " " +
                            s->PeerAddress());
        };
    };
    socket.OnLookup = plain("Lookup");
    socket.OnConnecting = plain("Connecting");
    socket.OnRead = plain("Read");
    socket.OnWrite = plain("Write");
    socket.OnConnect = withPeer("Connect");
    socket.OnDisconnect = withPeer("Disconnect");
    socket.OnError = [this, clearError](TClientSocket*, TCustomWinSocket*, TErrorEvent event,
                                        int& code) {
        Lines.push_back("Error " + std::to_string(event) + " " + std::to_string(code));
        if (clearError)
            code = 0;
    };
}

std::vector<std::string> TEventLog::Take() {
    std::vector<std::string> recent(Lines.begin() + static_cast<long>(taken_), Lines.end());
    taken_ = Lines.size();
    return recent;
}

int TEventLog::Count(const std::string& line) const {
    return static_cast<int>(std::count(Lines.begin(), Lines.end(), line));
}

bool TEventLog::Has(const std::string& prefix) const {
    return std::any_of(Lines.begin(), Lines.end(),
                       [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}
