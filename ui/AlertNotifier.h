#pragma once

#include "engine/OutageObserver.h"
#include "ui/DesktopNotification.h"

#include <functional>

class ProbeCycle;

// Tells the desktop of outages the engine decided: once when the probe cycle starts the first
// alert worker of an outage, and once when a server whose outage was alerted answers again. An
// outage that the reload of the list (or the stop) ended is not announced as a recovery, and
// one that never alerted is not announced at all. Notifications are keyed by the server's name,
// so the desktop shows at most one per server. Observes `cycle`'s outages for as long as it
// lives.
class AlertNotifier : public OutageObserver {
public:
    using Sink = std::function<void(const DesktopNotification&)>;

    AlertNotifier(ProbeCycle& cycle, Sink sink);
    ~AlertNotifier() override;
    AlertNotifier(const AlertNotifier&) = delete;
    AlertNotifier& operator=(const AlertNotifier&) = delete;

    void AlertStarted(const Outage& outage) override;
    void OutageEnded(const Outage& outage) override;

    // The texts (GBK): the alert names the server, its address and its failures in a row; the
    // recovery names the server and its address.
    static DesktopNotification AlertNotification(const Outage& outage);
    static DesktopNotification BackNotification(const Outage& outage);

private:
    ProbeCycle& cycle_;
    Sink sink_;
};
