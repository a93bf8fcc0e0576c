#include "report/ReportText.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace report_text {

namespace {

// The program is built with a GBK execution character set; its UTF-8 texts are u8 literals.
std::string U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

std::string Format(std::int64_t ms, const char* format, bool utc) {
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm tm{};
    if (utc)
        gmtime_r(&seconds, &tm);
    else
        localtime_r(&seconds, &tm);
    char text[64];
    std::strftime(text, sizeof text, format, &tm);
    return text;
}

} // namespace

std::string LocalTime(std::int64_t ms) {
    return Format(ms, "%Y-%m-%d %H:%M:%S", false);
}

std::string IsoUtc(std::int64_t ms) {
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(((ms % 1000) + 1000) % 1000));
    return Format(ms, "%Y-%m-%dT%H:%M:%S", true) + millis;
}

std::string Duration(std::int64_t ms) {
    const std::int64_t s = std::max<std::int64_t>(ms, 0) / 1000;
    char text[48];
    if (s < 60)
        std::snprintf(text, sizeof text, "%llds", static_cast<long long>(s));
    else if (s < 3600)
        std::snprintf(text, sizeof text, "%lldm%02llds", static_cast<long long>(s / 60),
                      static_cast<long long>(s % 60));
    else if (s < 86400)
        std::snprintf(text, sizeof text, "%lldh%02lldm", static_cast<long long>(s / 3600),
                      static_cast<long long>(s % 3600 / 60));
    else
        std::snprintf(text, sizeof text, "%lldd%02lldh", static_cast<long long>(s / 86400),
                      static_cast<long long>(s % 86400 / 3600));
    return text;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::size_t Width(const std::string& utf8) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        unsigned code = c;
        if (length == 3 && i + 2 < utf8.size())
            code = (c & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F);
        width += (length >= 3 && code >= 0x1100) ? 2 : 1;
        i += length;
    }
    return width;
}

std::string Columns(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.push_back(0);
            widths[i] = std::max(widths[i], Width(row[i]));
        }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += std::string(widths[i] - Width(row[i]) + 2, ' ');
        }
        out += line + "\n";
    }
    return out;
}

std::string ResultText(int result) {
    switch (result) {
    case 0:
        return U8(u8"连接保持");
    case 1:
        return U8(u8"拒绝连接");
    case 3:
        return U8(u8"保持中断开");
    default:
        return U8(u8"无法连接或超时");
    }
}

const char* ResultWord(int result) {
    switch (result) {
    case 0:
        return "held";
    case 1:
        return "refused";
    case 3:
        return "dropped";
    default:
        return "unreachable";
    }
}

std::string EndText(int reason) {
    switch (reason) {
    case 1:
        return U8(u8"恢复");
    case 2:
        return U8(u8"重新加载列表");
    case 3:
        return U8(u8"监视停止");
    default:
        return U8(u8"持续中");
    }
}

const char* EndWord(int reason) {
    switch (reason) {
    case 1:
        return "answered";
    case 2:
        return "list-reloaded";
    case 3:
        return "stopped";
    default:
        return "open";
    }
}

} // namespace report_text
