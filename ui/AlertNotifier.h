#pragma once

#include "engine/ProbeObserver.h"
#include "engine/ServerTable.h"
#include "ui/DesktopNotification.h"

#include <array>
#include <functional>

class ProbeCycle;

// Decides when the desktop hears of a server: once when the probe cycle starts the first alert
// worker of an alert for it (the cycle starts one every cycle while the server keeps failing),
// and once when a server that had alerted is reachable again. A reload of the server list
// forgets every alert. Notifications are keyed by the server's name, so the desktop shows at
// most one per server. Observes `cycle` for as long as it lives.
class AlertNotifier : public ProbeObserver {
public:
    using Sink = std::function<void(const DesktopNotification&)>;

    AlertNotifier(ProbeCycle& cycle, Sink sink);
    ~AlertNotifier() override;
    AlertNotifier(const AlertNotifier&) = delete;
    AlertNotifier& operator=(const AlertNotifier&) = delete;

    void ServersLoaded() override;
    void ProbeEnded(int slot, const ProbeRecord& record) override;
    void AlertStarted(int slot) override;

    // The texts (GBK): the alert names the server, its address and its consecutive failures;
    // the recovery names the server and its address.
    static DesktopNotification AlertNotification(const TServers& server);
    static DesktopNotification BackNotification(const TServers& server);

private:
    ProbeCycle& cycle_;
    Sink sink_;
    // Per slot: an alert was notified and the server has not answered since.
    std::array<bool, kServerSlots> alerting_{};
};
