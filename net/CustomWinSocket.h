#pragma once

#include "net/SocketTypes.h"

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class TSocketNotifyWindow;
struct TLookupResult;

// The socket object: one platform TCP handle at a time, the steps that resolve an address and
// port, and the translation of platform notices into events and errors.
//
// Everything runs on the GUI thread. Notices (connect done, write, read, close, lookup done) are
// queued to a hidden receiver object and handled only when that thread pumps its event queue.
// Events reach the owning component through EventLink and ErrorLink.
class TCustomWinSocket {
public:
    using TEventLink = std::function<void(TCustomWinSocket* Socket, TSocketEventKind kind)>;
    using TErrorLink =
        std::function<void(TCustomWinSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)>;

    // Starts with no handle, the non-blocking notice mask and no receiver (made on first need).
    TCustomWinSocket();
    // Drops EventLink first, so closing a live connection here fires no event; releases every
    // handle the object still holds and abandons outstanding lookups (their results are dropped).
    virtual ~TCustomWinSocket();

    TCustomWinSocket(const TCustomWinSocket&) = delete;
    TCustomWinSocket& operator=(const TCustomWinSocket&) = delete;

    // The connected peer's address in dotted text; empty when not connected. Raises ESocketError
    // (API "getpeername") when the platform cannot tell. A connection the peer has reset still
    // gives the address it was made to, so an OnDisconnect handler can log it.
    std::string PeerAddress();

    // The current platform handle, -1 for none.
    int SocketHandle() const { return descriptor_; }
    // True from the connect notice (or a blocking connect) until the handle is closed.
    bool Connected() const { return connected_; }

    // Reads up to `count` received bytes without blocking; returns the number read, 0 when none
    // are waiting or the peer has closed. Reading re-arms the read notice.
    int ReceiveBuf(void* buf, int count);
    // Everything received so far, as bytes.
    std::string ReceiveText();

    // Starts an open. Raises ESocketError "Socket already open" when connected, "Can't create new
    // socket" when the platform gives no handle; any failure after the handle exists closes it
    // (OnDisconnect fires) before the exception leaves.
    void OpenConnection(const std::string& host, const std::string& address,
                        const std::string& service, std::uint16_t port, bool blocking);
    // Cancels an outstanding lookup; then, if `handle` is the current handle, fires the disconnect
    // event and closes it. Any other handle (-1, an older one) is ignored.
    void CloseConnection(int handle);

    // The notices this object asks for (NotifyBit values); kNonBlockingNotifyMask unless the
    // client type made it blocking (empty).
    std::uint8_t NotifyMask() const { return mask_; }

    // The time after which a non-blocking connect attempt that has had no answer is reported as
    // failed with ETIMEDOUT (and a blocking connect gives up). Process-wide; 21000 ms unless a
    // test shortens it.
    static void SetConnectTimeoutMs(int ms);
    static int ConnectTimeoutMs();

    // Notice handlers, called by the receiver when the GUI thread pumps. `serial` names the open
    // the notice belongs to, so a notice for a closed handle whose number was reused is still
    // recognised as old.
    void HandleSocketNotice(int handle, std::uint64_t serial, int kind, int error);
    void HandleLookupDone(std::uint64_t request, int error, const TLookupResult& result);

    TEventLink EventLink;
    TErrorLink ErrorLink;

protected:
    virtual void AcceptReady(int handle);
    virtual void ConnectReady(int handle);
    virtual void ReadReady(int handle);
    virtual void WriteReady(int handle);
    virtual void FireEvent(TSocketEventKind kind);
    virtual void FireError(TErrorEvent ErrorEvent, int& ErrorCode);

    // Changes the mask for the handles to come; ApplyNotifyMask applies it to the current one.
    void SetNotifyMask(std::uint8_t mask) { mask_ = mask; }
    // Registers the mask for the current handle (non-blocking, watched) or, with an empty mask,
    // stops watching it and puts it back into blocking mode.
    void ApplyNotifyMask();

    int descriptor_ = -1;
    bool connected_ = false;

private:
    void ContinueResolve(const std::string& host, const std::string& address,
                         const std::string& service, std::uint16_t port);
    void ResolveBlocking(const std::string& host, const std::string& address,
                         const std::string& service, std::uint16_t port);
    void StartConnect();
    void ReleaseLeftHandle();
    void CancelLookup();
    TSocketNotifyWindow& NotifyWindow();

    std::uint64_t descriptorSerial_ = 0;
    std::uint64_t nextSerial_ = 0;
    sockaddr_in targetAddr_{};
    std::uint8_t mask_ = kNonBlockingNotifyMask;
    TResolveState resolveState_ = rsIdle;
    std::uint64_t lookupRequest_ = 0;
    std::uint64_t nextRequest_ = 0;
    std::recursive_mutex objectLock_;
    std::unique_ptr<TSocketNotifyWindow> window_;
    std::string pendingService_;
    std::uint16_t pendingPort_ = 0;
};

// The client's socket object: adds the connect step and the client type.
class TClientWinSocket : public TCustomWinSocket {
public:
    // ctNonBlocking (the default) or ctBlocking.
    TClientType ClientType() const { return type_; }
    // Equal value: nothing. Raises ESocketError "Can't change value while socket is active" when
    // connected; otherwise switches the notice mask (empty for ctBlocking) and applies it to a
    // handle that exists.
    void SetClientType(TClientType value);

protected:
    void ConnectReady(int handle) override;

private:
    TClientType type_ = ctNonBlocking;
};
