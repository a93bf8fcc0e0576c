#include "channels/Rendering.h"

#include "channels/MessageComposer.h"
#include "channels/TextCoding.h"
#include "platform/GbkText.h"

#include <atomic>
#include <ctime>

namespace Rendering {

namespace {

using TextCoding::JsonString;

std::string Number(long long value) {
    return std::to_string(value);
}

std::string JsonServer(const OutageServer& server, Message::Kind kind) {
    std::string out =
        "{\"name\":" + JsonString(GbkToUtf8(server.name)) +
        ",\"address\":" + JsonString(server.address) + ",\"port\":" + Number(server.port) +
        ",\"failing_since\":" + JsonString(MessageComposer::IsoTimeText(server.failingSince)) +
        ",\"failures\":" + Number(server.failures);
    if (kind == Message::Kind::Back) {
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(server.backAt - server.failingSince);
        out += ",\"back_at\":" + JsonString(MessageComposer::IsoTimeText(server.backAt)) +
               ",\"duration_seconds\":" + Number(seconds.count());
    }
    return out + "}";
}

std::string JsonBody(const Message& message, bool late) {
    std::string servers;
    for (const OutageServer& server : message.servers)
        servers += (servers.empty() ? "" : ",") + JsonServer(server, message.kind);
    return "{\"event\":" + JsonString(KindName(message.kind)) +
           ",\"title\":" + JsonString(Title(message, late)) +
           ",\"message\":" + JsonString(Body(message, late)) +
           ",\"late\":" + (late ? "true" : "false") +
           ",\"time\":" + JsonString(MessageComposer::IsoTimeText(message.created)) +
           ",\"servers\":[" + servers + "]}\n";
}

// ntfy's priorities 1..5 and its tags (emoji short codes it shows as icons).
const char* NtfyPriority(Message::Kind kind) {
    switch (kind) {
    case Message::Kind::Down:
    case Message::Kind::AllDown:
        return "5";
    case Message::Kind::Reminder:
        return "4";
    case Message::Kind::Back:
        break;
    }
    return "3";
}

std::string NtfyTags(Message::Kind kind, bool late) {
    std::string tags;
    switch (kind) {
    case Message::Kind::Down:
        tags = "rotating_light";
        break;
    case Message::Kind::AllDown:
        tags = "warning,globe_with_meridians";
        break;
    case Message::Kind::Back:
        tags = "white_check_mark";
        break;
    case Message::Kind::Reminder:
        tags = "hourglass";
        break;
    }
    return late ? tags + ",late" : tags;
}

// RFC 5322's date, in English whatever the locale.
std::string MailDate(std::chrono::system_clock::time_point time) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char clock[32];
    std::strftime(clock, sizeof clock, "%H:%M:%S %z", &local);
    return std::string(kDays[local.tm_wday]) + ", " + Number(local.tm_mday) + " " +
           kMonths[local.tm_mon] + " " + Number(local.tm_year + 1900) + " " + clock;
}

std::string Base64Lines(std::string_view bytes) {
    const std::string encoded = TextCoding::Base64(bytes);
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); i += 76)
        out += encoded.substr(i, 76) + "\r\n";
    return out;
}

} // namespace

std::string Title(const Message& message, bool late) {
    return late ? GbkToUtf8("[迟发] ") + message.title : message.title;
}

std::string Body(const Message& message, bool late) {
    if (!late)
        return message.body;
    return GbkToUtf8("（本消息生成于" + MessageComposer::LocalTimeText(message.created) +
                     "，当时无法送达，现补发）\n") +
           message.body;
}

WebhookRequest Webhook(const Message& message, const WebhookSetting& setting, bool late) {
    WebhookRequest request;
    switch (setting.format) {
    case WebhookSetting::Format::Json:
        request.headers.push_back("Content-Type: application/json; charset=utf-8");
        request.body = JsonBody(message, late);
        break;
    case WebhookSetting::Format::Ntfy:
        request.headers.push_back("Content-Type: text/plain; charset=utf-8");
        request.headers.push_back("Title: " + TextCoding::HeaderWords(Title(message, late), " "));
        request.headers.push_back(std::string("Priority: ") + NtfyPriority(message.kind));
        request.headers.push_back("Tags: " + NtfyTags(message.kind, late));
        request.body = Body(message, late);
        break;
    case WebhookSetting::Format::Text:
        request.headers.push_back("Content-Type: text/plain; charset=utf-8");
        request.body = Title(message, late) + "\n\n" + Body(message, late);
        break;
    }
    request.headers.insert(request.headers.end(), setting.headers.begin(), setting.headers.end());
    return request;
}

std::string Mail(const Message& message, const MailSetting& setting, bool late,
                 std::chrono::system_clock::time_point sent) {
    static std::atomic<unsigned> sequence{0};
    std::string to;
    for (const std::string& address : setting.to)
        to += (to.empty() ? "" : ", ") + address;
    const std::string domain = setting.from.substr(setting.from.find('@') + 1);
    const auto stamp =
        std::chrono::duration_cast<std::chrono::milliseconds>(sent.time_since_epoch()).count();
    return "Date: " + MailDate(sent) + "\r\nFrom: " + setting.from + "\r\nTo: " + to +
           "\r\nSubject: " + TextCoding::HeaderWords(Title(message, late), "\r\n ") +
           "\r\nMessage-ID: <" + Number(stamp) + "." + Number(sequence++) + ".servermonitor@" +
           domain +
           ">\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           Base64Lines(Body(message, late));
}

} // namespace Rendering
