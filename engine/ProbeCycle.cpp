#include "engine/ProbeCycle.h"

#include "engine/Alert.h"
#include "engine/AlertLog.h"
#include "engine/MonitorView.h"
#include "engine/ProbeFlags.h"
#include "engine/ServerTable.h"
#include "platform/ErrorReport.h"

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <thread>

namespace {

constexpr int kCycleTimerMs = 1000;
constexpr int kHoldMs = 2000;
constexpr int kStoredPort = 9000;
constexpr int kMinIntervalSeconds = 5;
constexpr int kMaxIntervalSeconds = 600;
constexpr auto kPumpSleep = std::chrono::milliseconds(10);

} // namespace

ProbeCycle::ProbeCycle(MonitorView& view, QObject* parent)
    : QObject(parent), view_(view),
      alertLog_(std::make_shared<AlertLog>(
          this, [&view](const std::string& line) { view.AppendLog(line); })) {
    CS1.SetPort(kStoredPort);
    CS1.OnConnecting = [this](TClientSocket* s, TCustomWinSocket* so) { CS1Connecting(s, so); };
    CS1.OnConnect = [this](TClientSocket* s, TCustomWinSocket* so) { CS1Connect(s, so); };
    CS1.OnDisconnect = [this](TClientSocket* s, TCustomWinSocket* so) { CS1Disconnect(s, so); };
    CS1.OnError = [this](TClientSocket* s, TCustomWinSocket* so, TErrorEvent e, int& code) {
        CS1Error(s, so, e, code);
    };

    // Coarse timers may fire up to 5% early or late; the hold and the interval are promised.
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer2.setTimerType(Qt::PreciseTimer);
    Timer1.setInterval(kCycleTimerMs);
    Timer2.setInterval(kHoldMs);
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(&Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    Timer1.start();
}

ProbeCycle::~ProbeCycle() {
    // Workers still running drop their lines from here on; queued ones die with this object.
    alertLog_->Detach();
}

void ProbeCycle::LoadServers() {
    struct Restart {
        ProbeCycle& cycle;
        ~Restart() {
            cycle.records_.fill(ProbeRecord{});
            cycle.Notify([](ProbeObserver& o) { o.ServersLoaded(); });
            cycle.outages_.ServersLoaded(std::chrono::system_clock::now());
        }
    } restart{*this};
    ::LoadServers(view_);
}

void ProbeCycle::AddObserver(ProbeObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void ProbeCycle::RemoveObserver(ProbeObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

template <class Call> void ProbeCycle::Notify(Call&& call) {
    // A copy: an observer may remove itself while it is called.
    const std::vector<ProbeObserver*> observers = observers_;
    for (ProbeObserver* observer : observers) {
        try {
            call(*observer);
        } catch (...) {
            ReportCurrentException();
        }
    }
}

void ProbeCycle::Button1Click() {
    Timer1Timer();
}

void ProbeCycle::Timer1Timer() {
    // Cycles never nest: the timer is stopped and the buttons are off while one runs, and this
    // covers any other caller.
    if (cycleRunning_)
        return;
    cycleRunning_ = true;
    RunGuarded([this] {
        Timer1.stop();
        view_.SetButton1Enabled(false);
        view_.SetButton2Enabled(false);
        const auto start = std::chrono::steady_clock::now();
        Notify([](ProbeObserver& o) { o.CycleStarted(); });
        try {
            Walk();
            StartAlert();
        } catch (...) {
            // The cycle ends here without a word; it is re-armed as usual.
        }
        const auto duration = std::chrono::steady_clock::now() - start;
        Notify([duration](ProbeObserver& o) { o.CycleEnded(duration); });
        RearmTimer1();
        view_.SetButton1Enabled(true);
        view_.SetButton2Enabled(true);
    });
    cycleRunning_ = false;
}

void ProbeCycle::Walk() {
    for (int i = 0; i < kServerSlots && !ServerTable[i].IP.empty(); ++i)
        ProbeSlot(i);
}

void ProbeCycle::ProbeSlot(int slot) {
    HoldClosed = false;
    probeFailed_ = false;
    probeStarted_ = false;
    probeOutcome_ = ProbeRecord::Outcome::None;
    probeError_ = 0;
    connectTime_.reset();

    CS1.SetAddress(ServerTable[slot].IP);
    CS1.SetPort(ServerTable[slot].Port);
    // Raised before the attempt starts, so that a handler ending the probe inside SetActive is
    // not overwritten.
    ProbeWaiting = true;
    attemptStart_ = std::chrono::steady_clock::now();
    attemptWallStart_ = std::chrono::system_clock::now();
    try {
        CS1.SetActive(true);
    } catch (...) {
        // The attempt failed at once (no socket to be had, an address refused on the spot): one
        // failed probe, and the walk goes on.
        ProbeWaiting = false;
        RecordFailure(CurrentSlot());
    }
    if (ProbeWaiting && !probeStarted_) {
        // No attempt got under way, so no event will ever end this probe.
        ProbeWaiting = false;
        RecordFailure(CurrentSlot());
    }

    while (ProbeWaiting) {
        QCoreApplication::processEvents();
        if (!ProbeWaiting)
            break;
        std::this_thread::sleep_for(kPumpSleep);
    }

    // A probe ended by an error after the connection was made (a reset during the hold) leaves
    // the connection open and the hold timer running; close it here so the next server can be
    // probed and no late hold end touches the next probe.
    Timer2.stop();
    if (CS1.Active())
        CS1.SetActive(false);
    RecordProbe();
}

void ProbeCycle::RecordProbe() {
    const int slot = CurrentSlot();
    if (slot < 0 || probeOutcome_ == ProbeRecord::Outcome::None)
        return;
    ProbeRecord& record = records_[slot];
    record.lastOutcome = probeOutcome_;
    record.lastProbeEnd = std::chrono::system_clock::now();
    if (probeOutcome_ == ProbeRecord::Outcome::Success) {
        ++record.successes;
        if (connectTime_)
            record.lastConnectTime = connectTime_;
    } else {
        ++record.failures;
    }
    Notify([slot, &record](ProbeObserver& o) { o.ProbeEnded(slot, record); });
    outages_.ProbeEnded(slot, Result(), attemptWallStart_, record.lastProbeEnd, connectTime_);
}

ProbeResult ProbeCycle::Result() const {
    // Success is only a connection the hold timer found open and closed itself; one the cycle
    // ended otherwise was not held for the whole hold.
    if (probeOutcome_ == ProbeRecord::Outcome::Success && HoldClosed)
        return ProbeResult::Held;
    if (connectTime_)
        return ProbeResult::Dropped;
    return probeError_ == ECONNREFUSED ? ProbeResult::Refused : ProbeResult::Unreachable;
}

void ProbeCycle::StartAlert() {
    lastAlertSlot_ = -1;
    for (int i = 0; i < kServerSlots && !ServerTable[i].IP.empty(); ++i) {
        if (ServerTable[i].FailCount > 2) {
            auto* alert = new TAlert(alertLog_);
            alert->ServerIndex = i;
            const Outage* outage = outages_.OpenOutage(i);
            const std::uint64_t outageId = outage ? outage->id : 0;
            ServerKey server;
            if (const ServerKey* known = outages_.Server(i))
                server = *known;
            alert->OnSmsOutcome = [this, log = alertLog_, outageId, server](bool sent) {
                const auto time = std::chrono::system_clock::now();
                log->Call([this, outageId, server, time, sent] {
                    outages_.SmsOutcome(outageId, server, time, sent);
                });
            };
            alert->Start();
            lastAlertSlot_ = i;
            Notify([i](ProbeObserver& o) { o.AlertStarted(i); });
            outages_.AlertStarted(i);
            return;
        }
    }
}

void ProbeCycle::RearmTimer1() {
    // The field is read as typed, so 0 or a negative value can reach this point.
    const int seconds = std::clamp(view_.IntervalValue(), kMinIntervalSeconds, kMaxIntervalSeconds);
    Timer1.start(seconds * 1000);
}

template <class Body> void ProbeCycle::Handler(bool endsProbe, Body&& body) {
    try {
        body();
    } catch (...) {
        // Reported here rather than thrown back into the socket, which would leave a handle it
        // never closes; the handler's remaining steps are skipped, and a handler that was to end
        // or continue the probe ends it now, so the cycle never waits for ever.
        ReportCurrentException();
        if (endsProbe)
            ProbeWaiting = false;
    }
}

void ProbeCycle::CS1Connecting(TClientSocket*, TCustomWinSocket*) {
    probeStarted_ = true;
    // The attempt is under way whatever happens here; its outcome still ends the probe.
    Handler(false, [this] {
        SetRow(CurrentSlot(), "检测中");
        view_.AppendLog("正在和" + CS1.Address() + "建立连接...");
    });
}

void ProbeCycle::CS1Connect(TClientSocket*, TCustomWinSocket* Socket) {
    connectTime_ = std::chrono::steady_clock::now() - attemptStart_;
    Handler(true, [this, Socket] {
        view_.AppendLog("连接" + Socket->PeerAddress() + "成功!");
        RecordSuccess(CurrentSlot());
        Timer2.start();
    });
}

void ProbeCycle::Timer2Timer() {
    RunGuarded([this] {
        struct EndProbe {
            ~EndProbe() { ProbeWaiting = false; }
        } endProbe;
        Timer2.stop();
        HoldClosed = CS1.Active();
        CS1.SetActive(false);
    });
}

void ProbeCycle::CS1Disconnect(TClientSocket*, TCustomWinSocket* Socket) {
    Handler(false, [this, Socket] {
        view_.AppendLog("和" + Socket->PeerAddress() + "断开连接!");
        if (HoldClosed)
            RecordSuccess(CurrentSlot());
        else
            RecordFailure(CurrentSlot());
    });
}

void ProbeCycle::CS1Error(TClientSocket*, TCustomWinSocket*, TErrorEvent, int& ErrorCode) {
    Handler(true, [this, &ErrorCode] {
        if (probeError_ == 0)
            probeError_ = ErrorCode;
        ErrorCode = 0;
        RecordFailure(CurrentSlot());
        ProbeWaiting = false;
    });
}

int ProbeCycle::CurrentSlot() const {
    return FindServer(CS1.Address(), CS1.Port());
}

void ProbeCycle::SetRow(int slot, const char* status) {
    if (slot >= 0)
        view_.SetRowStatus(ServerTable[slot].ItemIndex, status);
}

void ProbeCycle::RecordSuccess(int slot) {
    if (slot < 0)
        return;
    probeOutcome_ = ProbeRecord::Outcome::Success;
    ServerTable[slot].Online = -1;
    ServerTable[slot].FailCount = 0;
    SetRow(slot, "正常");
}

void ProbeCycle::RecordFailure(int slot) {
    // One probe counts at most once, however many ways it fails (a reset, then the close of
    // the broken connection).
    if (slot < 0)
        return;
    // The close that follows a failure is judged a failure too, whatever the count says.
    probeOutcome_ = ProbeRecord::Outcome::Failure;
    if (probeFailed_)
        return;
    probeFailed_ = true;
    TServers& server = ServerTable[slot];
    server.Online = 0;
    if (server.FailCount < std::numeric_limits<std::int32_t>::max())
        ++server.FailCount;
    SetRow(slot, "故障");
}
