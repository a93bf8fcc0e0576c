#pragma once

#include "LocalServers.h"
#include "engine/MonitorView.h"

#include <chrono>
#include <string>
#include <vector>

// What the benchmarks of the probe cycle share: a quiet alert, a server list over the local
// servers, a view that times each probe, and percentiles.

// Tones and SMS become no-ops, so that an alert worker does not sleep through nine real tones per
// cycle or look for a modem.
void SilenceAlerts();

// A servers.ini in a fresh folder made from `folderPattern` (mkdtemp's, ending in XXXXXX), its
// servers alternating between the accepting and the refused ports of `servers` and named
// `namePrefix` and their number (GBK). Exits the program with a message when it cannot be
// written. RemoveServerList takes it and its folder away.
std::string WriteServerList(const LocalServers& servers, std::string folderPattern,
                            const std::string& namePrefix);
void RemoveServerList(const std::string& path);

// Times each probe from its connecting line to the next one (or the end of the cycle), and the
// hold from the connected line to the disconnected one.
class TimingView : public MonitorView {
public:
    using Clock = std::chrono::steady_clock;
    struct Probe {
        Clock::time_point start;
        double ms = -1;
        double holdMs = -1;
        Clock::time_point connected;
    };
    std::vector<Probe> probes;
    long lines = 0;

    void ClearRows() override {}
    void AddRow(const std::string&, const std::string&) override {}
    void SetRowStatus(int, const std::string&) override {}
    void AppendLog(const std::string& line) override;
    int IntervalValue() override { return 600; }
    void SetButton1Enabled(bool enabled) override;
    void SetButton2Enabled(bool) override {}

private:
    void Close(Clock::time_point now);
};

// The value below which `share` (0 to 1) of `values` lie; 0 for none.
double Percentile(std::vector<double> values, double share);
