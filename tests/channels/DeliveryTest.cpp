// The delivery worker with libcurl against local receivers (tests/support/receivers.py): what an
// HTTP receiver gets in each format, retries, time-outs, late delivery, HTTPS with a private
// authority, and SMTP with STARTTLS and AUTH.
#include "channels/CurlTransport.h"
#include "channels/DeliveryWorker.h"
#include "channels/MessageComposer.h"
#include "channels/NotificationCounts.h"
#include "channels/Rendering.h"
#include "platform/GbkText.h"
#include "support/LocalReceiver.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/TempDir.h"
#include "tests/channels/RecordedLines.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

using namespace std::chrono_literals;
using Result = DeliveryAttempt::Result;

std::string U(const std::string& gbk) {
    return GbkToUtf8(gbk);
}

Message DownMessage() {
    OutageServer server;
    server.name = "网站";
    server.address = "127.0.0.1";
    server.port = 8080;
    server.failingSince = std::chrono::system_clock::now() - 20s;
    server.failures = 3;
    return MessageComposer::Down({server}, std::chrono::system_clock::now());
}

struct Counts {
    std::uint64_t sent, failed, dropped;
};
Counts Now(std::string_view channel) {
    const NotificationCounts& c = NotificationCountsOf(channel);
    return {c.sent.load(), c.failed.load(), c.dropped.load()};
}

class Delivery : public testing::Test {
protected:
    void SetUp() override { InitCurlOnce(); }

    WebhookSetting Webhook(int port, WebhookSetting::Format format,
                           const std::string& scheme = "http") const {
        WebhookSetting setting;
        setting.state = ChannelState::On;
        setting.url = scheme + "://127.0.0.1:" + std::to_string(port) + "/alerts/ops";
        setting.format = format;
        return setting;
    }

    // Short back-offs so that retries take seconds, not minutes.
    static DeliveryWorker::Timing Quick() {
        DeliveryWorker::Timing timing;
        timing.firstBackOff = 200ms;
        timing.longestBackOff = 1s;
        timing.giveUpAfter = 60s;
        return timing;
    }

    TempDir dir;
    RecordedLines errors;
    CurlTimeouts timeouts{5s, 10s};
};

TEST_F(Delivery, TheReceiverGetsTheJsonAndNtfyRequestsExactly) {
    LocalReceiver receiver("http", {}, dir.path());
    const Message message = DownMessage();
    const Counts before = Now(kWebhookChannel);

    WebhookSetting json = Webhook(receiver.port(), WebhookSetting::Format::Json);
    json.headers = {"Authorization: Bearer tk_test", "X-Extra: a b"};
    WebhookSetting ntfy = Webhook(receiver.port(), WebhookSetting::Format::Ntfy);
    {
        DeliveryWorker jsonWorker(std::string(kWebhookChannel), WebhookTransport(json, timeouts),
                                  errors.Sink(), Quick());
        jsonWorker.Post(message);
        ASSERT_TRUE(receiver.WaitForRecords(1));
        EXPECT_TRUE(WaitUntil([&] { return jsonWorker.Pending() == 0; }));
        DeliveryWorker ntfyWorker(std::string(kWebhookChannel), WebhookTransport(ntfy, timeouts),
                                  errors.Sink(), Quick());
        ntfyWorker.Post(message);
        ASSERT_TRUE(receiver.WaitForRecords(2));
        EXPECT_TRUE(WaitUntil([&] { return ntfyWorker.Pending() == 0; }));
    }
    const auto records = receiver.Records();
    ASSERT_EQ(records.size(), 2u);

    const QJsonObject& first = records[0];
    EXPECT_EQ(Text(first, "method"), "POST");
    EXPECT_EQ(Text(first, "path"), "/alerts/ops");
    EXPECT_EQ(Header(first, "Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(Header(first, "Authorization"), "Bearer tk_test");
    EXPECT_EQ(Header(first, "X-Extra"), "a b");
    EXPECT_EQ(Header(first, "Expect"), "");
    const std::string body = Base64Field(first, "body");
    EXPECT_EQ(body, Rendering::Webhook(message, json, false).body);
    EXPECT_EQ(body.rfind(U("{\"event\":\"down\",\"title\":\"服务器故障：网站\",\"message\":\"网站 "
                           "(127.0.0.1:8080) 自"),
                         0),
              0u)
        << body;

    const QJsonObject& second = records[1];
    EXPECT_EQ(Header(second, "Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(Header(second, "Title"), "=?UTF-8?B?5pyN5Yqh5Zmo5pWF6Zqc77ya572R56uZ?=");
    EXPECT_EQ(Header(second, "Priority"), "5");
    EXPECT_EQ(Header(second, "Tags"), "rotating_light");
    EXPECT_EQ(Base64Field(second, "body"), message.body);

    const Counts after = Now(kWebhookChannel);
    EXPECT_EQ(after.sent - before.sent, 2u);
    EXPECT_EQ(after.failed - before.failed, 0u);
    EXPECT_EQ(errors.lines(), std::vector<std::string>{});
}

TEST_F(Delivery, A500ThenA200IsDeliveredExactlyOnceAndNotLate) {
    LocalReceiver receiver("http", {"--plan", "500"}, dir.path());
    const Counts before = Now(kWebhookChannel);
    {
        DeliveryWorker worker(
            std::string(kWebhookChannel),
            WebhookTransport(Webhook(receiver.port(), WebhookSetting::Format::Json), timeouts),
            errors.Sink(), Quick());
        worker.Post(DownMessage());
        ASSERT_TRUE(WaitUntil([&] { return worker.Pending() == 0; }, 30s));
    }
    // Nothing more comes later.
    std::this_thread::sleep_for(500ms);
    const auto records = receiver.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(Base64Field(records[0], "body"), Base64Field(records[1], "body"));
    EXPECT_NE(Base64Field(records[1], "body").find("\"late\":false"), std::string::npos);
    const Counts after = Now(kWebhookChannel);
    EXPECT_EQ(after.sent - before.sent, 1u);
    EXPECT_EQ(after.failed - before.failed, 1u);
    EXPECT_EQ(after.dropped - before.dropped, 0u);
    EXPECT_EQ(errors.lines(), std::vector<std::string>{});
}

TEST_F(Delivery, AReceiverThatNeverAnswersMeetsTheTimeOutAndIsGivenUpWithOneLine) {
    LocalReceiver receiver("http", {"--hang"}, dir.path());
    // The attempt alone: it ends at the total time-out.
    const auto transport = WebhookTransport(Webhook(receiver.port(), WebhookSetting::Format::Text),
                                            CurlTimeouts{2s, 2s});
    std::atomic<bool> stop{false};
    const auto start = std::chrono::steady_clock::now();
    const DeliveryAttempt attempt = transport(DownMessage(), false, stop);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(attempt.result, Result::Unreachable) << attempt.reason;
    EXPECT_GE(took, 1900ms);
    EXPECT_LT(took, 15s);

    DeliveryWorker::Timing timing = Quick();
    timing.giveUpAfter = 3s;
    const Counts before = Now(kWebhookChannel);
    {
        DeliveryWorker worker(std::string(kWebhookChannel), transport, errors.Sink(), timing);
        worker.Post(DownMessage());
        ASSERT_TRUE(WaitUntil([&] { return worker.Pending() == 0; }, 60s));
    }
    const auto lines = errors.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(U("servermonitor: webhook: \"服务器故障：网站\" dropped after trying "
                               "for "),
                             0),
              0u)
        << lines[0];
    EXPECT_NE(lines[0].find("timed out"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find("/alerts/ops"), std::string::npos);
    EXPECT_EQ(Now(kWebhookChannel).dropped - before.dropped, 1u);
}

TEST_F(Delivery, WhatWaitedForAReceiverThatWasDownArrivesLateAndMarkedSo) {
    const int port = FreeLoopbackPort();
    DeliveryWorker worker(std::string(kWebhookChannel),
                          WebhookTransport(Webhook(port, WebhookSetting::Format::Json), timeouts),
                          errors.Sink(), Quick());
    const Message down = DownMessage();
    worker.Post(down);
    // Refused for a while (a few retries), then the receiver comes up on that port.
    std::this_thread::sleep_for(1500ms);
    Message back = down;
    back.kind = Message::Kind::Back;
    back.title = "back";
    worker.Post(back);
    LocalReceiver receiver("http", {"--port", std::to_string(port)}, dir.path());
    ASSERT_TRUE(receiver.WaitForRecords(2));
    const auto records = receiver.Records();
    const std::string first = Base64Field(records[0], "body");
    EXPECT_NE(first.find(",\"late\":true,"), std::string::npos) << first;
    EXPECT_NE(first.find(U("\"title\":\"[迟发] 服务器故障：网站\"")), std::string::npos) << first;
    EXPECT_NE(first.find(U("当时无法送达，现补发")), std::string::npos) << first;
    // The second was posted while the receiver could not be reached: late as well, and after
    // the first.
    EXPECT_NE(Base64Field(records[1], "body").find(",\"late\":true,"), std::string::npos);
    EXPECT_NE(Base64Field(records[1], "body").find("\"event\":\"back\""), std::string::npos);
    EXPECT_EQ(errors.lines(), std::vector<std::string>{});
}

TEST_F(Delivery, HttpsIsVerifiedWithCAFileAndRefusedWithoutIt) {
    MakeTestCertificates(dir.path());
    LocalReceiver receiver("http", {"--tls", dir.file("server.pem"), dir.file("server.key")},
                           dir.path());
    WebhookSetting setting = Webhook(receiver.port(), WebhookSetting::Format::Json, "https");
    {
        DeliveryWorker worker(std::string(kWebhookChannel), WebhookTransport(setting, timeouts),
                              errors.Sink(), Quick());
        worker.Post(DownMessage());
        ASSERT_TRUE(WaitUntil([&] { return worker.Pending() == 0; }, 30s));
    }
    EXPECT_EQ(receiver.Records().size(), 0u);
    auto lines = errors.lines();
    ASSERT_EQ(lines.size(), 1u) << "refused at once, not retried";
    EXPECT_NE(lines[0].find("not delivered: SSL certificate problem"), std::string::npos)
        << lines[0];

    setting.caFile = dir.file("ca.pem");
    {
        DeliveryWorker worker(std::string(kWebhookChannel), WebhookTransport(setting, timeouts),
                              errors.Sink(), Quick());
        worker.Post(DownMessage());
        ASSERT_TRUE(receiver.WaitForRecords(1));
    }
    EXPECT_EQ(errors.lines().size(), 1u);
}

class MailDelivery : public Delivery {
protected:
    void SetUp() override {
        Delivery::SetUp();
        MakeTestCertificates(dir.path());
        server = std::make_unique<LocalReceiver>(
            "smtp",
            std::vector<std::string>{"--tls", dir.file("server.pem"), dir.file("server.key"),
                                     "--user", "monitor", "--password", "pa ss;word"},
            dir.path());
        setting.state = ChannelState::On;
        setting.server = "127.0.0.1";
        setting.port = server->port();
        setting.security = MailSetting::Security::StartTls;
        setting.user = "monitor";
        setting.password = "pa ss;word";
        setting.from = "monitor@example.com";
        setting.to = {"ops@example.com", "boss@example.com"};
        setting.caFile = dir.file("ca.pem");
    }

    std::unique_ptr<LocalReceiver> server;
    MailSetting setting;
};

TEST_F(MailDelivery, ArrivesOverStartTlsWithAuthAndTheRightHeadersAndBody) {
    const Message message = DownMessage();
    const Counts before = Now(kMailChannel);
    {
        DeliveryWorker worker(std::string(kMailChannel), MailTransport(setting, timeouts),
                              errors.Sink(), Quick());
        worker.Post(message);
        ASSERT_TRUE(server->WaitForRecords(1));
        // The receiver has the mail before the worker has the server's answer and counts it.
        ASSERT_TRUE(WaitUntil([&] { return worker.Pending() == 0; }, 30s));
    }
    const QJsonObject mail = server->Records().at(0);
    EXPECT_EQ(Text(mail, "from"), "monitor@example.com");
    EXPECT_EQ(mail.value("to").toVariant().toStringList(),
              (QStringList{"ops@example.com", "boss@example.com"}));
    const std::string data = Base64Field(mail, "data");
    EXPECT_NE(data.find("\r\nFrom: monitor@example.com\r\nTo: ops@example.com, boss@example.com\r\n"
                        "Subject: =?UTF-8?B?5pyN5Yqh5Zmo5pWF6Zqc77ya572R56uZ?=\r\n"),
              std::string::npos)
        << data;
    // The body, base64 in lines, decodes to the UTF-8 text.
    const std::size_t start = data.find("\r\n\r\n") + 4;
    std::string encoded;
    for (char c : data.substr(start))
        if (c != '\r' && c != '\n')
            encoded += c;
    EXPECT_EQ(QByteArray::fromBase64(QByteArray::fromStdString(encoded)).toStdString(),
              message.body);
    EXPECT_EQ(Now(kMailChannel).sent - before.sent, 1u);
    EXPECT_EQ(errors.lines(), std::vector<std::string>{});
}

TEST_F(MailDelivery, AWrongPasswordIsOneLineAndNothingElse) {
    setting.password = "wrong-s3cr3t";
    {
        DeliveryWorker worker(std::string(kMailChannel), MailTransport(setting, timeouts),
                              errors.Sink(), Quick());
        worker.Post(DownMessage());
        ASSERT_TRUE(WaitUntil([&] { return worker.Pending() == 0; }, 30s));
    }
    const auto lines = errors.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(U("servermonitor: mail: \"服务器故障：网站\" not delivered: "), 0), 0u)
        << lines[0];
    EXPECT_NE(lines[0].find("535"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find("wrong-s3cr3t"), std::string::npos);
    EXPECT_EQ(lines[0].back(), '\n');
    // One login was tried, not a series that could lock the account.
    EXPECT_EQ(server->Records().size(), 1u);
}

} // namespace
