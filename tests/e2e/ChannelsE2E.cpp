// The real monitor with the webhook channel set up in monitor.ini, against a local HTTP receiver
// (tests/support/receivers.py): a server refused three times gives the down message in ntfy's
// form, the same server accepting again gives the back message, and the probes' log lines, the
// tones and the failed SMS send are those of the monitor without channels. And a monitor.ini
// that others may read, with a password and a token in it: both channels stay off with a line
// each, and no secret appears in any output.
#include "MonitorProcess.h"
#include "platform/GbkText.h"
#include "support/LocalReceiver.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

std::string Out(const std::string& gbk) {
    return GbkToUtf8(gbk);
}

// An RFC 2047 header value of base64 words, decoded.
std::string DecodedWords(const std::string& value) {
    std::string text;
    std::size_t at = 0;
    while ((at = value.find("=?UTF-8?B?", at)) != std::string::npos) {
        const std::size_t end = value.find("?=", at + 10);
        text +=
            QByteArray::fromBase64(QByteArray::fromStdString(value.substr(at + 10, end - at - 10)))
                .toStdString();
        at = end + 2;
    }
    return text;
}

bool Holds(const Lines& lines, const std::string& secret) {
    for (const std::string& line : lines)
        if (line.find(secret) != std::string::npos)
            return true;
    return false;
}

TEST(ChannelsE2E, DownAtTheThirdFailureAndBackWhenItAcceptsWithTheAlertUnchanged) {
    if (const std::string tool = MissingDisplayTool(); !tool.empty())
        GTEST_SKIP() << tool << " missing: the monitor needs a display of its own here";
    TempDir temp;
    const fs::path dir = temp.path();
    const fs::path home = dir / "home";
    fs::create_directory(home);

    LocalReceiver receiver("http", {}, dir.string());
    LoopbackServer web(LoopbackServer::Hold);
    LoopbackListener database(LoopbackListener::BoundOnly{});
    std::ofstream(dir / "servers.ini", std::ios::binary)
        << "[网站]\r\nIP=127.0.0.1\r\nPort=" << web.port() << "\r\nSoundAlert=1\r\nSMSAlert=1\r\n"
        << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << database.Port()
        << "\r\nSoundAlert=1\r\nSMSAlert=1\r\n";
    std::ofstream(dir / "mondem.ini")
        << "[Modem]\nDevice=" << (dir / "no-such-tty").string() << "\nProbeTimeout=200\n";
    const std::string secret = "tk_e2e_s3cr3t";
    {
        std::ofstream(dir / "monitor.ini", std::ios::binary)
            << "[Webhook]\r\nURL=http://127.0.0.1:" << receiver.port()
            << "/servers\r\nFormat=ntfy\r\nHeader=Authorization: Bearer " << secret << "\r\n";
    }
    fs::permissions(dir / "monitor.ini", fs::perms::owner_read | fs::perms::owner_write);
    const fs::path capture = dir / "tone.wav";
    std::ofstream(home / ".asoundrc")
        << "pcm.!default { type file; slave.pcm \"null\"; file \"" << capture.string()
        << "\"; format \"wav\"; truncate false }\n";

    const std::string connecting = Out("正在和127.0.0.1建立连接...");
    const std::string failedSend = Out("已发送短时发生错误!");
    const Lines accepted = {connecting, Out("连接127.0.0.1成功!"), Out("和127.0.0.1断开连接!")};
    Lines lines, errors;
    {
        MonitorProcess monitor(dir, MonitorScreen::OwnDisplay, {.home = home});
        monitor.Command("interval 5");
        monitor.Command("refresh");
        ASSERT_TRUE(monitor.WaitFor(connecting, 150s, 4)) << DumpLines(monitor.lines());
        std::this_thread::sleep_for(1s);
        monitor.Command("interval 600");
        ASSERT_TRUE(monitor.WaitFor(failedSend, 200s)) << DumpLines(monitor.lines());

        ASSERT_TRUE(receiver.WaitForRecords(1, 60s));
        const QJsonObject down = receiver.Records().at(0);
        EXPECT_EQ(Text(down, "path"), "/servers");
        EXPECT_EQ(DecodedWords(Header(down, "Title")), Out("服务器故障：数据库"));
        EXPECT_EQ(Header(down, "Priority"), "5");
        EXPECT_EQ(Header(down, "Authorization"), "Bearer " + secret);
        const std::string body = Base64Field(down, "body");
        EXPECT_EQ(
            body.rfind(Out("数据库 (127.0.0.1:" + std::to_string(database.Port()) + ") 自"), 0), 0u)
            << body;
        EXPECT_NE(body.find(Out("起连续3次连接失败\n")), std::string::npos) << body;
        EXPECT_EQ(receiver.Records().size(), 1u);

        // It accepts again: the next cycle holds it, and the back message follows.
        database.Listen(64);
        monitor.Command("refresh");
        ASSERT_TRUE(receiver.WaitForRecords(2, 60s)) << DumpLines(monitor.lines());
        const QJsonObject back = receiver.Records().at(1);
        EXPECT_EQ(DecodedWords(Header(back, "Title")), Out("服务器恢复：数据库"));
        EXPECT_EQ(Header(back, "Priority"), "3");
        EXPECT_NE(Base64Field(back, "body").find(Out("已恢复，故障持续")), std::string::npos);
        std::this_thread::sleep_for(1s);
        lines = monitor.lines();
        errors = monitor.errorLines();
    }

    // The log as without channels: three cycles, the alert's failed send, then a cycle in which
    // both are held.
    Lines expected = {Out("初始化短信设备失败！")};
    for (int cycle = 0; cycle < 3; ++cycle) {
        expected.insert(expected.end(), accepted.begin(), accepted.end());
        expected.push_back(connecting);
    }
    expected.push_back(failedSend);
    for (int server = 0; server < 2; ++server)
        expected.insert(expected.end(), accepted.begin(), accepted.end());
    EXPECT_EQ(lines, expected) << DumpLines(lines);

    int tones = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("tone.wav", 0) == 0 &&
            fs::file_size(entry.path()) > 48000)
            ++tones;
    EXPECT_EQ(tones, 9);
    EXPECT_FALSE(Holds(lines, secret));
    EXPECT_FALSE(Holds(errors, secret)) << DumpLines(errors);
}

TEST(ChannelsE2E, AMonitorIniOthersMayReadKeepsBothChannelsOffAndNoSecretIsShown) {
    TempDir temp;
    const fs::path dir = temp.path();
    std::ofstream(dir / "servers.ini", std::ios::binary)
        << "[数据库]\r\nIP=127.0.0.1\r\nPort=" << RefusedPort() << "\r\nSoundAlert=0\r\n";
    std::ofstream(dir / "mondem.ini")
        << "[Modem]\nDevice=" << (dir / "no-such-tty").string() << "\nProbeTimeout=200\n";
    const std::string token = "tk_e2e_s3cr3t", password = "pw_e2e_s3cr3t";
    {
        std::ofstream(dir / "monitor.ini", std::ios::binary)
            << "[Webhook]\r\nURL=https://user:" << password << "@127.0.0.1:1/x?token=" << token
            << "\r\n[Mail]\r\nServer=127.0.0.1\r\nUser=monitor\r\nPassword=" << password
            << "\r\nFrom=monitor@example.com\r\nTo=ops@example.com\r\n";
    }
    ::chmod((dir / "monitor.ini").c_str(), 0644);
    Lines lines, errors;
    {
        MonitorProcess monitor(dir, MonitorScreen::Offscreen);
        ASSERT_TRUE(monitor.WaitFor(Out("正在和127.0.0.1建立连接..."), 60s))
            << DumpLines(monitor.lines());
        ASSERT_TRUE(monitor.WaitForError("the mail channel is off", 10s))
            << DumpLines(monitor.errorLines());
        lines = monitor.lines();
        errors = monitor.errorLines();
    }
    const Lines expected = {
        "servermonitor: monitor.ini: [Webhook] holds a token of [Webhook] but its permissions "
        "0644 let others read it; allow its owner only (chmod 600 monitor.ini); the webhook "
        "channel is off",
        "servermonitor: monitor.ini: [Mail] holds the password of [Mail] but its permissions "
        "0644 let others read it; allow its owner only (chmod 600 monitor.ini); the mail channel "
        "is off"};
    for (const std::string& line : expected)
        EXPECT_TRUE(std::find(errors.begin(), errors.end(), line) != errors.end())
            << line << DumpLines(errors);
    for (const std::string& secret : {token, password}) {
        EXPECT_FALSE(Holds(lines, secret)) << DumpLines(lines);
        EXPECT_FALSE(Holds(errors, secret)) << DumpLines(errors);
    }
}

} // namespace
