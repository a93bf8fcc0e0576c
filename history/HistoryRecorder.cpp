#include "history/HistoryRecorder.h"

#include "engine/ProbeCycle.h"
#include "platform/GbkText.h"

#include <QMetaObject>
#include <QPointer>

namespace {

std::int64_t Millis(WallTime time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

std::int64_t NowMillis() {
    return Millis(std::chrono::system_clock::now());
}

void Identify(HistoryRecord& record, const ServerKey& server) {
    record.name = GbkToUtf8(server.name);
    record.address = GbkToUtf8(server.address);
    record.port = server.port;
}

} // namespace

HistoryRecorder::HistoryRecorder(ProbeCycle& cycle, HistoryWriter::Options options,
                                 FaultSink faultLine, FaultSink faultNotice)
    : cycle_(cycle) {
    QPointer<QObject> receiver(&receiver_);
    auto faults = [faultLine = std::move(faultLine), faultNotice = std::move(faultNotice),
                   receiver](const std::string& line) {
        if (faultLine)
            faultLine(line);
        if (!faultNotice || !receiver)
            return;
        QMetaObject::invokeMethod(
            receiver.data(), [faultNotice, line] { faultNotice(line); }, Qt::QueuedConnection);
    };
    writer_ = std::make_unique<HistoryWriter>(std::move(options), std::move(faults));
    HistoryRecord start;
    start.kind = HistoryRecord::Kind::MonitorStarted;
    start.time = NowMillis();
    Push(std::move(start));
    cycle_.Outages().AddObserver(this);
}

HistoryRecorder::~HistoryRecorder() {
    Stop();
    cycle_.Outages().RemoveObserver(this);
    writer_.reset();
}

void HistoryRecorder::Stop() {
    if (stopped_)
        return;
    // Open outages end here; the tracker tells every observer, this one included.
    cycle_.Outages().Stop(std::chrono::system_clock::now());
    stopped_ = true;
    HistoryRecord stop;
    stop.kind = HistoryRecord::Kind::MonitorStopped;
    stop.time = NowMillis();
    writer_->Push(std::move(stop));
    writer_->Flush(HistoryWriter::kCloseWait);
}

void HistoryRecorder::Push(HistoryRecord record) {
    if (!stopped_)
        writer_->Push(std::move(record));
}

void HistoryRecorder::ServersLoaded(const std::vector<ServerKey>& servers) {
    HistoryRecord record;
    record.kind = HistoryRecord::Kind::ListReloaded;
    record.time = NowMillis();
    record.detail = std::to_string(servers.size());
    Push(std::move(record));
}

void HistoryRecorder::ProbeEnded(const ProbeEvent& probe) {
    HistoryRecord record;
    record.kind = HistoryRecord::Kind::Probe;
    Identify(record, probe.server);
    record.time = Millis(probe.end);
    record.result = static_cast<std::int32_t>(probe.result);
    if (probe.connectTime)
        record.connectMicros =
            std::chrono::duration_cast<std::chrono::microseconds>(*probe.connectTime).count();
    Push(std::move(record));
}

HistoryRecord HistoryRecorder::OutageRecord(HistoryRecord::Kind kind, const Outage& o) const {
    HistoryRecord record;
    record.kind = kind;
    Identify(record, o.server);
    record.outageId = o.id;
    record.time = Millis(kind == HistoryRecord::Kind::OutageEnded && o.end ? *o.end : o.start);
    record.declared = Millis(o.declared);
    record.result = static_cast<std::int32_t>(
        kind == HistoryRecord::Kind::OutageStarted ? o.cause : o.lastResult);
    record.failures = o.failures;
    record.endReason = static_cast<std::int32_t>(o.endReason);
    record.alert = o.alertStarted;
    record.smsSent = o.smsSent;
    record.smsFailed = o.smsFailed;
    return record;
}

void HistoryRecorder::OutageStarted(const Outage& outage) {
    Push(OutageRecord(HistoryRecord::Kind::OutageStarted, outage));
}

void HistoryRecorder::AlertStarted(const Outage& outage) {
    Push(OutageRecord(HistoryRecord::Kind::OutageChanged, outage));
}

void HistoryRecorder::SmsOutcome(const SmsEvent&, const Outage* outage) {
    if (outage)
        Push(OutageRecord(HistoryRecord::Kind::OutageChanged, *outage));
}

void HistoryRecorder::OutageEnded(const Outage& outage) {
    Push(OutageRecord(HistoryRecord::Kind::OutageEnded, outage));
}
