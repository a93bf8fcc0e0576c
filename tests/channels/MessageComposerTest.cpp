#include "channels/MessageComposer.h"
#include "channels/Rendering.h"
#include "platform/GbkText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::system_clock::time_point;

// The literals of the tests are GBK, like the program's; the messages are UTF-8.
std::string U(const std::string& gbk) {
    return GbkToUtf8(gbk);
}

// 2026-12-09 15:00:00 in China (UTC+8, no daylight saving).
const TimePoint kThree = std::chrono::system_clock::from_time_t(1796799600);

class Composer : public testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ"))
            savedTz_ = tz;
        ::setenv("TZ", "CST-8", 1);
        ::tzset();
    }
    void TearDown() override {
        if (savedTz_.empty())
            ::unsetenv("TZ");
        else
            ::setenv("TZ", savedTz_.c_str(), 1);
        ::tzset();
    }

    static OutageServer Server(const std::string& name, int port, TimePoint since, int failures) {
        OutageServer server;
        server.name = name;
        server.address = "10.0.0.1";
        server.port = port;
        server.failingSince = since;
        server.failures = failures;
        return server;
    }

private:
    std::string savedTz_;
};

TEST_F(Composer, TimesAndDurations) {
    EXPECT_EQ(MessageComposer::LocalTimeText(kThree), "2026-12-09 15:00:00");
    EXPECT_EQ(MessageComposer::IsoTimeText(kThree), "2026-12-09T15:00:00+08:00");
    const std::pair<std::chrono::seconds, std::string> durations[] = {
        {0s, "0秒"},
        {59s, "59秒"},
        {60s, "1分0秒"},
        {3600s + 5s, "1小时0分5秒"},
        {2 * 86400s + 3 * 3600s + 4 * 60s + 5s, "2天3小时4分5秒"},
        {-5s, "0秒"},
    };
    for (const auto& [duration, text] : durations)
        EXPECT_EQ(MessageComposer::DurationText(duration), U(text)) << duration.count();
}

TEST_F(Composer, DownNamesEachServerWithItsAddressStartAndFailures) {
    const Message one = MessageComposer::Down({Server("网站", 80, kThree - 10s, 3)}, kThree);
    EXPECT_EQ(one.kind, Message::Kind::Down);
    EXPECT_EQ(one.title, U("服务器故障：网站"));
    EXPECT_EQ(one.body, U("网站 (10.0.0.1:80) 自2026-12-09 14:59:50起连续3次连接失败\n"));

    const Message three =
        MessageComposer::Down({Server("网站", 80, kThree, 3), Server("数据库", 5432, kThree, 3),
                               Server("邮件", 25, kThree - 1s, 3)},
                              kThree);
    EXPECT_EQ(three.title, U("3台服务器故障"));
    EXPECT_EQ(three.body, U("网站 (10.0.0.1:80) 自2026-12-09 15:00:00起连续3次连接失败\n"
                            "数据库 (10.0.0.1:5432) 自2026-12-09 15:00:00起连续3次连接失败\n"
                            "邮件 (10.0.0.1:25) 自2026-12-09 14:59:59起连续3次连接失败\n"));
    EXPECT_EQ(three.servers.size(), 3u);
}

TEST_F(Composer, AllDownBlamesThisMachinesNetwork) {
    const Message all = MessageComposer::AllDown(
        {Server("网站", 80, kThree, 3), Server("数据库", 5432, kThree, 5)}, kThree);
    EXPECT_EQ(all.kind, Message::Kind::AllDown);
    EXPECT_EQ(all.title, U("本机无法连接任何服务器"));
    EXPECT_EQ(all.body, U("全部2台服务器在同一轮检测中都连接失败，本机无法连接任何服务器，"
                          "很可能是本机自己的网络出了问题。\n"
                          "网站 (10.0.0.1:80) 自2026-12-09 15:00:00起连续3次连接失败\n"
                          "数据库 (10.0.0.1:5432) 自2026-12-09 15:00:00起连续5次连接失败\n"));
}

TEST_F(Composer, BackGivesTheOutagesDurationAndReminderHowLongSoFar) {
    OutageServer web = Server("网站", 80, kThree, 3);
    web.backAt = kThree + 5min + 12s;
    const Message back = MessageComposer::Back({web}, web.backAt);
    EXPECT_EQ(back.title, U("服务器恢复：网站"));
    EXPECT_EQ(back.body, U("网站 (10.0.0.1:80) 已恢复，故障持续5分12秒（2026-12-09 15:00:00 至 "
                           "2026-12-09 15:05:12）\n"));
    EXPECT_EQ(MessageComposer::Back({web, web}, web.backAt).title, U("2台服务器恢复"));

    const Message reminder =
        MessageComposer::Reminder({Server("网站", 80, kThree, 40)}, kThree + 1h + 30s);
    EXPECT_EQ(reminder.title, U("服务器仍故障：网站"));
    EXPECT_EQ(reminder.body, U("网站 (10.0.0.1:80) 仍然故障：自2026-12-09 15:00:00起已持续"
                               "1小时0分30秒，连续40次连接失败\n"));
}

TEST_F(Composer, WebhookBodiesAndHeadersPerFormat) {
    OutageServer web = Server("网\"站", 80, kThree, 3);
    const Message down = MessageComposer::Down({web}, kThree);
    WebhookSetting setting;
    setting.headers = {"Authorization: Bearer x"};

    setting.format = WebhookSetting::Format::Json;
    Rendering::WebhookRequest json = Rendering::Webhook(down, setting, false);
    EXPECT_EQ(json.headers,
              (std::vector<std::string>{"Content-Type: application/json; charset=utf-8",
                                        "Authorization: Bearer x"}));
    EXPECT_EQ(json.body,
              U("{\"event\":\"down\",\"title\":\"服务器故障：网\\\"站\",\"message\":\"网\\\"站 "
                "(10.0.0.1:80) 自2026-12-09 15:00:00起连续3次连接失败\\n\",\"late\":false,"
                "\"time\":\"2026-12-09T15:00:00+08:00\",\"servers\":[{\"name\":\"网\\\"站\","
                "\"address\":\"10.0.0.1\",\"port\":80,\"failing_since\":"
                "\"2026-12-09T15:00:00+08:00\",\"failures\":3}]}\n"));

    web.backAt = kThree + 61s;
    const Message back = MessageComposer::Back({web}, web.backAt);
    json = Rendering::Webhook(back, setting, true);
    EXPECT_NE(json.body.find(",\"late\":true,"), std::string::npos) << json.body;
    EXPECT_NE(json.body.find(U("\"title\":\"[迟发] 服务器恢复：")), std::string::npos);
    EXPECT_NE(json.body.find("\"back_at\":\"2026-12-09T15:01:01+08:00\",\"duration_seconds\":61}"),
              std::string::npos)
        << json.body;

    setting.format = WebhookSetting::Format::Ntfy;
    setting.headers.clear();
    const Rendering::WebhookRequest ntfy = Rendering::Webhook(down, setting, false);
    // "服务器故障：网"站" in UTF-8, base64 in one encoded word.
    EXPECT_EQ(ntfy.headers,
              (std::vector<std::string>{"Content-Type: text/plain; charset=utf-8",
                                        "Title: =?UTF-8?B?5pyN5Yqh5Zmo5pWF6Zqc77ya572RIuermQ==?=",
                                        "Priority: 5", "Tags: rotating_light"}));
    EXPECT_EQ(ntfy.body, down.body);
    const Rendering::WebhookRequest lateBack = Rendering::Webhook(back, setting, true);
    EXPECT_EQ(lateBack.headers[2], "Priority: 3");
    EXPECT_EQ(lateBack.headers[3], "Tags: white_check_mark,late");
    EXPECT_EQ(lateBack.body,
              U("（本消息生成于2026-12-09 15:01:01，当时无法送达，现补发）\n") + back.body);

    setting.format = WebhookSetting::Format::Text;
    EXPECT_EQ(Rendering::Webhook(down, setting, false).body, down.title + "\n\n" + down.body);
}

TEST_F(Composer, TheMailHasItsHeadersAndABase64Utf8Body) {
    const Message down = MessageComposer::Down({Server("网站", 80, kThree, 3)}, kThree);
    MailSetting setting;
    setting.from = "monitor@example.com";
    setting.to = {"a@example.com", "b@example.com"};
    const std::string mail = Rendering::Mail(down, setting, false, kThree + 2s);
    EXPECT_EQ(mail.rfind("Date: Wed, 9 Dec 2026 15:00:02 +0800\r\nFrom: monitor@example.com\r\n"
                         "To: a@example.com, b@example.com\r\nSubject: =?UTF-8?B?",
                         0),
              0u)
        << mail;
    EXPECT_NE(mail.find("\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
                        "Content-Transfer-Encoding: base64\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(mail.find("@example.com>\r\n"), std::string::npos);
    EXPECT_EQ(mail.find('\n', mail.find("\r\n\r\n") + 4) - mail.find("\r\n\r\n") - 4, 77u)
        << "base64 lines of 76";
}

} // namespace
