#pragma once

#include "engine/OutageTracker.h"
#include "engine/ProbeObserver.h"
#include "engine/ServerTable.h"
#include "net/ClientSocket.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <chrono>
#include <memory>
#include <vector>

class AlertLog;
class MonitorView;

// The probe cycle: the socket CS1, the cycle timer Timer1 and the hold timer Timer2 with their
// handlers. Lives on the GUI thread; talks to the window only through MonitorView, which must
// outlive it. Timer1 is started by the constructor with 1000 ms; Timer2 (2000 ms) is idle until
// a connection is made.
//
// A cycle (Timer1Timer) probes every server of ServerTable in turn, pumping the GUI thread's
// events until each probe has ended, then starts at most one alert worker and re-arms Timer1
// with the view's interval (seconds, clamped to 5..600).
class ProbeCycle : public QObject {
public:
    explicit ProbeCycle(MonitorView& view, QObject* parent = nullptr);
    ~ProbeCycle() override;

    TClientSocket CS1;
    QTimer Timer1;
    QTimer Timer2;

    // One probe cycle; does nothing when called while a cycle runs. Never throws.
    void Timer1Timer();
    // Runs a cycle at once, exactly as the timer does.
    void Button1Click();

    void CS1Connecting(TClientSocket* Sender, TCustomWinSocket* Socket);
    void CS1Connect(TClientSocket* Sender, TCustomWinSocket* Socket);
    void CS1Disconnect(TClientSocket* Sender, TCustomWinSocket* Socket);
    void CS1Error(TClientSocket* Sender, TCustomWinSocket* Socket, TErrorEvent ErrorEvent,
                  int& ErrorCode);
    void Timer2Timer();

    // LoadServers(view): rebuilds the table and the rows; throws EFOpenError like it. Either
    // way the slots' records start again and the observers hear of it.
    void LoadServers();

    // What the cycle has seen of `slot` (0..254) since the last LoadServers().
    const ProbeRecord& Record(int slot) const { return records_.at(slot); }

    // Decides outages from this cycle's probes; its observers hear of them.
    OutageTracker& Outages() { return outages_; }

    // Observers are not owned; one that goes away first removes itself.
    void AddObserver(ProbeObserver* observer);
    void RemoveObserver(ProbeObserver* observer);

    bool CycleRunning() const { return cycleRunning_; }
    // The slot the last cycle started an alert worker for; -1 when it started none.
    int LastAlertSlot() const { return lastAlertSlot_; }

private:
    void Walk();
    void ProbeSlot(int slot);
    void StartAlert();
    void RearmTimer1();
    void RecordFailure(int slot);
    void RecordSuccess(int slot);
    void SetRow(int slot, const char* status);
    int CurrentSlot() const;
    template <class Body> void Handler(bool endsProbe, Body&& body);
    void RecordProbe();
    ProbeResult Result() const;
    template <class Call> void Notify(Call&& call);

    MonitorView& view_;
    std::shared_ptr<AlertLog> alertLog_;
    bool cycleRunning_ = false;
    int lastAlertSlot_ = -1;
    // Per probe: whether it was already counted as a failure (so a reset followed by the close
    // of the broken connection counts once), and whether the attempt got under way.
    bool probeFailed_ = false;
    bool probeStarted_ = false;
    // Per probe: the outcome the handlers settled on last, and when the attempt started.
    ProbeRecord::Outcome probeOutcome_ = ProbeRecord::Outcome::None;
    std::chrono::steady_clock::time_point attemptStart_{};
    std::chrono::system_clock::time_point attemptWallStart_{};
    // The error code of the probe's last failure; 0 when none was reported.
    int probeError_ = 0;
    std::optional<std::chrono::nanoseconds> connectTime_;

    std::array<ProbeRecord, kServerSlots> records_{};
    OutageTracker outages_;
    std::vector<ProbeObserver*> observers_;
};
