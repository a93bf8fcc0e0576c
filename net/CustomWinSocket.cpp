#include "net/CustomWinSocket.h"

#include "net/SocketError.h"
#include "net/SocketNotifyWindow.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// The time the platform the component was first written for gives a silent host.
std::atomic<int> connectTimeoutMs{21000};

sockaddr_in EmptyTarget() {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    return target;
}

void SetNonBlocking(int fd, bool on) {
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return;
    fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

} // namespace

TCustomWinSocket::TCustomWinSocket() : targetAddr_(EmptyTarget()) {}

TCustomWinSocket::~TCustomWinSocket() {
    EventLink = nullptr;
    try {
        if (connected_ && descriptor_ != -1)
            CloseConnection(descriptor_);
    } catch (...) {
        // A failing close leaves nothing to do at destruction.
    }
    if (descriptor_ != -1)
        close(descriptor_);
    // Dropping the receiver drops its queued notices and lookup results, and closes the retired
    // handles it holds.
    window_.reset();
}

void TCustomWinSocket::SetConnectTimeoutMs(int ms) {
    connectTimeoutMs = ms;
}

int TCustomWinSocket::ConnectTimeoutMs() {
    return connectTimeoutMs;
}

std::string TCustomWinSocket::PeerAddress() {
    std::lock_guard lock(objectLock_);
    if (!connected_)
        return {};
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(descriptor_, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        // After a reset the kernel forgets the peer; the address connected to is still known.
        if (errno == ENOTCONN && targetAddr_.sin_addr.s_addr != 0)
            return inet_ntoa(targetAddr_.sin_addr);
        throw WinSocketError(errno, "getpeername");
    }
    return inet_ntoa(peer.sin_addr);
}

int TCustomWinSocket::ReceiveBuf(void* buf, int count) {
    if (descriptor_ == -1 || count <= 0)
        return 0;
    ssize_t got = recv(descriptor_, buf, static_cast<size_t>(count), MSG_DONTWAIT);
    if (window_)
        window_->ArmRead(descriptorSerial_);
    return got > 0 ? static_cast<int>(got) : 0;
}

std::string TCustomWinSocket::ReceiveText() {
    std::string text;
    char chunk[4096];
    int got;
    while ((got = ReceiveBuf(chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<size_t>(got));
    return text;
}

void TCustomWinSocket::OpenConnection(const std::string& host, const std::string& address,
                                      const std::string& service, std::uint16_t port,
                                      bool blocking) {
    if (connected_)
        throw ESocketError("Socket already open");
    // An attempt that never finished resolving is abandoned, so the new one starts from the
    // beginning rather than from the old attempt's half-way state.
    CancelLookup();
    resolveState_ = rsIdle;
    ReleaseLeftHandle();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw ESocketError("Can't create new socket");
    descriptor_ = fd;
    descriptorSerial_ = ++nextSerial_;
    try {
        FireEvent(skLookup);
        if (blocking) {
            ResolveBlocking(host, address, service, port);
            StartConnect();
        } else {
            ContinueResolve(host, address, service, port);
        }
    } catch (...) {
        CloseConnection(descriptor_);
        throw;
    }
}

void TCustomWinSocket::ContinueResolve(const std::string& host, const std::string& address,
                                       const std::string& service, std::uint16_t port) {
    try {
        for (;;) {
            switch (resolveState_) {
            case rsIdle:
                if (!host.empty()) {
                    lookupRequest_ = ++nextRequest_;
                    pendingService_ = service;
                    pendingPort_ = port;
                    resolveState_ = rsAddress;
                    NotifyWindow().StartHostLookup(lookupRequest_, host);
                    return;
                }
                if (address.empty()) {
                    int code = kNoAddressErrorCode;
                    FireError(ekLookup, code);
                    CloseConnection(descriptor_);
                    if (code != 0)
                        throw ESocketError("No address specified");
                    return;
                }
                resolveState_ = rsAddress;
                // Not validated: text that is not an address gives all ones, and the attempt
                // goes there.
                targetAddr_.sin_addr.s_addr = inet_addr(address.c_str());
                break;
            case rsAddress:
                if (!service.empty()) {
                    lookupRequest_ = ++nextRequest_;
                    resolveState_ = rsService;
                    NotifyWindow().StartServiceLookup(lookupRequest_, service);
                    return;
                }
                resolveState_ = rsService;
                targetAddr_.sin_port = htons(port);
                break;
            case rsService:
                StartConnect();
                return;
            }
        }
    } catch (...) {
        CloseConnection(descriptor_);
        throw;
    }
}

void TCustomWinSocket::ResolveBlocking(const std::string& host, const std::string& address,
                                       const std::string& service, std::uint16_t port) {
    targetAddr_ = EmptyTarget();
    if (!host.empty()) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0) {
            targetAddr_.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
            freeaddrinfo(found);
        }
    } else if (!address.empty()) {
        targetAddr_.sin_addr.s_addr = inet_addr(address.c_str());
    } else {
        throw ESocketError("No address specified");
    }
    if (!service.empty()) {
        servent entry{};
        servent* found = nullptr;
        char buffer[1024];
        getservbyname_r(service.c_str(), "tcp", &entry, buffer, sizeof buffer, &found);
        targetAddr_.sin_port = found != nullptr ? static_cast<in_port_t>(found->s_port) : 0;
    } else {
        targetAddr_.sin_port = htons(port);
    }
}

void TCustomWinSocket::StartConnect() {
    ApplyNotifyMask();
    FireEvent(skConnecting);
    // Linux takes the address 0 as this machine; the platform the component was written for
    // refuses it at once, and a probe of 0.0.0.0 (or of a host that was not found, in blocking
    // mode) must not report this machine's listener.
    int rc = -1;
    int error = EADDRNOTAVAIL;
    if (targetAddr_.sin_addr.s_addr != INADDR_ANY) {
        rc = connect(descriptor_, reinterpret_cast<const sockaddr*>(&targetAddr_),
                     sizeof targetAddr_);
        error = rc == 0 ? 0 : errno;
    }
    bool watched = (mask_ & NotifyBit::Connect) != 0;
    if (rc != 0 && !(watched && (error == EINPROGRESS || error == EWOULDBLOCK))) {
        // A blocking connect that ran out of its send time-out says EINPROGRESS.
        if (!watched && (error == EINPROGRESS || error == EWOULDBLOCK))
            error = ETIMEDOUT;
        throw WinSocketError(error, "connect");
    }
    resolveState_ = rsIdle;
    if (watched) {
        NotifyWindow().WatchConnect(descriptor_, descriptorSerial_, rc == 0);
        return;
    }
    connected_ = descriptor_ != -1;
    FireEvent(skConnect);
}

void TCustomWinSocket::ApplyNotifyMask() {
    if (descriptor_ == -1)
        return;
    if (mask_ != 0) {
        NotifyWindow();
        SetNonBlocking(descriptor_, true);
        return;
    }
    if (window_)
        window_->Unwatch(descriptorSerial_);
    SetNonBlocking(descriptor_, false);
    // A blocking connect gives up after the same time as a watched one.
    int ms = ConnectTimeoutMs();
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    setsockopt(descriptor_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

void TCustomWinSocket::CloseConnection(int handle) {
    std::lock_guard lock(objectLock_);
    CancelLookup();
    if (handle == -1 || handle != descriptor_)
        return;
    FireEvent(skDisconnect);
    if (window_)
        window_->Unwatch(descriptorSerial_);
    if (close(descriptor_) != 0 && errno == EBADF)
        throw WinSocketError(errno, "closesocket");
    descriptor_ = -1;
    targetAddr_ = EmptyTarget();
    connected_ = false;
}

void TCustomWinSocket::ReleaseLeftHandle() {
    if (descriptor_ == -1)
        return;
    // A handle whose attempt is still under way keeps being watched, so its connect notice
    // still comes; any other left-over handle (a failed attempt) is released now.
    if (window_ && window_->IsConnecting(descriptorSerial_)) {
        window_->Retire(descriptorSerial_);
    } else {
        if (window_)
            window_->Unwatch(descriptorSerial_);
        close(descriptor_);
    }
    descriptor_ = -1;
}

void TCustomWinSocket::CancelLookup() {
    // A running lookup cannot be stopped; its result no longer matches and is ignored.
    lookupRequest_ = 0;
}

TSocketNotifyWindow& TCustomWinSocket::NotifyWindow() {
    if (!window_)
        window_ = std::make_unique<TSocketNotifyWindow>(*this);
    return *window_;
}

void TCustomWinSocket::HandleSocketNotice(int handle, std::uint64_t serial, int kind, int error) {
    if (error != 0) {
        int code = error;
        TErrorEvent event = ekGeneral;
        switch (kind) {
        case NotifyBit::Connect:
            event = ekConnect;
            break;
        case NotifyBit::Close:
            event = ekDisconnect;
            break;
        case NotifyBit::Read:
            event = ekReceive;
            break;
        case NotifyBit::Write:
            event = ekSend;
            break;
        case NotifyBit::Accept:
            event = ekAccept;
            break;
        }
        FireError(event, code);
        if (code != 0)
            throw AsyncSocketError(code);
        return;
    }
    // Handle numbers are reused; a notice from an earlier open never names the current handle.
    int current = serial == descriptorSerial_ ? handle : -1;
    switch (kind) {
    case NotifyBit::Connect:
        ConnectReady(handle);
        break;
    case NotifyBit::Close:
        CloseConnection(current);
        break;
    case NotifyBit::Read:
        ReadReady(current);
        break;
    case NotifyBit::Write:
        WriteReady(current);
        break;
    case NotifyBit::Accept:
        AcceptReady(current);
        break;
    }
}

void TCustomWinSocket::HandleLookupDone(std::uint64_t request, int error,
                                        const TLookupResult& result) {
    if (request == 0 || request != lookupRequest_)
        return;
    lookupRequest_ = 0;
    if (error != 0) {
        int code = error;
        FireError(ekLookup, code);
        CloseConnection(descriptor_);
        if (code != 0)
            throw WinSocketError(error, "ASync Lookup");
        return;
    }
    if (resolveState_ == rsAddress) {
        targetAddr_.sin_addr.s_addr = result.Address;
        ContinueResolve({}, {}, pendingService_, pendingPort_);
    } else if (resolveState_ == rsService) {
        targetAddr_.sin_port = result.Port;
        pendingPort_ = 0;
        pendingService_.clear();
        ContinueResolve({}, {}, {}, 0);
    }
}

void TCustomWinSocket::AcceptReady(int) {}

void TCustomWinSocket::ConnectReady(int) {}

void TCustomWinSocket::ReadReady(int handle) {
    if (descriptor_ != -1 && handle == descriptor_)
        FireEvent(skRead);
}

void TCustomWinSocket::WriteReady(int handle) {
    if (descriptor_ != -1 && handle == descriptor_)
        FireEvent(skWrite);
}

void TCustomWinSocket::FireEvent(TSocketEventKind kind) {
    if (EventLink)
        EventLink(this, kind);
}

void TCustomWinSocket::FireError(TErrorEvent ErrorEvent, int& ErrorCode) {
    if (ErrorLink)
        ErrorLink(this, ErrorEvent, ErrorCode);
}

void TClientWinSocket::SetClientType(TClientType value) {
    if (value == type_)
        return;
    if (connected_)
        throw ESocketError("Can't change value while socket is active");
    type_ = value;
    SetNotifyMask(value == ctBlocking ? 0 : kNonBlockingNotifyMask);
    if (descriptor_ != -1)
        ApplyNotifyMask();
}

void TClientWinSocket::ConnectReady(int) {
    connected_ = true;
    FireEvent(skConnect);
}
