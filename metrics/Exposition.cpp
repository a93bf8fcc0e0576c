#include "metrics/Exposition.h"

#include "platform/GbkText.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace {

class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    void Family(const char* name, const char* type, const char* help) {
        out_ += "# HELP ";
        out_ += name;
        out_ += ' ';
        out_ += help;
        out_ += "\n# TYPE ";
        out_ += name;
        out_ += ' ';
        out_ += type;
        out_ += '\n';
    }

    // `labels` is the label set already written as name="value" pairs, or empty.
    void Sample(const char* name, const std::string& labels, const std::string& value) {
        out_ += name;
        if (!labels.empty()) {
            out_ += '{';
            out_ += labels;
            out_ += '}';
        }
        out_ += ' ';
        out_ += value;
        out_ += '\n';
    }

private:
    std::string& out_;
};

std::string Count(std::uint64_t value) {
    return std::to_string(value);
}

std::string ServerLabels(const ServerMetrics& server) {
    return "server=\"" + EscapeLabelValue(GbkToUtf8(server.name)) + "\",address=\"" +
           EscapeLabelValue(GbkToUtf8(server.address)) + "\",port=\"" +
           std::to_string(server.port) + "\"";
}

void ServerFamilies(Writer& w, const MetricsSnapshot& snapshot) {
    std::vector<std::string> labels;
    labels.reserve(snapshot.servers.size());
    for (const ServerMetrics& server : snapshot.servers)
        labels.push_back(ServerLabels(server));
    const size_t n = snapshot.servers.size();

    w.Family("servermonitor_up", "gauge",
             "Whether the server accepted the connection at its last probe (1) or not (0).");
    for (size_t i = 0; i < n; ++i)
        if (const auto& up = snapshot.servers[i].up)
            w.Sample("servermonitor_up", labels[i], *up ? "1" : "0");

    w.Family("servermonitor_connect_duration_seconds", "gauge",
             "Time from the start of the attempt to the connection, at the server's last probe "
             "that connected.");
    for (size_t i = 0; i < n; ++i)
        if (const auto& seconds = snapshot.servers[i].connectSeconds)
            w.Sample("servermonitor_connect_duration_seconds", labels[i],
                     FormatSampleValue(*seconds));

    w.Family("servermonitor_consecutive_failures", "gauge",
             "Failed probes in a row, as the alert counts them; a reload of the list restarts "
             "the count.");
    for (size_t i = 0; i < n; ++i)
        w.Sample("servermonitor_consecutive_failures", labels[i],
                 std::to_string(snapshot.servers[i].consecutiveFailures));

    w.Family("servermonitor_down", "gauge",
             "Whether the server is in an outage: from its third failed probe in a row until a "
             "probe holds its connection for the whole hold.");
    for (size_t i = 0; i < n; ++i)
        w.Sample("servermonitor_down", labels[i], snapshot.servers[i].down ? "1" : "0");

    w.Family("servermonitor_outages_total", "counter", "Outages of the server since start-up.");
    for (size_t i = 0; i < n; ++i)
        w.Sample("servermonitor_outages_total", labels[i], Count(snapshot.servers[i].outages));

    w.Family("servermonitor_probes_total", "counter", "Probes of the server by result.");
    for (size_t i = 0; i < n; ++i) {
        w.Sample("servermonitor_probes_total", labels[i] + ",result=\"success\"",
                 Count(snapshot.servers[i].successes));
        w.Sample("servermonitor_probes_total", labels[i] + ",result=\"failure\"",
                 Count(snapshot.servers[i].failures));
    }

    w.Family("servermonitor_last_probe_timestamp_seconds", "gauge",
             "When the server's last probe ended, in seconds since 1970-01-01 UTC.");
    for (size_t i = 0; i < n; ++i)
        if (snapshot.servers[i].up)
            w.Sample("servermonitor_last_probe_timestamp_seconds", labels[i],
                     FormatSampleValue(snapshot.servers[i].lastProbeSeconds));
}

void ProcessFamilies(Writer& w, const ProcessStats& p) {
    w.Family("process_cpu_seconds_total", "counter", "Total user and system CPU time in seconds.");
    w.Sample("process_cpu_seconds_total", "", FormatSampleValue(p.cpuSeconds));
    w.Family("process_open_fds", "gauge", "Number of open file descriptors.");
    w.Sample("process_open_fds", "", Count(p.openFds));
    if (p.maxFds > 0) {
        w.Family("process_max_fds", "gauge", "Maximum number of open file descriptors.");
        w.Sample("process_max_fds", "", Count(p.maxFds));
    }
    w.Family("process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.");
    w.Sample("process_virtual_memory_bytes", "", Count(p.virtualBytes));
    w.Family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
    w.Sample("process_resident_memory_bytes", "", Count(p.residentBytes));
    w.Family("process_start_time_seconds", "gauge",
             "Start time of the process in seconds since 1970-01-01 UTC.");
    w.Sample("process_start_time_seconds", "", FormatSampleValue(p.startTimeSeconds));
}

} // namespace

std::string EscapeLabelValue(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string FormatSampleValue(double value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string RenderExposition(const MetricsSnapshot& snapshot, const ScrapeExtras& extras) {
    std::string out;
    out.reserve(1024 + snapshot.servers.size() * 700);
    Writer w(out);
    ServerFamilies(w, snapshot);

    w.Family("servermonitor_cycles_total", "counter", "Probe cycles completed since start-up.");
    w.Sample("servermonitor_cycles_total", "", Count(snapshot.cycles));
    w.Family("servermonitor_cycle_duration_seconds", "gauge",
             "Duration of the last completed probe cycle.");
    if (snapshot.lastCycleSeconds)
        w.Sample("servermonitor_cycle_duration_seconds", "",
                 FormatSampleValue(*snapshot.lastCycleSeconds));
    w.Family("servermonitor_alerts_total", "counter", "Alerts started since start-up.");
    w.Sample("servermonitor_alerts_total", "", Count(snapshot.alerts));
    w.Family("servermonitor_sms_total", "counter", "Alert SMS sends since start-up by result.");
    w.Sample("servermonitor_sms_total", "result=\"sent\"", Count(extras.smsSent));
    w.Sample("servermonitor_sms_total", "result=\"failed\"", Count(extras.smsFailed));
    w.Family("servermonitor_notifications_total", "counter",
             "Alert channel deliveries since start-up by channel and result: messages sent, "
             "attempts failed, messages dropped.");
    for (const ScrapeExtras::Notifications& n : extras.notifications) {
        const std::string channel = "channel=\"" + EscapeLabelValue(n.channel) + "\",";
        w.Sample("servermonitor_notifications_total", channel + "result=\"sent\"", Count(n.sent));
        w.Sample("servermonitor_notifications_total", channel + "result=\"failed\"",
                 Count(n.failed));
        w.Sample("servermonitor_notifications_total", channel + "result=\"dropped\"",
                 Count(n.dropped));
    }
    w.Family("servermonitor_modem_ready", "gauge",
             "Whether the SMS modem answered when the monitor started (1) or not (0).");
    w.Sample("servermonitor_modem_ready", "", extras.modemReady ? "1" : "0");

    if (extras.process)
        ProcessFamilies(w, *extras.process);
    return out;
}
