#include "metrics/Exposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// UTF-8 bytes of a u8 literal (plain literals of this file are GBK).
std::string U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

ServerMetrics Server(std::string name, std::string address, int port) {
    ServerMetrics server;
    server.name = std::move(name);
    server.address = std::move(address);
    server.port = port;
    return server;
}

// Three servers: one up, one down whose name needs every escape, one not yet probed whose GBK
// name has a trail byte of 0x5C (a backslash if it were escaped before being converted).
MetricsSnapshot TableOfStates() {
    MetricsSnapshot snapshot;
    ServerMetrics up = Server("网站", "127.0.0.1", 8080);
    up.up = true;
    up.lastProbeSeconds = 1700000000.25;
    up.connectSeconds = 0.0015;
    up.successes = 3;
    up.failures = 1;
    ServerMetrics down = Server("a\"b\\c\nd", "10.0.0.2", 22);
    down.up = false;
    down.lastProbeSeconds = 1700000002.5;
    down.consecutiveFailures = 4;
    down.down = true;
    down.outages = 2;
    down.failures = 4;
    ServerMetrics fresh = Server("\x81\x5C", "127.0.0.1", 1);
    snapshot.servers = {up, down, fresh};
    snapshot.cycles = 7;
    snapshot.lastCycleSeconds = 4.25;
    snapshot.alerts = 2;
    return snapshot;
}

ScrapeExtras Extras() {
    ScrapeExtras extras;
    extras.smsSent = 1;
    extras.smsFailed = 2;
    extras.modemReady = true;
    extras.notifications = {{"webhook", 3, 1, 0}, {"mail", 0, 2, 1}};
    ProcessStats process;
    process.cpuSeconds = 1.5;
    process.startTimeSeconds = 1699999000;
    process.virtualBytes = 1000;
    process.residentBytes = 2000;
    process.openFds = 12;
    process.maxFds = 1024;
    extras.process = process;
    return extras;
}

const std::string kWeb = U8(u8"server=\"网站\",address=\"127.0.0.1\",port=\"8080\"");
const std::string kOdd = "server=\"a\\\"b\\\\c\\nd\",address=\"10.0.0.2\",port=\"22\"";
const std::string kFresh = U8(u8"server=\"乗\",address=\"127.0.0.1\",port=\"1\"");

const std::string kProcessWide =
    "# HELP servermonitor_cycles_total Probe cycles completed since start-up.\n"
    "# TYPE servermonitor_cycles_total counter\n"
    "servermonitor_cycles_total 7\n"
    "# HELP servermonitor_cycle_duration_seconds Duration of the last completed probe cycle.\n"
    "# TYPE servermonitor_cycle_duration_seconds gauge\n"
    "servermonitor_cycle_duration_seconds 4.25\n"
    "# HELP servermonitor_alerts_total Alerts started since start-up.\n"
    "# TYPE servermonitor_alerts_total counter\n"
    "servermonitor_alerts_total 2\n"
    "# HELP servermonitor_sms_total Alert SMS sends since start-up by result.\n"
    "# TYPE servermonitor_sms_total counter\n"
    "servermonitor_sms_total{result=\"sent\"} 1\n"
    "servermonitor_sms_total{result=\"failed\"} 2\n"
    "# HELP servermonitor_notifications_total Alert channel deliveries since start-up by "
    "channel and result: messages sent, attempts failed, messages dropped.\n"
    "# TYPE servermonitor_notifications_total counter\n"
    "servermonitor_notifications_total{channel=\"webhook\",result=\"sent\"} 3\n"
    "servermonitor_notifications_total{channel=\"webhook\",result=\"failed\"} 1\n"
    "servermonitor_notifications_total{channel=\"webhook\",result=\"dropped\"} 0\n"
    "servermonitor_notifications_total{channel=\"mail\",result=\"sent\"} 0\n"
    "servermonitor_notifications_total{channel=\"mail\",result=\"failed\"} 2\n"
    "servermonitor_notifications_total{channel=\"mail\",result=\"dropped\"} 1\n"
    "# HELP servermonitor_modem_ready Whether the SMS modem answered when the monitor started "
    "(1) or not (0).\n"
    "# TYPE servermonitor_modem_ready gauge\n"
    "servermonitor_modem_ready 1\n";

const std::string kProcess =
    "# HELP process_cpu_seconds_total Total user and system CPU time in seconds.\n"
    "# TYPE process_cpu_seconds_total counter\n"
    "process_cpu_seconds_total 1.5\n"
    "# HELP process_open_fds Number of open file descriptors.\n"
    "# TYPE process_open_fds gauge\n"
    "process_open_fds 12\n"
    "# HELP process_max_fds Maximum number of open file descriptors.\n"
    "# TYPE process_max_fds gauge\n"
    "process_max_fds 1024\n"
    "# HELP process_virtual_memory_bytes Virtual memory size in bytes.\n"
    "# TYPE process_virtual_memory_bytes gauge\n"
    "process_virtual_memory_bytes 1000\n"
    "# HELP process_resident_memory_bytes Resident memory size in bytes.\n"
    "# TYPE process_resident_memory_bytes gauge\n"
    "process_resident_memory_bytes 2000\n"
    "# HELP process_start_time_seconds Start time of the process in seconds since 1970-01-01 "
    "UTC.\n"
    "# TYPE process_start_time_seconds gauge\n"
    "process_start_time_seconds 1699999000\n";

TEST(Exposition, TableOfStatesGivesThisExactText) {
    const std::string expected =
        "# HELP servermonitor_up Whether the server accepted the connection at its last probe (1) "
        "or not (0).\n"
        "# TYPE servermonitor_up gauge\n"
        "servermonitor_up{" +
        kWeb +
        "} 1\n"
        "servermonitor_up{" +
        kOdd +
        "} 0\n"
        "# HELP servermonitor_connect_duration_seconds Time from the start of the attempt to the "
        "connection, at the server's last probe that connected.\n"
        "# TYPE servermonitor_connect_duration_seconds gauge\n"
        "servermonitor_connect_duration_seconds{" +
        kWeb +
        "} 0.0015\n"
        "# HELP servermonitor_consecutive_failures Failed probes in a row, as the alert counts "
        "them; a reload of the list restarts the count.\n"
        "# TYPE servermonitor_consecutive_failures gauge\n"
        "servermonitor_consecutive_failures{" +
        kWeb +
        "} 0\n"
        "servermonitor_consecutive_failures{" +
        kOdd +
        "} 4\n"
        "servermonitor_consecutive_failures{" +
        kFresh +
        "} 0\n"
        "# HELP servermonitor_down Whether the server is in an outage: from its third failed "
        "probe in a row until a probe holds its connection for the whole hold.\n"
        "# TYPE servermonitor_down gauge\n"
        "servermonitor_down{" +
        kWeb +
        "} 0\n"
        "servermonitor_down{" +
        kOdd +
        "} 1\n"
        "servermonitor_down{" +
        kFresh +
        "} 0\n"
        "# HELP servermonitor_outages_total Outages of the server since start-up.\n"
        "# TYPE servermonitor_outages_total counter\n"
        "servermonitor_outages_total{" +
        kWeb +
        "} 0\n"
        "servermonitor_outages_total{" +
        kOdd +
        "} 2\n"
        "servermonitor_outages_total{" +
        kFresh +
        "} 0\n"
        "# HELP servermonitor_probes_total Probes of the server by result.\n"
        "# TYPE servermonitor_probes_total counter\n"
        "servermonitor_probes_total{" +
        kWeb +
        ",result=\"success\"} 3\n"
        "servermonitor_probes_total{" +
        kWeb +
        ",result=\"failure\"} 1\n"
        "servermonitor_probes_total{" +
        kOdd +
        ",result=\"success\"} 0\n"
        "servermonitor_probes_total{" +
        kOdd +
        ",result=\"failure\"} 4\n"
        "servermonitor_probes_total{" +
        kFresh +
        ",result=\"success\"} 0\n"
        "servermonitor_probes_total{" +
        kFresh +
        ",result=\"failure\"} 0\n"
        "# HELP servermonitor_last_probe_timestamp_seconds When the server's last probe ended, in "
        "seconds since 1970-01-01 UTC.\n"
        "# TYPE servermonitor_last_probe_timestamp_seconds gauge\n"
        "servermonitor_last_probe_timestamp_seconds{" +
        kWeb +
        "} 1700000000.25\n"
        "servermonitor_last_probe_timestamp_seconds{" +
        kOdd + "} 1700000002.5\n" + kProcessWide + kProcess;
    EXPECT_EQ(RenderExposition(TableOfStates(), Extras()), expected);
}

TEST(Exposition, EveryFamilyKeepsItsHelpAndTypeWithoutSamples) {
    const std::string text = RenderExposition(MetricsSnapshot{}, ScrapeExtras{});
    for (const char* family :
         {"servermonitor_up", "servermonitor_connect_duration_seconds",
          "servermonitor_consecutive_failures", "servermonitor_down", "servermonitor_outages_total",
          "servermonitor_probes_total", "servermonitor_last_probe_timestamp_seconds",
          "servermonitor_cycles_total", "servermonitor_cycle_duration_seconds",
          "servermonitor_alerts_total", "servermonitor_sms_total",
          "servermonitor_notifications_total", "servermonitor_modem_ready"}) {
        EXPECT_NE(text.find(std::string("# HELP ") + family + " "), std::string::npos) << family;
        EXPECT_NE(text.find(std::string("# TYPE ") + family + " "), std::string::npos) << family;
    }
    EXPECT_EQ(text.find("\nservermonitor_cycle_duration_seconds "), std::string::npos) << text;
    EXPECT_NE(text.find("servermonitor_cycles_total 0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("servermonitor_modem_ready 0\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("process_"), std::string::npos) << text;
}

TEST(Exposition, LabelValuesAreEscapedAndSampleValuesReadBackExactly) {
    const std::pair<std::string, std::string> labels[] = {
        {"plain", "plain"},
        {"a\\b", "a\\\\b"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"two\nlines", "two\\nlines"},
        {"\\\"\n", "\\\\\\\"\\n"},
        {"tab\tand\rcr", "tab\tand\rcr"},
        {"", ""},
    };
    for (const auto& [input, expected] : labels)
        EXPECT_EQ(EscapeLabelValue(input), expected) << input;

    const std::pair<double, std::string> values[] = {
        {0, "0"},           {2, "2"},
        {2.5, "2.5"},       {0.1, "0.1"},
        {1e-05, "1e-05"},   {1700000000.123, "1700000000.123"},
        {-3.75, "-3.75"},   {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {HUGE_VAL, "+Inf"}, {-HUGE_VAL, "-Inf"},
    };
    for (const auto& [input, expected] : values) {
        EXPECT_EQ(FormatSampleValue(input), expected);
        if (std::isfinite(input)) {
            EXPECT_EQ(std::strtod(FormatSampleValue(input).c_str(), nullptr), input);
        }
    }
}

// promtool's verdict on `text`: its exit status and what it printed.
std::pair<int, std::string> Promtool(const std::string& text) {
    char path[] = "/tmp/exposition-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return {-1, "no temporary file"};
    ::close(fd);
    std::ofstream(path, std::ios::binary) << text;
    const std::string command = std::string("promtool check metrics < ") + path + " 2>&1";
    std::string output;
    int status = -1;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        status = ::pclose(pipe);
    }
    ::unlink(path);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

bool HavePromtool() {
    return std::system("command -v promtool >/dev/null 2>&1") == 0;
}

TEST(Exposition, PromtoolAcceptsTheTextAndWouldRejectABrokenOne) {
    if (!HavePromtool())
        GTEST_SKIP() << "promtool missing (Debian package prometheus)";
    // First make sure promtool does judge: an unescaped quote in a label value is an error.
    const auto [brokenStatus, brokenOutput] =
        Promtool("# HELP x_total X.\n# TYPE x_total counter\nx_total{a=\"b\"c\"} 1\n");
    EXPECT_NE(brokenStatus, 0) << brokenOutput;

    for (const MetricsSnapshot& snapshot : {TableOfStates(), MetricsSnapshot{}}) {
        const std::string text = RenderExposition(snapshot, Extras());
        const auto [status, output] = Promtool(text);
        EXPECT_EQ(status, 0) << output << "\n" << text;
        // Lint findings (a missing HELP, a counter without _total...) are printed, not failed.
        EXPECT_EQ(output, "") << text;
    }
}

} // namespace
