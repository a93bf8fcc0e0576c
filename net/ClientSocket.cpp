#include "net/ClientSocket.h"

#include "net/SocketError.h"

#include <algorithm>

namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameTextIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

} // namespace

TClientSocket::TClientSocket() : socket_(std::make_unique<TClientWinSocket>()) {
    socket_->EventLink = [this](TCustomWinSocket* Socket, TSocketEventKind kind) {
        DispatchEvent(Socket, kind);
    };
    socket_->ErrorLink = [this](TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode) {
        DispatchError(Socket, ErrorEvent, ErrorCode);
    };
}

TClientSocket::~TClientSocket() {
    socket_.reset();
}

void TClientSocket::SetActive(bool value) {
    if (value == active_)
        return;
    if (loading_) {
        loadedActive_ = value;
        return;
    }
    // Active itself changes only through the connect and disconnect events.
    ApplyActive(value);
}

void TClientSocket::Loaded() {
    loading_ = false;
    if (loadedActive_ != active_)
        ApplyActive(loadedActive_);
}

void TClientSocket::ApplyActive(bool value) {
    if (value == socket_->Connected())
        return;
    if (socket_->Connected())
        socket_->CloseConnection(socket_->SocketHandle());
    else
        socket_->OpenConnection(host_, address_, service_, static_cast<std::uint16_t>(port_),
                                ClientType() == ctBlocking);
}

void TClientSocket::SetAddress(const std::string& value) {
    SetText(address_, value);
}

void TClientSocket::SetHost(const std::string& value) {
    SetText(host_, value);
}

void TClientSocket::SetService(const std::string& value) {
    SetText(service_, value);
}

void TClientSocket::SetPort(std::int32_t value) {
    if (value == port_)
        return;
    CheckInactive();
    port_ = value;
}

void TClientSocket::SetClientType(TClientType value) {
    socket_->SetClientType(value);
}

void TClientSocket::SetText(std::string& field, const std::string& value) {
    if (SameTextIgnoringAsciiCase(field, value))
        return;
    CheckInactive();
    field = value;
}

void TClientSocket::CheckInactive() const {
    if (active_ && !loading_)
        throw ESocketError("Can't change value while socket is active");
}

void TClientSocket::DispatchEvent(TCustomWinSocket* Socket, TSocketEventKind kind) {
    const TSocketNotifyEvent* handler = nullptr;
    switch (kind) {
    case skLookup:
        handler = &OnLookup;
        break;
    case skConnecting:
        handler = &OnConnecting;
        break;
    case skConnect:
        active_ = true;
        handler = &OnConnect;
        break;
    case skDisconnect:
        active_ = false;
        handler = &OnDisconnect;
        break;
    case skListen:
        active_ = true;
        break;
    case skAccept:
        break;
    case skWrite:
        handler = &OnWrite;
        break;
    case skRead:
        handler = &OnRead;
        break;
    }
    // A copy, so a handler may reassign its own slot.
    if (handler != nullptr && *handler) {
        TSocketNotifyEvent call = *handler;
        call(this, Socket);
    }
}

void TClientSocket::DispatchError(TCustomWinSocket* Socket, TErrorEvent ErrorEvent,
                                  int& ErrorCode) {
    if (OnError) {
        TSocketErrorEvent call = OnError;
        call(this, Socket, ErrorEvent, ErrorCode);
    }
}
