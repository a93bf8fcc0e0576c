#pragma once

#include <QObject>

#include <netinet/in.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;
class TCustomWinSocket;
struct TLookupChannel;

// What an asynchronous lookup found: an IPv4 address or a port, both in network byte order.
struct TLookupResult {
    in_addr_t Address = 0;
    std::uint16_t Port = 0;
};

// The hidden receiver of one socket object. It watches the object's handles with one
// edge-triggered epoll set (so data that is never read wakes nobody twice), turns readiness into
// notices following the asynchronous-select rules (one connect notice, one write notice after a
// connect, a read notice per arming, one close notice) and queues them to itself; they reach the
// socket object only when the GUI thread pumps. Lookups run on worker threads and queue their
// completion the same way.
class TSocketNotifyWindow : public QObject {
public:
    explicit TSocketNotifyWindow(TCustomWinSocket& owner);
    ~TSocketNotifyWindow() override;

    // Watches a handle whose connect call is under way (or, with `connected`, returned at once):
    // its outcome arrives as a connect notice, ETIMEDOUT after the connect time-out.
    void WatchConnect(int fd, std::uint64_t serial, bool connected);
    // Stops watching; queued notices stay queued.
    void Unwatch(std::uint64_t serial);
    // True while the handle's connect outcome has not been seen.
    bool IsConnecting(std::uint64_t serial) const;
    // Takes over a handle that is no longer the object's current one but whose connect attempt
    // is still under way: its connect notice is still queued when it comes, then it is closed.
    void Retire(std::uint64_t serial);
    // Allows the next read notice; queues one at once if data is already waiting.
    void ArmRead(std::uint64_t serial);

    // Resolves `host` (IPv4) or `service` (a TCP service name) on a worker thread. The
    // result reaches the owner as a lookup notice carrying `request`, when the GUI thread pumps;
    // a result for a destroyed receiver is dropped.
    void StartHostLookup(std::uint64_t request, const std::string& host);
    void StartServiceLookup(std::uint64_t request, const std::string& service);

protected:
    // Queued notices and lookup results arrive as events of their own; the connect time-out as
    // a timer.
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    enum class TWatchState { Connecting, Connected, Done };
    struct TWatch {
        int Fd = -1;
        TWatchState State = TWatchState::Connecting;
        bool ReadArmed = true;
        bool Retired = false;
        int TimerId = 0;
    };

    void PollReadiness();
    void DeliverQueued();
    void HandleReadiness(std::uint64_t serial, std::uint32_t events);
    void FinishConnect(std::uint64_t serial, TWatch& watch, int error);
    void ConnectTimedOut(std::uint64_t serial);
    void Post(int fd, std::uint64_t serial, int kind, int error);
    void StopTimer(TWatch& watch);
    void StopWatching(TWatch& watch);

    TCustomWinSocket& owner_;
    int epollFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<std::uint64_t, TWatch> watches_;
    std::shared_ptr<TLookupChannel> channel_;
};
