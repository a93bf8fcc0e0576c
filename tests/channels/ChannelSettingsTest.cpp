#include "channels/ChannelSettings.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Format = WebhookSetting::Format;
using Security = MailSetting::Security;

TEST(WebhookSettingText, OnOffAndTheValues) {
    EXPECT_EQ(ParseChannelSettings("").webhook.state, ChannelState::Off);
    EXPECT_EQ(ParseChannelSettings("[Webhook]\r\nFormat=ntfy\r\n").webhook.state,
              ChannelState::Off);
    EXPECT_EQ(ParseChannelSettings("[Webhook]\r\nURL=\r\n").webhook.state, ChannelState::Off);

    const WebhookSetting ntfy =
        ParseChannelSettings("[监控]\r\n名称=值\r\n[webhook]\r\nurl = http://127.0.0.1:8080/ops\r\n"
                             "FORMAT=Ntfy\r\nHeader=Tags: server\r\nHeader = X-Extra: 1 2\r\n"
                             "RemindMinutes=30\r\nCAFile=/etc/ca.pem\r\n")
            .webhook;
    EXPECT_EQ(ntfy.state, ChannelState::On) << ntfy.problem;
    EXPECT_EQ(ntfy.url, "http://127.0.0.1:8080/ops");
    EXPECT_EQ(ntfy.format, Format::Ntfy);
    EXPECT_EQ(ntfy.headers, (std::vector<std::string>{"Tags: server", "X-Extra: 1 2"}));
    EXPECT_EQ(ntfy.remindMinutes, 30);
    EXPECT_EQ(ntfy.caFile, "/etc/ca.pem");
    EXPECT_FALSE(ntfy.carriesSecret);

    const WebhookSetting json = ParseChannelSettings("[Webhook]\nURL=https://h/x\n").webhook;
    EXPECT_EQ(json.state, ChannelState::On);
    EXPECT_EQ(json.format, Format::Json);
    EXPECT_EQ(json.remindMinutes, 0);
}

TEST(WebhookSettingText, WhatCountsAsASecret) {
    struct Case {
        std::string lines;
        bool secret;
    };
    const Case cases[] = {
        {"URL=https://h/topic\n", false},
        {"URL=https://user:pw@h/topic\n", true},
        {"URL=https://h/message?token=abc\n", true},
        {"URL=https://h/a@b\n", false}, // an @ in the path is no user information
        {"URL=https://h/x\nHeader=Authorization: Bearer tk_1\n", true},
        {"URL=https://h/x\nHeader=X-Gotify-Key: k\n", true},
        {"URL=https://h/x\nHeader=Cookie: s=1\n", true},
        {"URL=https://h/x\nHeader=Priority: 5\n", false},
    };
    for (const Case& c : cases) {
        const WebhookSetting setting = ParseChannelSettings("[Webhook]\n" + c.lines).webhook;
        EXPECT_EQ(setting.state, ChannelState::On) << c.lines;
        EXPECT_EQ(setting.carriesSecret, c.secret) << c.lines;
    }
}

TEST(WebhookSettingText, UnusableValuesAreNamedButNeverTheUrl) {
    struct Case {
        std::string lines;
        std::string problem;
    };
    const Case cases[] = {
        {"URL=ftp://h/x?token=s3cr3t\n", "URL must begin with http:// or https://"},
        {"URL=http://h/a b?token=s3cr3t\n", "URL must be printable ASCII without blanks"},
        {"URL=http://h/\nFormat=xml\n", "Format=xml: must be json, ntfy or text"},
        {"URL=http://h/\nHeader=no colon s3cr3t\n", "a Header= line must read Name: value"},
        {"URL=http://h/\nHeader=Bad Name: s3cr3t\n", "a Header= line must read Name: value"},
        {"URL=http://h/\nRemindMinutes=-1\n",
         "RemindMinutes=-1: must be a number of minutes from 0 to 10080"},
        {"URL=http://h/\nRemindMinutes=soon\n",
         "RemindMinutes=soon: must be a number of minutes from 0 to 10080"},
    };
    for (const Case& c : cases) {
        const WebhookSetting setting = ParseChannelSettings("[Webhook]\n" + c.lines).webhook;
        EXPECT_EQ(setting.state, ChannelState::Unusable) << c.lines;
        EXPECT_EQ(setting.problem, c.problem) << c.lines;
        EXPECT_EQ(setting.problem.find("s3cr3t"), std::string::npos);
    }
}

TEST(MailSettingText, OnOffAndTheValues) {
    EXPECT_EQ(ParseChannelSettings("[Mail]\nFrom=a@b\n").mail.state, ChannelState::Off);

    const MailSetting mail =
        ParseChannelSettings("[Mail]\r\nServer=127.0.0.1\r\nUser=monitor\r\nPassword=p;w = x\r\n"
                             "From=monitor@example.com\r\nTo=a@example.com, b@example.com;c@x\r\n"
                             "To=d@example.com\r\nRemindMinutes=60\r\n")
            .mail;
    ASSERT_EQ(mail.state, ChannelState::On) << mail.problem;
    EXPECT_EQ(mail.server, "127.0.0.1");
    EXPECT_EQ(mail.port, 587);
    EXPECT_EQ(mail.security, Security::StartTls);
    EXPECT_EQ(mail.user, "monitor");
    EXPECT_EQ(mail.password, "p;w = x");
    EXPECT_TRUE(mail.carriesSecret);
    EXPECT_EQ(mail.from, "monitor@example.com");
    EXPECT_EQ(mail.to,
              (std::vector<std::string>{"a@example.com", "b@example.com", "c@x", "d@example.com"}));
    EXPECT_EQ(mail.remindMinutes, 60);

    const auto portOf = [](const std::string& lines) {
        const MailSetting m =
            ParseChannelSettings("[Mail]\nServer=h\nFrom=a@b\nTo=c@d\n" + lines).mail;
        EXPECT_EQ(m.state, ChannelState::On) << lines << m.problem;
        return m.port;
    };
    EXPECT_EQ(portOf("Security=TLS\n"), 465);
    EXPECT_EQ(portOf("Security=none\n"), 25);
    EXPECT_EQ(portOf("Security=none\nPort=2525\n"), 2525);
    EXPECT_FALSE(ParseChannelSettings("[Mail]\nServer=h\nFrom=a@b\nTo=c@d\n").mail.carriesSecret);
}

TEST(MailSettingText, UnusableValues) {
    struct Case {
        std::string lines;
        std::string problem;
    };
    const Case cases[] = {
        {"Security=ssl\n", "Security=ssl: must be starttls, tls or none"},
        {"Port=0\n", "Port=0: must be a number from 1 to 65535"},
        {"Port=smtp\n", "Port=smtp: must be a number from 1 to 65535"},
        {"Password=s3cr3t\n", "User= and Password= go together"},
        {"User=u\n", "User= and Password= go together"},
        {"User=u\nPassword=s3cr3t\nSecurity=none\n",
         "Security=none would send the password unencrypted"},
    };
    for (const Case& c : cases) {
        const MailSetting mail =
            ParseChannelSettings("[Mail]\nServer=h\nFrom=a@b\nTo=c@d\n" + c.lines).mail;
        EXPECT_EQ(mail.state, ChannelState::Unusable) << c.lines;
        EXPECT_EQ(mail.problem, c.problem) << c.lines;
    }
    const auto problemOf = [](const std::string& lines) {
        return ParseChannelSettings("[Mail]\nServer=h\n" + lines).mail.problem;
    };
    EXPECT_EQ(problemOf("To=c@d\n"), "From=: must be one address such as monitor@example.com");
    EXPECT_EQ(problemOf("From=Ops <a@b>\nTo=c@d\n"),
              "From=Ops <a@b>: must be one address such as monitor@example.com");
    EXPECT_EQ(problemOf("From=a@b\n"), "To= must name at least one address");
    EXPECT_EQ(problemOf("From=a@b\nTo=c@d, nobody\n"),
              "To=: nobody is not an address such as ops@example.com");
}

TEST(ChannelSettingsFile, AChannelWithASecretNeedsAPrivateFile) {
    TempDir dir;
    const std::string text = "[Webhook]\nURL=http://127.0.0.1/x\nHeader=Authorization: Bearer "
                             "tk_s3cr3t\n[Mail]\nServer=h\nUser=u\nPassword=s3cr3t\nFrom=a@b\n"
                             "To=c@d\n";
    const std::string path = dir.write("monitor.ini", text);

    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ChannelSettingsRead read = ReadChannelSettings(path);
    EXPECT_EQ(read.problem, "");
    EXPECT_EQ(read.settings.webhook.state, ChannelState::On);
    EXPECT_EQ(read.settings.mail.state, ChannelState::On);

    for (mode_t mode : {0644, 0640, 0604, 0620}) {
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        read = ReadChannelSettings(path);
        EXPECT_EQ(read.settings.webhook.state, ChannelState::Unusable) << mode;
        EXPECT_EQ(read.settings.mail.state, ChannelState::Unusable) << mode;
    }
    EXPECT_EQ(read.settings.mail.problem,
              "holds the password of [Mail] but its permissions 0620 let others read it; allow "
              "its owner only (chmod 600 " +
                  path + ")");
    EXPECT_EQ(read.settings.webhook.problem.rfind("holds a token of [Webhook] but", 0), 0u);

    // Without a secret the mode does not matter.
    ASSERT_EQ(
        ::chmod(dir.write("monitor.ini", "[Webhook]\nURL=http://127.0.0.1/x\n").c_str(), 0644), 0);
    read = ReadChannelSettings(path);
    EXPECT_EQ(read.settings.webhook.state, ChannelState::On);
}

TEST(ChannelSettingsFile, AbsentAndUnreadableFilesLeaveBothOff) {
    TempDir dir;
    ChannelSettingsRead read = ReadChannelSettings(dir.file("monitor.ini"));
    EXPECT_EQ(read.problem, "");
    EXPECT_EQ(read.settings.webhook.state, ChannelState::Off);
    EXPECT_EQ(read.settings.mail.state, ChannelState::Off);

    read = ReadChannelSettings(dir.path());
    EXPECT_EQ(read.problem, "is not a regular file");
    EXPECT_EQ(read.settings.webhook.state, ChannelState::Off);
    read = ReadChannelSettings(dir.write("big.ini", std::string(70000, 'x')));
    EXPECT_EQ(read.problem, "is larger than 65536 bytes");
}

} // namespace
