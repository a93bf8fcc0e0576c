#include "metrics/MetricsExporter.h"
#include "engine/CycleFixture.h"

#include "ScrapeClient.h"
#include "channels/ChannelSetting.h"
#include "channels/NotificationCounts.h"
#include "engine/Alert.h"
#include "engine/FakeView.h"
#include "engine/ProbeCycle.h"
#include "engine/ProbeFlags.h"
#include "engine/ServerTable.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

std::string U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

class MetricsExporterTest : public CycleFixture {
protected:
    MetricsExporterTest() : CycleFixture(100) {}
};

TEST_F(MetricsExporterTest, AScrapeShowsTheCycleTheSmsCountsAndTheProcess) {
    LoopbackServer server(LoopbackServer::Hold);
    const int refused = RefusedPort();
    LoadServersFrom(
        dir.write("servers.ini",
                  "[网站]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(server.port()) +
                      "\r\n[数据库]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(refused) + "\r\n"),
        view);
    MetricsExporter exporter(*engine, {"127.0.0.1", 0, false}, true);
    engine->Button1Click();
    const std::vector<std::string> probeLines = view.log;
    SmsOutcomeCounts().sent += 2;
    SmsOutcomeCounts().failed += 1;
    NotificationCountsOf(kWebhookChannel).sent += 4;
    NotificationCountsOf(kMailChannel).dropped += 1;

    const HttpAnswer answer = HttpRequest(exporter.Port());
    ASSERT_EQ(answer.status, 200) << answer.head;
    EXPECT_EQ(HeaderValue(answer.head, "Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_EQ(HeaderValue(answer.head, "Content-Length"), std::to_string(answer.body.size()));
    auto samples = Samples(answer.body);
    const std::string web = U8(u8"{server=\"网站\",address=\"127.0.0.1\",port=\"") +
                            std::to_string(server.port()) + "\"";
    const std::string db =
        U8(u8"{server=\"数据库\",address=\"127.0.0.1\",port=\"") + std::to_string(refused) + "\"";
    EXPECT_EQ(samples["servermonitor_up" + web + "}"], "1") << answer.body;
    EXPECT_EQ(samples["servermonitor_up" + db + "}"], "0");
    EXPECT_EQ(samples["servermonitor_probes_total" + web + ",result=\"success\"}"], "1");
    EXPECT_EQ(samples["servermonitor_probes_total" + db + ",result=\"failure\"}"], "1");
    EXPECT_EQ(samples["servermonitor_consecutive_failures" + db + "}"], "1");
    EXPECT_EQ(samples.count("servermonitor_connect_duration_seconds" + web + "}"), 1u);
    EXPECT_EQ(samples.count("servermonitor_connect_duration_seconds" + db + "}"), 0u);
    EXPECT_EQ(samples["servermonitor_cycles_total"], "1");
    EXPECT_EQ(samples["servermonitor_sms_total{result=\"sent\"}"],
              std::to_string(SmsOutcomeCounts().sent.load()));
    EXPECT_EQ(samples["servermonitor_sms_total{result=\"failed\"}"],
              std::to_string(SmsOutcomeCounts().failed.load()));
    EXPECT_EQ(samples["servermonitor_modem_ready"], "1");
    for (std::string_view channel : {kWebhookChannel, kMailChannel}) {
        const NotificationCounts& counts = NotificationCountsOf(channel);
        const std::string labels =
            "servermonitor_notifications_total{channel=\"" + std::string(channel) + "\",result=\"";
        EXPECT_EQ(samples[labels + "sent\"}"], std::to_string(counts.sent.load())) << channel;
        EXPECT_EQ(samples[labels + "failed\"}"], std::to_string(counts.failed.load()));
        EXPECT_EQ(samples[labels + "dropped\"}"], std::to_string(counts.dropped.load()));
    }
    EXPECT_NE(samples["servermonitor_notifications_total{channel=\"webhook\",result=\"sent\"}"],
              "0");
    EXPECT_NE(samples["process_open_fds"], "");
    EXPECT_NE(samples["process_resident_memory_bytes"], "");

    // HEAD gives the same headers and no body; the scrapes wrote nothing to the log.
    const HttpAnswer head = HttpRequest(exporter.Port(), "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.body, "");
    EXPECT_EQ(view.log, probeLines);
}

// What StartMetrics makes of a monitor.ini, with what it wrote to its error stream.
struct Started {
    std::unique_ptr<MetricsExporter> exporter;
    std::string errors;
};

class StartMetricsTest : public MetricsExporterTest {
protected:
    Started Start(const std::string& path) {
        Started started;
        started.exporter = StartMetrics(*engine, false, path,
                                        [&](std::string_view line) { started.errors += line; });
        return started;
    }
};

TEST_F(StartMetricsTest, WithoutTheSettingNothingStartsAndNothingIsSaid) {
    for (const std::string& text :
         {std::string("[Other]\r\nListen=9464\r\n"), std::string("[Metrics]\r\nListen=\r\n")}) {
        const Started started = Start(dir.write("monitor.ini", text));
        EXPECT_EQ(started.exporter, nullptr) << text;
        EXPECT_EQ(started.errors, "") << text;
    }
    const Started absent = Start(dir.file("absent.ini"));
    EXPECT_EQ(absent.exporter, nullptr);
    EXPECT_EQ(absent.errors, "");
}

TEST_F(StartMetricsTest, AnUnusableSettingIsReportedInOneLineAndNothingListens) {
    const std::string path = dir.write("monitor.ini", "[Metrics]\r\nListen=端口\r\n");
    const Started value = Start(path);
    EXPECT_EQ(value.exporter, nullptr);
    EXPECT_EQ(value.errors, "servermonitor: " + path +
                                U8(u8": Listen=端口: the port must be a number from 1 to 65535; "
                                   u8"the metrics endpoint is off\n"));

    LoopbackServer taken(LoopbackServer::Hold);
    dir.write("monitor.ini", "[Metrics]\r\nListen=127.0.0.1:" + std::to_string(taken.port()));
    const Started busy = Start(path);
    EXPECT_EQ(busy.exporter, nullptr);
    EXPECT_EQ(busy.errors, "servermonitor: " + path +
                               ": cannot listen on 127.0.0.1:" + std::to_string(taken.port()) +
                               ": bind: Address already in use; the metrics endpoint is off\n");

    const Started folder = Start(dir.path());
    EXPECT_EQ(folder.exporter, nullptr);
    EXPECT_EQ(folder.errors, "servermonitor: " + dir.path() +
                                 ": is not a regular file; the metrics endpoint is off\n");
}

TEST_F(StartMetricsTest, AUsableSettingServesOnItsPort) {
    const int port = FreeLoopbackPort();
    const Started started = Start(
        dir.write("monitor.ini", "[Metrics]\r\nListen=127.0.0.1:" + std::to_string(port) + "\r\n"));
    ASSERT_NE(started.exporter, nullptr) << started.errors;
    EXPECT_EQ(started.errors, "");
    EXPECT_EQ(started.exporter->Port(), port);
    const HttpAnswer answer = HttpRequest(port);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(Samples(answer.body)["servermonitor_modem_ready"], "0");
}

} // namespace
