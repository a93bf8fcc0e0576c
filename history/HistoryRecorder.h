#pragma once

#include "engine/OutageObserver.h"
#include "history/HistoryWriter.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class ProbeCycle;

// Keeps the monitor's history: follows `cycle`'s outage tracker on the GUI thread and hands
// every probe, outage, reload, start and stop to a HistoryWriter as records, which costs the
// GUI thread a copy and a short lock, never the disk. `cycle` must outlive it.
//
// A fault of the file is written as one line through `faultLine` on the writer thread (the
// standard error's writer takes any thread), and `faultNotice` then hears of it once on the GUI
// thread (for a box on a display); either may be empty.
class HistoryRecorder : public OutageObserver {
public:
    using FaultSink = std::function<void(const std::string& lineUtf8)>;

    HistoryRecorder(ProbeCycle& cycle, HistoryWriter::Options options, FaultSink faultLine,
                    FaultSink faultNotice);
    // Records the stop (see Stop) if it was not, and writes what is left.
    ~HistoryRecorder() override;
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    // The close path: open outages end as stopped, the stop is recorded, and what is queued is
    // written, within HistoryWriter::kCloseWait.
    void Stop();

    HistoryWriter& Writer() { return *writer_; }

    void ServersLoaded(const std::vector<ServerKey>& servers) override;
    void ProbeEnded(const ProbeEvent& probe) override;
    void OutageStarted(const Outage& outage) override;
    void AlertStarted(const Outage& outage) override;
    void SmsOutcome(const SmsEvent& sms, const Outage* outage) override;
    void OutageEnded(const Outage& outage) override;

private:
    void Push(HistoryRecord record);
    HistoryRecord OutageRecord(HistoryRecord::Kind kind, const Outage& outage) const;

    ProbeCycle& cycle_;
    // Receives the fault notice on the GUI thread; queued calls die with it.
    QObject receiver_;
    std::unique_ptr<HistoryWriter> writer_;
    bool stopped_ = false;
};
