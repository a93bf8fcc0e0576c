#include "metrics/MetricsExporter.h"

#include "channels/ChannelSetting.h"
#include "channels/NotificationCounts.h"
#include "engine/Alert.h"
#include "metrics/Exposition.h"
#include "metrics/MetricsSetting.h"
#include "metrics/ProcessStats.h"
#include "platform/GbkText.h"

MetricsExporter::MetricsExporter(ProbeCycle& cycle, const ListenAddress& address, bool modemReady,
                                 MetricsServer::Limits limits)
    : modem_(modemReady), collector_(cycle, board_),
      server_(
          address, [this] { return Render(); }, kExpositionContentType, limits) {}

std::string MetricsExporter::Render() const {
    const std::shared_ptr<const MetricsSnapshot> snapshot = board_.Current();
    ScrapeExtras extras;
    extras.smsSent = SmsOutcomeCounts().sent.load();
    extras.smsFailed = SmsOutcomeCounts().failed.load();
    extras.modemReady = modem_.Ready();
    for (std::string_view channel : {kWebhookChannel, kMailChannel}) {
        const NotificationCounts& counts = NotificationCountsOf(channel);
        extras.notifications.push_back({std::string(channel), counts.sent.load(),
                                        counts.failed.load(), counts.dropped.load()});
    }
    extras.process = ReadProcessStats();
    return RenderExposition(*snapshot, extras);
}

std::unique_ptr<MetricsExporter> StartMetrics(ProbeCycle& cycle, bool modemReady,
                                              const std::string& path,
                                              const MetricsErrorSink& errors) {
    auto report = [&](const std::string& problemGbk) {
        if (errors)
            errors("servermonitor: " + GbkToUtf8(path) + ": " + GbkToUtf8(problemGbk) +
                   "; the metrics endpoint is off\n");
    };
    const MetricsSetting setting = ReadMetricsSetting(path);
    switch (setting.state) {
    case MetricsSetting::State::Off:
        return nullptr;
    case MetricsSetting::State::Unusable:
        report(setting.problem);
        return nullptr;
    case MetricsSetting::State::On:
        break;
    }
    try {
        return std::make_unique<MetricsExporter>(cycle, setting.listen, modemReady);
    } catch (const std::exception& e) {
        report(e.what());
        return nullptr;
    }
}
