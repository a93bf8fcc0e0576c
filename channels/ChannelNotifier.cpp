#include "channels/ChannelNotifier.h"

#include "engine/ProbeCycle.h"

namespace {

OutageServer FromKey(const ServerKey& key) {
    OutageServer server;
    server.name = key.name;
    server.address = key.address;
    server.port = key.port;
    return server;
}

OutageServer FromOutage(const Outage& outage) {
    OutageServer server = FromKey(outage.server);
    server.failingSince = outage.start;
    server.failures = outage.failures;
    if (outage.end)
        server.backAt = *outage.end;
    return server;
}

} // namespace

ChannelNotifier::ChannelNotifier(ProbeCycle& cycle, int remindMinutes, Post post)
    : cycle_(cycle), post_(std::move(post)), digest_(remindMinutes) {
    cycle_.Outages().AddObserver(this);
    cycle_.AddObserver(&edges_);
}

ChannelNotifier::~ChannelNotifier() {
    cycle_.RemoveObserver(&edges_);
    cycle_.Outages().RemoveObserver(this);
}

void ChannelNotifier::ServersLoaded(const std::vector<ServerKey>&) {
    digest_.ServersLoaded();
    runStart_.clear();
}

void ChannelNotifier::ProbeEnded(const ProbeEvent& probe) {
    const bool held = probe.result == ProbeResult::Held;
    if (held) {
        runStart_.erase(probe.server);
    } else if (probe.consecutiveFailures <= 1 || !runStart_.count(probe.server)) {
        runStart_[probe.server] = probe.start;
    }
    OutageServer server = FromKey(probe.server);
    server.failures = probe.consecutiveFailures;
    if (!held)
        server.failingSince = runStart_[probe.server];
    digest_.ProbeEnded(server, held);
}

void ChannelNotifier::OutageStarted(const Outage& outage) {
    digest_.WentDown(FromOutage(outage));
}

void ChannelNotifier::OutageEnded(const Outage& outage) {
    // A reload or the monitor's stop ends outages too, but the server did not come back.
    if (outage.endReason == OutageEnd::Answered)
        digest_.CameBack(FromOutage(outage));
}

void ChannelNotifier::CycleStarted() {
    digest_.CycleStarted();
}

void ChannelNotifier::CycleEnded(WallTime now) {
    for (Message& message : digest_.CycleEnded(now))
        post_(std::move(message));
}
