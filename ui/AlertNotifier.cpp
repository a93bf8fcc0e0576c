#include "ui/AlertNotifier.h"

#include "engine/ProbeCycle.h"

#include <string>

namespace {

std::string Address(const ServerKey& server) {
    return server.address + ":" + std::to_string(server.port);
}

} // namespace

AlertNotifier::AlertNotifier(ProbeCycle& cycle, Sink sink) : cycle_(cycle), sink_(std::move(sink)) {
    cycle_.Outages().AddObserver(this);
}

AlertNotifier::~AlertNotifier() {
    cycle_.Outages().RemoveObserver(this);
}

DesktopNotification AlertNotifier::AlertNotification(const Outage& outage) {
    const ServerKey& server = outage.server;
    return {server.name, "服务器故障：" + server.name,
            Address(server) + " 连续" + std::to_string(outage.failures) + "次连接失败",
            DesktopNotification::Urgency::Critical};
}

DesktopNotification AlertNotifier::BackNotification(const Outage& outage) {
    const ServerKey& server = outage.server;
    return {server.name, "服务器恢复：" + server.name, Address(server) + " 已恢复连接",
            DesktopNotification::Urgency::Normal};
}

void AlertNotifier::AlertStarted(const Outage& outage) {
    if (sink_)
        sink_(AlertNotification(outage));
}

void AlertNotifier::OutageEnded(const Outage& outage) {
    if (outage.alertStarted && outage.endReason == OutageEnd::Answered && sink_)
        sink_(BackNotification(outage));
}
