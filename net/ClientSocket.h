#pragma once

#include "net/CustomWinSocket.h"
#include "net/SocketTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The asynchronous TCP client component. Set Address (or Host) and Port, set Active to true: the
// connection attempt starts at once and its outcome arrives later as events, delivered only when
// the GUI thread pumps its event queue. All members are for the GUI thread only.
//
// Events, each called only when assigned, with Sender = this component and Socket = Socket():
//   OnLookup      at the start of every open, before any resolution;
//   OnConnecting  just before the connect call (both fire inside SetActive(true));
//   OnConnect     when the connection is made; Active() is already true;
//   OnDisconnect  when the current handle is closed (by SetActive(false), the peer closing in
//                 order, or a failed open); Active() is already false and Socket->PeerAddress()
//                 still gives the peer;
//   OnRead        when data arrives (again only after it has been read);
//   OnWrite       once after the connection is made;
//   OnError       for a notice that carries an error, a failed lookup, or an open with neither
//                 Host nor Address. ErrorCode arrives holding the code; the value the handler
//                 leaves decides whether an ESocketError follows (0 = none).
// An exception escaping a handler run from a notice goes to the default error report.
// A handler must not destroy the component it was called by.
class TClientSocket {
public:
    using TSocketNotifyEvent = std::function<void(TClientSocket* Sender, TCustomWinSocket* Socket)>;
    using TSocketErrorEvent = std::function<void(TClientSocket* Sender, TCustomWinSocket* Socket,
                                                 TErrorEvent ErrorEvent, int& ErrorCode)>;

    TClientSocket();
    // Closes a live connection without firing OnDisconnect; no event reaches the handlers after
    // this starts.
    ~TClientSocket();

    TClientSocket(const TClientSocket&) = delete;
    TClientSocket& operator=(const TClientSocket&) = delete;

    // True between the connect event and the disconnect event. SetActive(true) starts an open
    // (unless connected) and returns before the connection is made, so Active() still reads
    // false; SetActive(false) closes a connection (firing OnDisconnect inside the call) and does
    // nothing while resolving, connecting or after a failed attempt. Open-time failures raise
    // ESocketError after OnDisconnect has run.
    bool Active() const { return active_; }
    void SetActive(bool value);

    // Address (dotted IPv4 text), Host (a name, resolved asynchronously, wins over Address) and
    // Service (a service name for "tcp", wins over Port). Setting a text equal to the current
    // one, ignoring ASCII case, does nothing; otherwise, while Active() is true, ESocketError
    // "Can't change value while socket is active" and the old value stays. A new value does not
    // affect an attempt already under way.
    const std::string& Address() const { return address_; }
    void SetAddress(const std::string& value);
    const std::string& Host() const { return host_; }
    void SetHost(const std::string& value);
    const std::string& Service() const { return service_; }
    void SetService(const std::string& value);

    // The TCP port; only its low 16 bits are used (70000 connects to 4464, -1 to 65535). Same
    // rule as Address, with exact comparison.
    std::int32_t Port() const { return port_; }
    void SetPort(std::int32_t value);

    // ctNonBlocking (default) or ctBlocking (the connect runs inside SetActive(true) and no
    // notices are delivered). Raises "Can't change value while socket is active" when connected.
    TClientType ClientType() const { return socket_->ClientType(); }
    void SetClientType(TClientType value);

    // The socket object, owned by the component.
    TClientWinSocket* Socket() { return socket_.get(); }

    // While loading stored settings, SetActive only records the value; Loaded() applies it and
    // the setters skip the active check.
    void BeginLoading() { loading_ = true; }
    void Loaded();

    // Forwards to TCustomWinSocket::SetConnectTimeoutMs (process-wide; tests shorten it).
    static void SetConnectTimeoutMs(int ms) { TCustomWinSocket::SetConnectTimeoutMs(ms); }

    TSocketNotifyEvent OnLookup;
    TSocketNotifyEvent OnConnecting;
    TSocketNotifyEvent OnConnect;
    TSocketNotifyEvent OnDisconnect;
    TSocketNotifyEvent OnRead;
    TSocketNotifyEvent OnWrite;
    TSocketErrorEvent OnError;

private:
    void ApplyActive(bool value);
    void DispatchEvent(TCustomWinSocket* Socket, TSocketEventKind kind);
    void DispatchError(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode);
    void SetText(std::string& field, const std::string& value);
    void CheckInactive() const;

    bool active_ = false;
    bool loading_ = false;
    bool loadedActive_ = false;
    std::string address_;
    std::string host_;
    std::string service_;
    std::int32_t port_ = 0;
    std::unique_ptr<TClientWinSocket> socket_;
};
