#include "channels/OutageDigest.h"

#include "channels/MessageComposer.h"

#include <algorithm>

void OutageDigest::ServersLoaded() {
    down_.clear();
    CycleStarted();
}

void OutageDigest::CycleStarted() {
    failed_.clear();
    probed_ = 0;
    wentDown_.clear();
    cameBack_.clear();
}

void OutageDigest::ProbeEnded(const OutageServer& server, bool success) {
    ++probed_;
    if (success)
        return;
    failed_.push_back(server);
    // A server that stays down: its reminder tells the count as it is now.
    if (auto it = down_.find(KeyOf(server)); it != down_.end())
        it->second.server.failures = server.failures;
}

void OutageDigest::WentDown(const OutageServer& server) {
    wentDown_.push_back(server);
    down_[KeyOf(server)] = {server, {}};
}

void OutageDigest::CameBack(const OutageServer& server) {
    if (down_.erase(KeyOf(server)) > 0)
        cameBack_.push_back(server);
}

std::vector<Message> OutageDigest::CycleEnded(TimePoint now) {
    std::vector<Message> messages;
    if (!wentDown_.empty()) {
        // Every probed server failed: the servers are hardly all down at once; this machine's
        // own network is. One server alone cannot tell the two apart.
        const bool allFailed = probed_ >= 2 && static_cast<int>(failed_.size()) == probed_;
        messages.push_back(allFailed ? MessageComposer::AllDown(failed_, now)
                                     : MessageComposer::Down(wentDown_, now));
        for (const OutageServer& server : wentDown_)
            down_[KeyOf(server)].lastNotice = now;
    }
    if (!cameBack_.empty())
        messages.push_back(MessageComposer::Back(cameBack_, now));
    if (remind_.count() > 0) {
        std::vector<OutageServer> due;
        for (auto& [key, down] : down_) {
            if (now - down.lastNotice >= remind_) {
                due.push_back(down.server);
                down.lastNotice = now;
            }
        }
        std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) {
            return a.failingSince < b.failingSince;
        });
        if (!due.empty())
            messages.push_back(MessageComposer::Reminder(due, now));
    }
    CycleStarted();
    return messages;
}
