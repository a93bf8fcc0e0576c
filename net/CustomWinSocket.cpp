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

TCustomWinSocket::TCustomWinSocket() : TargetAddr(EmptyTarget()) {}

TCustomWinSocket::~TCustomWinSocket() {
    EventLink = nullptr;
    try {
        if (IsConnected && Descriptor != -1)
            CloseConnection(Descriptor);
    } catch (...) {
        // A failing close leaves nothing to do at destruction.
    }
    if (Descriptor != -1)
        close(Descriptor);
    // Dropping the receiver drops its queued notices and lookup results, and closes the retired
    // handles it holds.
    Window.reset();
}

void TCustomWinSocket::SetConnectTimeoutMs(int ms) {
    connectTimeoutMs = ms;
}

int TCustomWinSocket::ConnectTimeoutMs() {
    return connectTimeoutMs;
}

std::string TCustomWinSocket::PeerAddress() {
    std::lock_guard lock(ObjectLock);
    if (!IsConnected)
        return {};
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(Descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        // After a reset the kernel forgets the peer; the address connected to is still known.
        if (errno == ENOTCONN && TargetAddr.sin_addr.s_addr != 0)
            return inet_ntoa(TargetAddr.sin_addr);
        throw WinSocketError(errno, "getpeername");
    }
    return inet_ntoa(peer.sin_addr);
}

int TCustomWinSocket::ReceiveBuf(void* buf, int count) {
    if (Descriptor == -1 || count <= 0)
        return 0;
    ssize_t got = recv(Descriptor, buf, static_cast<size_t>(count), MSG_DONTWAIT);
    if (Window)
        Window->ArmRead(DescriptorSerial);
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
    if (IsConnected)
        throw ESocketError("Socket already open");
    // An attempt that never finished resolving is abandoned, so the new one starts from the
    // beginning rather than from the old attempt's half-way state.
    CancelLookup();
    ResolveState = rsIdle;
    ReleaseLeftHandle();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw ESocketError("Can't create new socket");
    Descriptor = fd;
    DescriptorSerial = ++NextSerial;
    try {
        FireEvent(skLookup);
        if (blocking) {
            ResolveBlocking(host, address, service, port);
            StartConnect();
        } else {
            ContinueResolve(host, address, service, port);
        }
    } catch (...) {
        CloseConnection(Descriptor);
        throw;
    }
}

void TCustomWinSocket::ContinueResolve(const std::string& host, const std::string& address,
                                       const std::string& service, std::uint16_t port) {
    try {
        for (;;) {
            switch (ResolveState) {
            case rsIdle:
                if (!host.empty()) {
                    LookupRequest = ++NextRequest;
                    PendingService = service;
                    PendingPort = port;
                    ResolveState = rsAddress;
                    NotifyWindow().StartHostLookup(LookupRequest, host);
                    return;
                }
                if (address.empty()) {
                    int code = kNoAddressErrorCode;
                    FireError(ekLookup, code);
                    CloseConnection(Descriptor);
                    if (code != 0)
                        throw ESocketError("No address specified");
                    return;
                }
                ResolveState = rsAddress;
                // Not validated: text that is not an address gives all ones, and the attempt
                // goes there.
                TargetAddr.sin_addr.s_addr = inet_addr(address.c_str());
                break;
            case rsAddress:
                if (!service.empty()) {
                    LookupRequest = ++NextRequest;
                    ResolveState = rsService;
                    NotifyWindow().StartServiceLookup(LookupRequest, service);
                    return;
                }
                ResolveState = rsService;
                TargetAddr.sin_port = htons(port);
                break;
            case rsService:
                StartConnect();
                return;
            }
        }
    } catch (...) {
        CloseConnection(Descriptor);
        throw;
    }
}

void TCustomWinSocket::ResolveBlocking(const std::string& host, const std::string& address,
                                       const std::string& service, std::uint16_t port) {
    TargetAddr = EmptyTarget();
    if (!host.empty()) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0) {
            TargetAddr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
            freeaddrinfo(found);
        }
    } else if (!address.empty()) {
        TargetAddr.sin_addr.s_addr = inet_addr(address.c_str());
    } else {
        throw ESocketError("No address specified");
    }
    if (!service.empty()) {
        servent entry{};
        servent* found = nullptr;
        char buffer[1024];
        getservbyname_r(service.c_str(), "tcp", &entry, buffer, sizeof buffer, &found);
        TargetAddr.sin_port = found != nullptr ? static_cast<in_port_t>(found->s_port) : 0;
    } else {
        TargetAddr.sin_port = htons(port);
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
    if (TargetAddr.sin_addr.s_addr != INADDR_ANY) {
        rc = connect(Descriptor, reinterpret_cast<const sockaddr*>(&TargetAddr), sizeof TargetAddr);
        error = rc == 0 ? 0 : errno;
    }
    bool watched = (Mask & FD_CONNECT) != 0;
    if (rc != 0 && !(watched && (error == EINPROGRESS || error == EWOULDBLOCK))) {
        // A blocking connect that ran out of its send time-out says EINPROGRESS.
        if (!watched && (error == EINPROGRESS || error == EWOULDBLOCK))
            error = ETIMEDOUT;
        throw WinSocketError(error, "connect");
    }
    ResolveState = rsIdle;
    if (watched) {
        NotifyWindow().WatchConnect(Descriptor, DescriptorSerial, rc == 0);
        return;
    }
    IsConnected = Descriptor != -1;
    FireEvent(skConnect);
}

void TCustomWinSocket::ApplyNotifyMask() {
    if (Descriptor == -1)
        return;
    if (Mask != 0) {
        NotifyWindow();
        SetNonBlocking(Descriptor, true);
        return;
    }
    if (Window)
        Window->Unwatch(DescriptorSerial);
    SetNonBlocking(Descriptor, false);
    // A blocking connect gives up after the same time as a watched one.
    int ms = ConnectTimeoutMs();
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    setsockopt(Descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

void TCustomWinSocket::CloseConnection(int handle) {
    std::lock_guard lock(ObjectLock);
    CancelLookup();
    if (handle == -1 || handle != Descriptor)
        return;
    FireEvent(skDisconnect);
    if (Window)
        Window->Unwatch(DescriptorSerial);
    if (close(Descriptor) != 0 && errno == EBADF)
        throw WinSocketError(errno, "closesocket");
    Descriptor = -1;
    TargetAddr = EmptyTarget();
    IsConnected = false;
}

void TCustomWinSocket::ReleaseLeftHandle() {
    if (Descriptor == -1)
        return;
    // A handle whose attempt is still under way keeps being watched, so its connect notice
    // still comes; any other left-over handle (a failed attempt) is released now.
    if (Window && Window->IsConnecting(DescriptorSerial)) {
        Window->Retire(DescriptorSerial);
    } else {
        if (Window)
            Window->Unwatch(DescriptorSerial);
        close(Descriptor);
    }
    Descriptor = -1;
}

void TCustomWinSocket::CancelLookup() {
    // A running lookup cannot be stopped; its result no longer matches and is ignored.
    LookupRequest = 0;
}

TSocketNotifyWindow& TCustomWinSocket::NotifyWindow() {
    if (!Window)
        Window = std::make_unique<TSocketNotifyWindow>(*this);
    return *Window;
}

void TCustomWinSocket::HandleSocketNotice(int handle, std::uint64_t serial, int kind, int error) {
    if (error != 0) {
        int code = error;
        TErrorEvent event = ekGeneral;
        switch (kind) {
        case FD_CONNECT:
            event = ekConnect;
            break;
        case FD_CLOSE:
            event = ekDisconnect;
            break;
        case FD_READ:
            event = ekReceive;
            break;
        case FD_WRITE:
            event = ekSend;
            break;
        case FD_ACCEPT:
            event = ekAccept;
            break;
        }
        FireError(event, code);
        if (code != 0)
            throw AsyncSocketError(code);
        return;
    }
    // Handle numbers are reused; a notice from an earlier open never names the current handle.
    int current = serial == DescriptorSerial ? handle : -1;
    switch (kind) {
    case FD_CONNECT:
        ConnectReady(handle);
        break;
    case FD_CLOSE:
        CloseConnection(current);
        break;
    case FD_READ:
        ReadReady(current);
        break;
    case FD_WRITE:
        WriteReady(current);
        break;
    case FD_ACCEPT:
        AcceptReady(current);
        break;
    }
}

void TCustomWinSocket::HandleLookupDone(std::uint64_t request, int error,
                                        const TLookupResult& result) {
    if (request == 0 || request != LookupRequest)
        return;
    LookupRequest = 0;
    if (error != 0) {
        int code = error;
        FireError(ekLookup, code);
        CloseConnection(Descriptor);
        if (code != 0)
            throw WinSocketError(error, "ASync Lookup");
        return;
    }
    if (ResolveState == rsAddress) {
        TargetAddr.sin_addr.s_addr = result.Address;
        ContinueResolve({}, {}, PendingService, PendingPort);
    } else if (ResolveState == rsService) {
        TargetAddr.sin_port = result.Port;
        PendingPort = 0;
        PendingService.clear();
        ContinueResolve({}, {}, {}, 0);
    }
}

void TCustomWinSocket::AcceptReady(int) {}

void TCustomWinSocket::ConnectReady(int) {}

void TCustomWinSocket::ReadReady(int handle) {
    if (Descriptor != -1 && handle == Descriptor)
        FireEvent(skRead);
}

void TCustomWinSocket::WriteReady(int handle) {
    if (Descriptor != -1 && handle == Descriptor)
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
    if (value == Type)
        return;
    if (IsConnected)
        throw ESocketError("Can't change value while socket is active");
    Type = value;
    SetNotifyMask(value == ctBlocking ? 0 : kNonBlockingNotifyMask);
    if (Descriptor != -1)
        ApplyNotifyMask();
}

void TClientWinSocket::ConnectReady(int) {
    IsConnected = true;
    FireEvent(skConnect);
}
