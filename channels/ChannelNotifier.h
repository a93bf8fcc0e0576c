#pragma once

#include "channels/Message.h"
#include "channels/OutageDigest.h"
#include "engine/OutageObserver.h"
#include "engine/ProbeObserver.h"

#include <functional>
#include <map>

class ProbeCycle;

// Follows the engine's outages for one channel and posts that channel's messages: at the end
// of each probe cycle, what OutageDigest made of it (down, all down, back, reminders). The
// decisions themselves are the engine's (OutageTracker); this only groups and words them.
// Lives on the GUI thread; `post` must not wait (it queues to the channel's worker). Observes
// `cycle` for as long as it lives.
class ChannelNotifier : public OutageObserver {
public:
    using Post = std::function<void(Message)>;

    ChannelNotifier(ProbeCycle& cycle, int remindMinutes, Post post);
    ~ChannelNotifier() override;
    ChannelNotifier(const ChannelNotifier&) = delete;
    ChannelNotifier& operator=(const ChannelNotifier&) = delete;

    void ServersLoaded(const std::vector<ServerKey>& servers) override;
    void ProbeEnded(const ProbeEvent& probe) override;
    void OutageStarted(const Outage& outage) override;
    void OutageEnded(const Outage& outage) override;

    // The cycle's edges; the probe cycle calls them, tests may too.
    void CycleStarted();
    void CycleEnded(WallTime now);

private:
    class Edges : public ProbeObserver {
    public:
        explicit Edges(ChannelNotifier& owner) : owner_(owner) {}
        void CycleStarted() override { owner_.CycleStarted(); }
        void CycleEnded(std::chrono::nanoseconds) override {
            owner_.CycleEnded(std::chrono::system_clock::now());
        }

    private:
        ChannelNotifier& owner_;
    };

    ProbeCycle& cycle_;
    Post post_;
    OutageDigest digest_;
    Edges edges_{*this};
    // When each failing server's current run of failures began, for the message that lists
    // every server of an all-failing cycle.
    std::map<ServerKey, WallTime> runStart_;
};
