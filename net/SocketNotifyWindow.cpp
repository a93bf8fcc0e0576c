#include "net/SocketNotifyWindow.h"

#include "net/CustomWinSocket.h"
#include "net/SocketError.h"
#include "platform/ErrorReport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <netdb.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>

// The link from lookup workers back to the receiver. A worker posts only while holding the lock
// and only when the receiver is still there, so a result for a destroyed object is dropped.
struct TLookupChannel {
    std::mutex Lock;
    QObject* Receiver = nullptr;
};

namespace {

const QEvent::Type SocketNoticeType = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type LookupDoneType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct TSocketNoticeEvent : QEvent {
    TSocketNoticeEvent(int fd, std::uint64_t serial, int kind, int error)
        : QEvent(SocketNoticeType), Fd(fd), Serial(serial), Kind(kind), Error(error) {}
    int Fd;
    std::uint64_t Serial;
    int Kind;
    int Error;
};

struct TLookupDoneEvent : QEvent {
    TLookupDoneEvent(std::uint64_t request, int error, TLookupResult result)
        : QEvent(LookupDoneType), Request(request), Error(error), Result(result) {}
    std::uint64_t Request;
    int Error;
    TLookupResult Result;
};

int PendingSocketError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

bool DataWaiting(int fd) {
    char byte;
    return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

void PostLookupDone(const std::shared_ptr<TLookupChannel>& channel, std::uint64_t request,
                    int error, TLookupResult result) {
    std::lock_guard lock(channel->Lock);
    if (channel->Receiver != nullptr)
        QCoreApplication::postEvent(channel->Receiver,
                                    new TLookupDoneEvent(request, error, result));
}

// Starts a detached worker; a refusal of the platform to start a thread is reported as the
// lookup start failing.
template <class Body> void StartWorker(const char* api, Body body) {
    try {
        std::thread(std::move(body)).detach();
    } catch (const std::system_error& e) {
        throw WinSocketError(e.code().value(), api);
    }
}

} // namespace

TSocketNotifyWindow::TSocketNotifyWindow(TCustomWinSocket& owner)
    : owner_(owner), channel_(std::make_shared<TLookupChannel>()) {
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0)
        throw WinSocketError(errno, "WSAAsyncSelect");
    notifier_ = std::make_unique<QSocketNotifier>(epollFd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this,
                     [this] { RunGuarded([this] { PollReadiness(); }); });
    channel_->Receiver = this;
}

TSocketNotifyWindow::~TSocketNotifyWindow() {
    {
        std::lock_guard lock(channel_->Lock);
        channel_->Receiver = nullptr;
    }
    notifier_.reset();
    for (auto& [serial, watch] : watches_)
        if (watch.Retired)
            close(watch.Fd);
    close(epollFd_);
}

void TSocketNotifyWindow::WatchConnect(int fd, std::uint64_t serial, bool connected) {
    TWatch& watch = watches_[serial];
    watch.Fd = fd;
    watch.State = TWatchState::Connecting;
    epoll_event interest{};
    interest.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    interest.data.u64 = serial;
    if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &interest) != 0) {
        // Without a watch no outcome would ever come; report the attempt as failed instead.
        FinishConnect(serial, watch, errno);
        return;
    }
    if (connected) {
        FinishConnect(serial, watch, 0);
        return;
    }
    watch.TimerId = startTimer(TCustomWinSocket::ConnectTimeoutMs(), Qt::PreciseTimer);
}

void TSocketNotifyWindow::Unwatch(std::uint64_t serial) {
    auto it = watches_.find(serial);
    if (it == watches_.end())
        return;
    StopWatching(it->second);
    watches_.erase(it);
}

bool TSocketNotifyWindow::IsConnecting(std::uint64_t serial) const {
    auto it = watches_.find(serial);
    return it != watches_.end() && it->second.State == TWatchState::Connecting;
}

void TSocketNotifyWindow::Retire(std::uint64_t serial) {
    auto it = watches_.find(serial);
    if (it != watches_.end())
        it->second.Retired = true;
}

void TSocketNotifyWindow::ArmRead(std::uint64_t serial) {
    auto it = watches_.find(serial);
    if (it == watches_.end() || it->second.State != TWatchState::Connected)
        return;
    TWatch& watch = it->second;
    watch.ReadArmed = true;
    // Data that arrived while the notice was disarmed raised its edge already; look now.
    if (DataWaiting(watch.Fd)) {
        watch.ReadArmed = false;
        Post(watch.Fd, serial, NotifyBit::Read, 0);
    }
}

void TSocketNotifyWindow::StartHostLookup(std::uint64_t request, const std::string& host) {
    StartWorker("WSAASyncGetHostByName", [channel = channel_, request, host] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
        TLookupResult result;
        int error = 0;
        if (rc == 0) {
            result.Address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
            freeaddrinfo(found);
        } else {
            error = rc == EAI_SYSTEM ? errno : rc;
            if (error == 0)
                error = EAI_FAIL;
        }
        PostLookupDone(channel, request, error, result);
    });
}

void TSocketNotifyWindow::StartServiceLookup(std::uint64_t request, const std::string& service) {
    StartWorker("WSAASyncGetServByName", [channel = channel_, request, service] {
        servent entry{};
        servent* found = nullptr;
        char buffer[1024];
        getservbyname_r(service.c_str(), "tcp", &entry, buffer, sizeof buffer, &found);
        TLookupResult result;
        int error = EAI_SERVICE;
        if (found != nullptr) {
            result.Port = static_cast<std::uint16_t>(found->s_port);
            error = 0;
        }
        PostLookupDone(channel, request, error, result);
    });
}

bool TSocketNotifyWindow::event(QEvent* event) {
    if (event->type() == SocketNoticeType) {
        auto* notice = static_cast<TSocketNoticeEvent*>(event);
        RunGuarded([&] {
            owner_.HandleSocketNotice(notice->Fd, notice->Serial, notice->Kind, notice->Error);
        });
        return true;
    }
    if (event->type() == LookupDoneType) {
        auto* done = static_cast<TLookupDoneEvent*>(event);
        RunGuarded([&] { owner_.HandleLookupDone(done->Request, done->Error, done->Result); });
        return true;
    }
    return QObject::event(event);
}

void TSocketNotifyWindow::timerEvent(QTimerEvent* event) {
    for (auto& [serial, watch] : watches_) {
        if (watch.TimerId == event->timerId()) {
            std::uint64_t timedOut = serial;
            RunGuarded([this, timedOut] { ConnectTimedOut(timedOut); });
            DeliverQueued();
            return;
        }
    }
    killTimer(event->timerId());
}

void TSocketNotifyWindow::PollReadiness() {
    epoll_event ready[32];
    int count = epoll_wait(epollFd_, ready, 32, 0);
    for (int i = 0; i < count; ++i)
        HandleReadiness(ready[i].data.u64, ready[i].events);
    DeliverQueued();
}

void TSocketNotifyWindow::DeliverQueued() {
    // We run inside a pump of the GUI thread's queue: hand the notices just queued to the socket
    // in this same pass, as a platform that queues its notices itself would, instead of leaving
    // them to the next pass (the probe's next pass comes 10 ms later).
    QCoreApplication::sendPostedEvents(this, 0);
}

void TSocketNotifyWindow::HandleReadiness(std::uint64_t serial, std::uint32_t events) {
    auto it = watches_.find(serial);
    if (it == watches_.end())
        return;
    TWatch& watch = it->second;
    if (watch.State == TWatchState::Connecting) {
        if ((events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) == 0)
            return;
        int error = PendingSocketError(watch.Fd);
        if (error == 0 && (events & EPOLLOUT) == 0)
            return;
        FinishConnect(serial, watch, error);
        // FinishConnect may have dropped a retired or failed handle's watch.
        it = watches_.find(serial);
        if (it == watches_.end() || it->second.State != TWatchState::Connected)
            return;
    }
    if (watch.State != TWatchState::Connected)
        return;
    bool closed = (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
    // Fetch the close code before peeking: a failed peek would consume it.
    int closeError = closed ? PendingSocketError(watch.Fd) : 0;
    if ((events & EPOLLIN) != 0 && watch.ReadArmed && DataWaiting(watch.Fd)) {
        watch.ReadArmed = false;
        Post(watch.Fd, serial, NotifyBit::Read, 0);
    }
    if (closed) {
        if (closeError == 0 && (events & EPOLLERR) != 0)
            closeError = ECONNRESET;
        Post(watch.Fd, serial, NotifyBit::Close, closeError);
        StopWatching(watch);
        watch.State = TWatchState::Done;
    }
}

void TSocketNotifyWindow::FinishConnect(std::uint64_t serial, TWatch& watch, int error) {
    StopTimer(watch);
    Post(watch.Fd, serial, NotifyBit::Connect, error);
    if (error == 0 && !watch.Retired) {
        watch.State = TWatchState::Connected;
        Post(watch.Fd, serial, NotifyBit::Write, 0);
        return;
    }
    // A failed handle stays open for its owner until the next open; a retired one is ours.
    StopWatching(watch);
    watch.State = TWatchState::Done;
    if (watch.Retired)
        close(watch.Fd);
    watches_.erase(serial);
}

void TSocketNotifyWindow::ConnectTimedOut(std::uint64_t serial) {
    auto it = watches_.find(serial);
    if (it == watches_.end())
        return;
    if (it->second.State != TWatchState::Connecting) {
        StopTimer(it->second);
        return;
    }
    // Abort the kernel's own retries: the attempt is over for us.
    sockaddr unspecified{};
    unspecified.sa_family = AF_UNSPEC;
    ::connect(it->second.Fd, &unspecified, sizeof unspecified);
    FinishConnect(serial, it->second, ETIMEDOUT);
}

void TSocketNotifyWindow::Post(int fd, std::uint64_t serial, int kind, int error) {
    if ((owner_.NotifyMask() & kind) == 0)
        return;
    QCoreApplication::postEvent(this, new TSocketNoticeEvent(fd, serial, kind, error));
}

void TSocketNotifyWindow::StopTimer(TWatch& watch) {
    if (watch.TimerId != 0)
        killTimer(watch.TimerId);
    watch.TimerId = 0;
}

void TSocketNotifyWindow::StopWatching(TWatch& watch) {
    StopTimer(watch);
    if (watch.State != TWatchState::Done)
        epoll_ctl(epollFd_, EPOLL_CTL_DEL, watch.Fd, nullptr);
}
