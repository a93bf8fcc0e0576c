#include "channels/MessageComposer.h"

#include "platform/GbkText.h"

#include <ctime>

// The literals of this file are GBK at run time, like every text of the program; a message is
// converted to UTF-8 once it is whole.

const char* KindName(Message::Kind kind) {
    switch (kind) {
    case Message::Kind::Down:
        return "down";
    case Message::Kind::AllDown:
        return "all_down";
    case Message::Kind::Back:
        return "back";
    case Message::Kind::Reminder:
        return "reminder";
    }
    return "down";
}

namespace MessageComposer {

namespace {

std::tm LocalTime(TimePoint time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

std::string Format(TimePoint time, const char* format) {
    const std::tm local = LocalTime(time);
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}

std::string DurationGbk(std::chrono::seconds duration) {
    long long left = duration.count() < 0 ? 0 : duration.count();
    const long long days = left / 86400;
    const long long hours = left / 3600 % 24;
    const long long minutes = left / 60 % 60;
    const long long seconds = left % 60;
    std::string text;
    bool started = false;
    const auto unit = [&](long long value, const char* name) {
        if (started || value != 0) {
            text += std::to_string(value) + name;
            started = true;
        }
    };
    unit(days, "天");
    unit(hours, "小时");
    unit(minutes, "分");
    text += std::to_string(seconds) + "秒";
    return text;
}

std::string Where(const OutageServer& server) {
    return server.name + " (" + server.address + ":" + std::to_string(server.port) + ")";
}

std::string Since(const OutageServer& server) {
    return "自" + LocalTimeText(server.failingSince) + "起";
}

std::string DownLine(const OutageServer& server) {
    return Where(server) + " " + Since(server) + "连续" + std::to_string(server.failures) +
           "次连接失败\n";
}

// "服务器故障：网站" for one, "3台服务器故障" for several.
std::string Title(const std::vector<OutageServer>& servers, const char* what) {
    if (servers.size() == 1)
        return std::string("服务器") + what + "：" + servers.front().name;
    return std::to_string(servers.size()) + "台服务器" + what;
}

Message Make(Message::Kind kind, const std::string& titleGbk, const std::string& bodyGbk,
             const std::vector<OutageServer>& servers, TimePoint created) {
    Message message;
    message.kind = kind;
    message.title = GbkToUtf8(titleGbk);
    message.body = GbkToUtf8(bodyGbk);
    message.servers = servers;
    message.created = created;
    return message;
}

} // namespace

std::string DurationText(std::chrono::seconds duration) {
    return GbkToUtf8(DurationGbk(duration));
}

std::string LocalTimeText(TimePoint time) {
    return Format(time, "%Y-%m-%d %H:%M:%S");
}

std::string IsoTimeText(TimePoint time) {
    std::string offset = Format(time, "%z"); // +0800
    if (offset.size() == 5)
        offset.insert(3, ":");
    return Format(time, "%Y-%m-%dT%H:%M:%S") + offset;
}

Message Down(const std::vector<OutageServer>& servers, TimePoint created) {
    std::string body;
    for (const OutageServer& server : servers)
        body += DownLine(server);
    return Make(Message::Kind::Down, Title(servers, "故障"), body, servers, created);
}

Message AllDown(const std::vector<OutageServer>& servers, TimePoint created) {
    std::string body = "全部" + std::to_string(servers.size()) +
                       "台服务器在同一轮检测中都连接失败，本机无法连接任何服务器，"
                       "很可能是本机自己的网络出了问题。\n";
    for (const OutageServer& server : servers)
        body += DownLine(server);
    return Make(Message::Kind::AllDown, "本机无法连接任何服务器", body, servers, created);
}

Message Back(const std::vector<OutageServer>& servers, TimePoint created) {
    std::string body;
    for (const OutageServer& server : servers) {
        const auto duration =
            std::chrono::duration_cast<std::chrono::seconds>(server.backAt - server.failingSince);
        body += Where(server) + " 已恢复，故障持续" + DurationGbk(duration) + "（" +
                LocalTimeText(server.failingSince) + " 至 " + LocalTimeText(server.backAt) + "）\n";
    }
    return Make(Message::Kind::Back, Title(servers, "恢复"), body, servers, created);
}

Message Reminder(const std::vector<OutageServer>& servers, TimePoint created) {
    std::string body;
    for (const OutageServer& server : servers) {
        const auto duration =
            std::chrono::duration_cast<std::chrono::seconds>(created - server.failingSince);
        body += Where(server) + " 仍然故障：" + Since(server) + "已持续" + DurationGbk(duration) +
                "，连续" + std::to_string(server.failures) + "次连接失败\n";
    }
    return Make(Message::Kind::Reminder, Title(servers, "仍故障"), body, servers, created);
}

} // namespace MessageComposer
