// history_bench [detail-days] [hold-probes]
// history_bench write      only step 3, ending in a line "write: median <x> ms" (bench/compare)
//
// The history's costs, in one run (build it in Release):
//   1. The file after a year of each worst case: 255 servers all failing at the 5 s interval
//      (51 probes a second) and 255 servers all answering (one probe per 2 s hold). The last
//      `detail-days` days (default 2) go through the store probe by probe, with the clean-up
//      every simulated 10 minutes as the writer runs it; the 363 days before are put in as the
//      clean-up leaves them (hourly counts for 35 days, daily ones before, one run per server,
//      a monitor start a day, one outage a day per server for the failing case). Prints the
//      file's size after each simulated day: it stops growing once the detail days are full.
//   2. The report's queries on those files: --outages over everything and --uptime.
//   3. The cost per probe on the GUI thread: HistoryRecorder::ProbeEnded (a record built and
//      queued) while the writer writes, median and p99 over 200000 probes.
//   4. The hold of `hold-probes` (default 5) real 2000 ms holds against a local server, with
//      the writer idle, and with a clean-up running without pause on the failing year's file
//      while a viewer reads it.
//   5. The viewer's open time on each year's file: its window built, filled and painted once
//      (median of 5; offscreen when there is no display).
#include "BenchEngine.h"
#include "LocalServers.h"
#include "engine/ProbeCycle.h"
#include "engine/ServerTable.h"
#include "history/HistoryDatabase.h"
#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/SqliteStatement.h"
#include "viewer/HistoryWindow.h"
#include "viewer/UptimeTable.h"

#include <QApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr std::int64_t H = HistoryStore::kHourMs;
constexpr std::int64_t D = HistoryStore::kDayMs;
constexpr int kServers = 255;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double FileMb(const std::string& path) {
    std::uintmax_t bytes = 0;
    for (const char* suffix : {"", "-wal"})
        if (fs::exists(path + suffix))
            bytes += fs::file_size(path + suffix);
    return static_cast<double>(bytes) / 1e6;
}

HistoryRecord Probe(int server, std::int64_t t, int result, std::int64_t connect) {
    HistoryRecord r;
    r.kind = HistoryRecord::Kind::Probe;
    r.name = "服务器" + std::to_string(server);
    r.address = "127.0.0.1";
    r.port = 10000 + server;
    r.time = t;
    r.result = result;
    r.connectMicros = connect;
    return r;
}

// The 363 days before the detailed ones, as the clean-up leaves them.
void PutRollups(HistoryDatabase& db, HistoryStore& store, std::int64_t from, std::int64_t to,
                bool failing) {
    // Register the servers with one probe each.
    std::vector<HistoryRecord> first;
    for (int s = 0; s < kServers; ++s)
        first.push_back(Probe(s, from, failing ? 1 : 0, failing ? -1 : 300));
    store.Apply(first);
    db.Exec("BEGIN");
    SqliteStatement period(db.Handle(),
                           "INSERT OR REPLACE INTO period VALUES(?1, ?2, ?3, ?4, ?5, 0, 0, ?6, "
                           "?7, ?8, ?9)");
    const std::int64_t perHourFailing = 3600 / 5; // one probe per server per 5 s
    const std::int64_t perHourAnswering = 3600 / 2 / kServers + 1;
    for (std::int64_t t = from; t < to; t += H) {
        const bool hourly = t >= to - 35 * D;
        if (!hourly && t % D != 0)
            continue;
        const std::int64_t length = hourly ? H : D;
        const std::int64_t n = (failing ? perHourFailing : perHourAnswering) * (hourly ? 1 : 24);
        for (int s = 1; s <= kServers; ++s) {
            period.Reset();
            period.Bind(1, s).Bind(2, length).Bind(3, t);
            period.Bind(4, failing ? 0 : n).Bind(5, failing ? n : 0);
            period.Bind(6, failing ? 0 : n).Bind(7, failing ? 0 : n * 300);
            if (!failing)
                period.Bind(8, 200).Bind(9, 900);
            period.Run();
        }
    }
    SqliteStatement event(db.Handle(), "INSERT INTO event(t, kind, detail) VALUES(?1, 1, '')");
    SqliteStatement outage(db.Handle(),
                           "INSERT INTO outage(server, start, declared, end, end_reason, cause, "
                           "last_result, failures, alert) VALUES(?1, ?2, ?2 + 10000, ?2 + 600000, "
                           "1, 1, 1, 120, 1)");
    for (std::int64_t t = from; t < to; t += D) {
        event.Reset();
        event.Bind(1, t).Run();
        for (int s = 1; failing && s <= kServers; ++s) {
            outage.Reset();
            outage.Bind(1, s).Bind(2, t + s * 1000).Run();
        }
    }
    db.Exec("COMMIT");
}

struct Year {
    std::string path;
    double seconds = 0;
};

Year GenerateYear(const std::string& dir, bool failing, int detailDays) {
    Year year;
    year.path = dir + (failing ? "/failing.db" : "/answering.db");
    fs::remove(year.path);
    fs::remove(year.path + "-wal");
    fs::remove(year.path + "-shm");
    const auto started = Clock::now();
    auto opened = HistoryDatabase::OpenForWriting(year.path);
    if (!opened.db) {
        std::fprintf(stderr, "%s: %s\n", year.path.c_str(), opened.problem.c_str());
        std::exit(1);
    }
    HistoryStore store(*opened.db);
    const std::int64_t end = 1'790'000'000'000 - 1'790'000'000'000 % D;
    const std::int64_t detailFrom = end - detailDays * D;
    PutRollups(*opened.db, store, end - 365 * D, detailFrom, failing);
    std::printf("  %s: 363 days of roll-ups: %.1f MB\n", failing ? "failing" : "answering",
                FileMb(year.path));

    HistoryRetention retention;
    // One batch per half second of simulated time, as the writer commits them.
    const std::int64_t step = failing ? 5000 : 2000 * kServers;
    const std::int64_t batchMs = 500;
    std::vector<HistoryRecord> batch;
    std::int64_t nextCleanUp = detailFrom + 10 * 60 * 1000;
    std::int64_t nextBatch = detailFrom + batchMs;
    std::int64_t shownDay = -1;
    for (std::int64_t cycle = detailFrom; cycle < end; cycle += step) {
        for (int s = 0; s < kServers; ++s) {
            const std::int64_t t = failing ? cycle + s * (step / kServers) : cycle + s * 2000;
            if (t >= nextBatch) {
                store.Apply(batch);
                batch.clear();
                nextBatch = t + batchMs;
            }
            if (t >= nextCleanUp) {
                store.CleanUp(t, retention);
                nextCleanUp = t + 10 * 60 * 1000;
            }
            if (const std::int64_t day = (t - detailFrom) / D; day != shownDay) {
                shownDay = day;
                std::printf("    day %lld: %.1f MB\n", static_cast<long long>(day + 1),
                            FileMb(year.path));
            }
            batch.push_back(Probe(s, t, failing ? 1 : 0, failing ? -1 : 250 + (t / 7) % 400));
        }
    }
    store.Apply(batch);
    store.CleanUp(end, retention);
    opened.db->Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    year.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("  %s: a year: %.1f MB (generated in %.0f s)\n", failing ? "failing" : "answering",
                FileMb(year.path), year.seconds);
    return year;
}

void QueryTimes(const std::string& path) {
    auto opened = HistoryDatabase::OpenForReading(path);
    HistoryQuery query(*opened.db);
    const auto t0 = Clock::now();
    const auto outages = query.Outages(0);
    const auto t1 = Clock::now();
    const auto uptimes = query.Uptimes(1'790'000'000'000 - 1'790'000'000'000 % D);
    const auto t2 = Clock::now();
    const auto latest = query.LatestProbes(1, 100);
    const auto t3 = Clock::now();
    std::printf("  %s: --outages %zu rows %.1f ms, --uptime %zu servers %.1f ms, latest 100 "
                "probes %.2f ms\n",
                path.c_str(), outages.size(), Ms(t1 - t0), uptimes.size(), Ms(t2 - t1),
                Ms(t3 - t2));
}

class NullView : public TimingView {};

// Gives the median cost per probe in microseconds.
double GuiThreadCost(const std::string& dir) {
    NullView view;
    ProbeCycle cycle(view);
    cycle.Timer1.stop();
    HistoryWriter::Options options;
    options.path = dir + "/cost.db";
    HistoryRecorder recorder(cycle, options, {}, {});
    std::vector<double> costs;
    costs.reserve(200000);
    ProbeEvent probe;
    probe.server = {"\xb7\xfe\xce\xf1\xc6\xf7", "127.0.0.1", 8080};
    probe.result = ProbeResult::Refused;
    for (int i = 0; i < 200000; ++i) {
        probe.end = std::chrono::system_clock::now();
        const auto start = Clock::now();
        recorder.ProbeEnded(probe);
        costs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        // 51 probes a second would take an hour; a short pause keeps the queue realistic.
        if (i % 1000 == 999)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    recorder.Writer().Flush(std::chrono::seconds(30));
    std::printf("  cost per probe on the GUI thread: median %.2f us, p99 %.2f us, max %.1f us "
                "(written %llu, dropped %llu)\n",
                Percentile(costs, 0.5), Percentile(costs, 0.99), Percentile(costs, 1.0),
                static_cast<unsigned long long>(recorder.Writer().Written()),
                static_cast<unsigned long long>(recorder.Writer().Dropped()));
    return Percentile(costs, 0.5);
}

void Holds(const std::string& failingYear, int probes) {
    // One accepting and one refused server: the accepting one's holds are measured.
    LocalServers servers = StartLocalServers(1, 1);
    const std::string list = WriteServerList(servers, "/tmp/history-bench-XXXXXX", "服务器");
    for (int side = 0; side < 2; ++side) {
        std::atomic<bool> stop{false};
        std::thread cleaner, reader;
        if (side == 1) {
            reader = std::thread([&] {
                auto opened = HistoryDatabase::OpenForReading(failingYear);
                HistoryQuery query(*opened.db);
                while (!stop) {
                    query.Uptimes(1'790'000'000'000);
                    query.LatestProbes(1, 400);
                }
            });
            cleaner = std::thread([&] {
                auto opened = HistoryDatabase::OpenForWriting(failingYear);
                HistoryStore store(*opened.db);
                HistoryRetention r;
                std::int64_t now = 1'790'000'000'000;
                while (!stop) {
                    // A clean-up with work to do each time: the detail day moves on by 10 min.
                    now += 10 * 60 * 1000;
                    store.CleanUp(now, r);
                }
            });
        }
        TimingView view;
        {
            LoadServersFrom(list, view);
            ProbeCycle cycle(view);
            cycle.Timer1.stop();
            for (int i = 0; i < probes; ++i)
                cycle.Button1Click();
        }
        stop = true;
        if (cleaner.joinable())
            cleaner.join();
        if (reader.joinable())
            reader.join();
        std::vector<double> holds;
        for (const auto& p : view.probes)
            if (p.holdMs >= 0)
                holds.push_back(p.holdMs);
        std::printf("  hold %s: median %.1f ms, max %.1f ms over %zu probes\n",
                    side == 0 ? "without clean-up" : "with a clean-up and a viewer reading",
                    Percentile(holds, 0.5), Percentile(holds, 1.0), holds.size());
    }
    RemoveServerList(list);
    StopLocalServers(servers);
}

void ViewerOpen(const std::string& path) {
    const std::int64_t now = 1'790'000'000'000 - 1'790'000'000'000 % D;
    std::vector<double> opens;
    int servers = 0;
    for (int run = 0; run < 5; ++run) {
        const auto start = Clock::now();
        HistoryWindow window(QString::fromStdString(path), [now] { return now; });
        window.show();
        window.repaint();
        opens.push_back(Ms(Clock::now() - start));
        servers = window.Servers()->rowCount();
        QApplication::processEvents();
    }
    std::printf("  viewer open %s: median %.1f ms, max %.1f ms (%d servers)\n", path.c_str(),
                Percentile(opens, 0.5), Percentile(opens, 1.0), servers);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Each line as it comes: a run takes minutes.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    SilenceAlerts();
    if (argc > 1 && std::string(argv[1]) == "write") {
        char pattern[] = "/tmp/history-bench-XXXXXX";
        const std::string dir = mkdtemp(pattern);
        std::printf("write: median %.4f ms\n", GuiThreadCost(dir) / 1000.0);
        fs::remove_all(dir);
        return 0;
    }
    const int detailDays = argc > 1 ? std::atoi(argv[1]) : 2;
    const int holdProbes = argc > 2 ? std::atoi(argv[2]) : 5;
    char pattern[] = "/tmp/history-bench-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    std::printf("1. A year of each worst case (detail through the store for %d days)\n",
                detailDays);
    const Year failing = GenerateYear(dir, true, detailDays);
    const Year answering = GenerateYear(dir, false, detailDays);
    std::printf("2. Queries\n");
    QueryTimes(failing.path);
    QueryTimes(answering.path);
    std::printf("3. The GUI thread\n");
    GuiThreadCost(dir);
    std::printf("4. The hold\n");
    Holds(failing.path, holdProbes);
    std::printf("5. The viewer\n");
    ViewerOpen(failing.path);
    ViewerOpen(answering.path);
    fs::remove_all(dir);
    return 0;
}
