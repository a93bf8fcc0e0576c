#include "report/HistoryReport.h"

#include "history/HistoryDatabase.h"
#include "history/HistoryQuery.h"
#include "history/SqliteError.h"
#include "report/HistoryCsv.h"
#include "report/ReportText.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <ostream>
#include <thread>

using namespace report_text;

namespace {

std::string U8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

std::string Address(const HistoryQuery::Server& s) {
    return s.address + ":" + std::to_string(s.port);
}

std::string Percent(const HistoryQuery::Count& count) {
    const auto percent = count.Percent();
    if (!percent)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%%", *percent);
    return text;
}

std::string PercentCsv(const HistoryQuery::Count& count) {
    const auto percent = count.Percent();
    if (!percent)
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", *percent);
    return text;
}

std::string Millis(std::optional<double> micros) {
    if (!micros)
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", *micros / 1000.0);
    return text;
}

std::string Sms(const HistoryQuery::OutageRow& o) {
    if (o.smsSent == 0 && o.smsFailed == 0)
        return "-";
    return U8(u8"已发送") + std::to_string(o.smsSent) + U8(u8"，失败") +
           std::to_string(o.smsFailed);
}

void WriteOutages(const std::vector<HistoryQuery::OutageRow>& rows, bool csv, std::int64_t now,
                  std::ostream& out) {
    if (csv) {
        history_csv::WriteOutages(rows, now, out);
        return;
    }
    std::vector<std::vector<std::string>> table{
        {U8(u8"开始"), U8(u8"结束"), U8(u8"时长"), U8(u8"服务器"), U8(u8"地址"), U8(u8"原因"),
         U8(u8"失败次数"), U8(u8"结束方式"), U8(u8"告警"), U8(u8"短信")}};
    for (const auto& o : rows)
        table.push_back({LocalTime(o.start), o.end ? LocalTime(*o.end) : "-",
                         Duration(o.end.value_or(now) - o.start), o.server.name, Address(o.server),
                         ResultText(o.cause), std::to_string(o.failures), EndText(o.endReason),
                         o.alert ? U8(u8"是") : U8(u8"否"), Sms(o)});
    out << Columns(table);
    if (rows.empty())
        out << U8(u8"（没有故障记录）") << "\n";
}

void WriteUptime(const std::vector<HistoryQuery::Uptime>& rows, bool csv, std::ostream& out) {
    if (csv) {
        out << "server,address,port,uptime_24h,uptime_7d,uptime_30d,held_24h,probes_24h,held_7d,"
               "probes_7d,held_30d,probes_30d,connect_avg_ms_24h,connect_min_ms_24h,"
               "connect_max_ms_24h\r\n";
        for (const auto& u : rows) {
            auto opt = [](std::optional<std::int64_t> v) {
                return v ? std::optional<double>(static_cast<double>(*v)) : std::nullopt;
            };
            out << CsvField(u.server.name) << "," << CsvField(u.server.address) << ","
                << u.server.port << "," << PercentCsv(u.day) << "," << PercentCsv(u.week) << ","
                << PercentCsv(u.month) << "," << u.day.held << "," << u.day.total << ","
                << u.week.held << "," << u.week.total << "," << u.month.held << "," << u.month.total
                << "," << Millis(u.connectAvg) << "," << Millis(opt(u.connectMin)) << ","
                << Millis(opt(u.connectMax)) << "\r\n";
        }
        return;
    }
    std::vector<std::vector<std::string>> table{
        {U8(u8"服务器"), U8(u8"地址"), U8(u8"24小时"), U8(u8"7天"), U8(u8"30天"),
         U8(u8"24小时检测(正常/总数)"), U8(u8"连接时间(平均/最短/最长, 毫秒)")}};
    for (const auto& u : rows) {
        std::string connect = "-";
        if (u.connectAvg)
            connect = Millis(u.connectAvg) + "/" +
                      Millis(static_cast<double>(u.connectMin.value_or(0))) + "/" +
                      Millis(static_cast<double>(u.connectMax.value_or(0)));
        table.push_back({u.server.name, Address(u.server), Percent(u.day), Percent(u.week),
                         Percent(u.month),
                         std::to_string(u.day.held) + "/" + std::to_string(u.day.total), connect});
    }
    out << Columns(table);
}

void FollowLine(const HistoryQuery::OutageRow& o, bool down, bool csv, std::ostream& out) {
    const std::int64_t t = down ? o.start : o.end.value_or(o.start);
    if (csv)
        out << IsoUtc(t) << "," << CsvField(o.server.name) << "," << CsvField(o.server.address)
            << "," << o.server.port << "," << (down ? "down" : "up") << ","
            << (down ? ResultWord(o.cause) : EndWord(o.endReason)) << "\r\n";
    else
        out << LocalTime(t) << "  " << o.server.name << "  " << Address(o.server) << "  "
            << (down ? U8(u8"故障") + " (" + ResultText(o.cause) + ")"
                     : U8(u8"正常") + " (" + EndText(o.endReason) + ")")
            << "\n";
    out.flush();
}

int Follow(HistoryQuery& query, bool csv, int pollMs, std::ostream& out,
           const std::function<bool()>& keepFollowing) {
    if (csv)
        out << "time,server,address,port,state,reason\r\n" << std::flush;
    // Outages already in the file are not news; those still open are watched for their end.
    std::int64_t next = 1;
    std::map<std::int64_t, bool> open;
    for (const auto& o : query.OutagesFrom(1)) {
        next = o.id + 1;
        if (!o.end)
            open[o.id] = true;
    }
    while (!keepFollowing || keepFollowing()) {
        const std::int64_t from = open.empty() ? next : std::min(next, open.begin()->first);
        for (const auto& o : query.OutagesFrom(from)) {
            if (o.id >= next) {
                next = o.id + 1;
                FollowLine(o, true, csv, out);
                if (!o.end)
                    open[o.id] = true;
                else
                    FollowLine(o, false, csv, out);
            } else if (open.count(o.id) && o.end) {
                open.erase(o.id);
                FollowLine(o, false, csv, out);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return HistoryReport::kOk;
}

} // namespace

const char* HistoryReport::Usage() {
    return "usage: servermonitor-history [--file PATH] [--outages [--since WHEN] | --uptime | "
           "--follow] [--csv]\n"
           "       servermonitor-history [--file PATH] --window\n"
           "  --outages       the outages (the default), oldest first\n"
           "  --since WHEN    only outages going on at or after WHEN: YYYY-MM-DD[ HH:MM[:SS]] "
           "(local time)\n"
           "                  or a number followed by m, h or d (that long ago)\n"
           "  --uptime        per server: uptime over 24 h, 7 and 30 days, and connect times\n"
           "  --follow        one line per change of a server's state, as it happens\n"
           "  --csv           comma-separated values with a header line\n"
           "  --window        the history viewer, a window of its own\n"
           "  --file PATH     the history file (default: history.db in the working folder)\n"
           "exit status: 0 done, 1 bad arguments, 2 no history file or it cannot be opened,\n"
           "             3 the file is not a history, is damaged or could not be read\n";
}

std::optional<std::int64_t> HistoryReport::ParseSince(const std::string& text, std::int64_t now) {
    if (text.size() >= 2) {
        const char unit = text.back();
        const std::string number = text.substr(0, text.size() - 1);
        if ((unit == 'm' || unit == 'h' || unit == 'd') &&
            number.find_first_not_of("0123456789") == std::string::npos && number.size() <= 6) {
            const std::int64_t n = std::stoll(number);
            const std::int64_t unitMs = unit == 'm' ? 60'000 : unit == 'h' ? 3'600'000 : 86'400'000;
            return now - n * unitMs;
        }
    }
    std::tm tm{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &consumed) != 3)
        return std::nullopt;
    std::string rest = text.substr(static_cast<size_t>(consumed));
    if (!rest.empty()) {
        int more = 0;
        if (std::sscanf(rest.c_str(), " %2d:%2d%n", &tm.tm_hour, &tm.tm_min, &more) != 2)
            return std::nullopt;
        rest = rest.substr(static_cast<size_t>(more));
        if (!rest.empty()) {
            if (std::sscanf(rest.c_str(), ":%2d%n", &tm.tm_sec, &more) != 1 ||
                static_cast<size_t>(more) != rest.size())
                return std::nullopt;
        }
    }
    if (tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 ||
        tm.tm_min > 59 || tm.tm_sec > 60)
        return std::nullopt;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<std::int64_t>(t) * 1000;
}

std::optional<HistoryReport::Options> HistoryReport::Parse(const std::vector<std::string>& args,
                                                           std::int64_t now, std::string& error) {
    Options options;
    options.now = now;
    int modes = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                error = std::string(name) + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == "--outages") {
            options.mode = Mode::Outages;
            ++modes;
        } else if (a == "--uptime") {
            options.mode = Mode::Uptime;
            ++modes;
        } else if (a == "--follow") {
            options.mode = Mode::Follow;
            ++modes;
        } else if (a == "--window") {
            options.mode = Mode::Window;
            ++modes;
        } else if (a == "--csv") {
            options.csv = true;
        } else if (a == "--help" || a == "-h") {
            options.mode = Mode::Help;
            return options;
        } else if (a == "--since") {
            const auto text = value("--since");
            if (!text)
                return std::nullopt;
            options.since = ParseSince(*text, now);
            if (!options.since) {
                error = "--since " + *text + ": not a date, a date and time, or a span like 24h";
                return std::nullopt;
            }
        } else if (a == "--file") {
            const auto text = value("--file");
            if (!text)
                return std::nullopt;
            options.path = *text;
        } else {
            error = "unknown argument: " + a;
            return std::nullopt;
        }
    }
    if (modes > 1) {
        error = "--outages, --uptime, --follow and --window go one at a time";
        return std::nullopt;
    }
    if (options.csv && options.mode == Mode::Window) {
        error = "--csv goes with a report, not with --window";
        return std::nullopt;
    }
    if (options.since && options.mode != Mode::Outages) {
        error = "--since goes with --outages only";
        return std::nullopt;
    }
    return options;
}

int HistoryReport::Run(const Options& options, std::ostream& out, std::ostream& err,
                       const std::function<bool()>& keepFollowing) {
    if (options.mode == Mode::Help) {
        out << Usage();
        return kOk;
    }
    HistoryDatabase::Opened opened = HistoryDatabase::OpenForReading(options.path);
    if (!opened.db) {
        err << "servermonitor-history: " << options.path << ": " << opened.problem << "\n";
        const bool noFile = opened.fault == HistoryDatabase::Fault::Missing ||
                            opened.fault == HistoryDatabase::Fault::ReadOnly;
        return noFile ? kNoFile : kUnusableFile;
    }
    try {
        HistoryQuery query(*opened.db);
        const std::int64_t now = options.now;
        switch (options.mode) {
        case Mode::Outages:
            WriteOutages(query.Outages(options.since.value_or(0)), options.csv, now, out);
            break;
        case Mode::Uptime:
            WriteUptime(query.Uptimes(now), options.csv, out);
            break;
        case Mode::Follow:
            return Follow(query, options.csv, options.pollMs, out, keepFollowing);
        case Mode::Help:
        case Mode::Window:
            break;
        }
    } catch (const SqliteError& error) {
        err << "servermonitor-history: " << options.path << ": " << error.what() << "\n";
        return kUnusableFile;
    }
    out.flush();
    return kOk;
}
