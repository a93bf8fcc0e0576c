#include "ui/ServerDetails.h"

#include "platform/DateTime.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* const kNone = "无";

std::string Milliseconds(std::chrono::nanoseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(duration.count()) / 1e6);
    std::string shown = text;
    std::replace(shown.begin(), shown.end(), '.', UserFormats().decimalSeparator);
    return shown + " ms";
}

std::string LastProbe(const ProbeRecord& record) {
    switch (record.lastOutcome) {
    case ProbeRecord::Outcome::None:
        return "尚未检测";
    case ProbeRecord::Outcome::Success:
        return DateTimeToStr(FromTimePoint(record.lastProbeEnd)) + " 正常";
    case ProbeRecord::Outcome::Failure:
        return DateTimeToStr(FromTimePoint(record.lastProbeEnd)) + " 故障";
    }
    return kNone;
}

} // namespace

std::string ServerDetailsText(const TServers& server, const ProbeRecord& record) {
    std::string text = "地址：" + server.IP + ":" + std::to_string(server.Port);
    text += "\n最后检测：" + LastProbe(record);
    text +=
        "\n连接耗时：" + (record.lastConnectTime ? Milliseconds(*record.lastConnectTime) : kNone);
    text += "\n连续失败：" + std::to_string(server.FailCount) + " 次";
    // LastSMS is 0 until an SMS is sent after a load.
    text += "\n最后短信：" + (server.LastSMS != 0 ? DateTimeToStr(server.LastSMS) : kNone);
    return text;
}
