#pragma once

#include "engine/OutageEvents.h"

#include <vector>

// Follows what the outage tracker decides. Every call is made on the GUI thread, inside the probe
// cycle, the reload or the queued report of an alert worker that caused it; an observer must
// return quickly (queue slow work to a thread of its own) and must not throw. The defaults do
// nothing, so an observer overrides what it needs.
class OutageObserver {
public:
    virtual ~OutageObserver() = default;

    // The list was (re)loaded; `servers` is the new list in order, duplicates included. Called
    // after the outages the reload ended were reported.
    virtual void ServersLoaded(const std::vector<ServerKey>& servers) { (void)servers; }
    // Every probe's end, before any outage it starts or ends is reported.
    virtual void ProbeEnded(const ProbeEvent& probe) { (void)probe; }
    // The third failure in a row: the server is down.
    virtual void OutageStarted(const Outage& outage) { (void)outage; }
    // The probe cycle started the first alert worker of this outage.
    virtual void AlertStarted(const Outage& outage) { (void)outage; }
    // An alert worker's SMS send ended; `outage` is the outage as it is now (it may have ended
    // meanwhile), absent when the alert belonged to no outage the tracker still knows.
    virtual void SmsOutcome(const SmsEvent& sms, const Outage* outage) {
        (void)sms;
        (void)outage;
    }
    // The server is back (or the reload or the stop ended the outage; see `endReason`).
    virtual void OutageEnded(const Outage& outage) { (void)outage; }
};
