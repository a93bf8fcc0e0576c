// metrics_bench [rounds] [hold-ms] [cycles-per-round]
//
// The probe cycle with the metrics endpoint attached, over 50 accepting and 50 refused servers
// on 127.0.0.1 with GBK names, Timer2 shortened to the hold (default 100 ms). Rounds alternate
// between no scraper and a scraper that GETs /metrics 10 times a second on a thread of its own,
// `rounds` of each (default 3, of 2 cycles each), so both see the same machine. Prints, for each
// side:
//   - the hold as the engine ran it (from "连接...成功!" to "...断开连接!"), and the time per
//     accepting probe beyond the hold and per refused probe;
//   - the GUI thread's time inside the snapshot publication after each probe;
//   - with the scraper: scrape latency (connect to the end of the answer) and answer size.
// The accepting servers live in a child process. Tones and SMS are no-ops.
#include "BenchEngine.h"
#include "LocalServers.h"
#include "engine/MonitorView.h"
#include "engine/ProbeCycle.h"
#include "engine/ServerTable.h"
#include "metrics/MetricsExporter.h"

#include <QCoreApplication>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAccepting = 50;
constexpr int kRefused = 50;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Registered before and after the exporter's collector, so that the time between the two calls
// of each probe end is the collector's work on the GUI thread.
struct Stopwatch : ProbeObserver {
    Clock::time_point started;
    std::vector<double>* costs = nullptr;
    Stopwatch* first = nullptr;
    void ProbeEnded(int, const ProbeRecord&) override {
        if (!first)
            started = Clock::now();
        else if (costs)
            costs->push_back(Ms(Clock::now() - first->started) * 1000);
    }
};

// GETs /metrics every 100 ms and records how long each answer took.
class Scraper {
public:
    explicit Scraper(int port) : port_(port), thread_([this] { Run(); }) {}
    ~Scraper() {
        stop_ = true;
        thread_.join();
    }
    std::vector<double> latencies() {
        std::lock_guard lock(lock_);
        return latencies_;
    }
    size_t bytes() const { return bytes_; }
    int failures() const { return failures_; }

private:
    void Run() {
        auto next = Clock::now();
        while (!stop_) {
            const auto start = Clock::now();
            const size_t got = ScrapeOnce();
            const auto end = Clock::now();
            if (got == 0) {
                ++failures_;
            } else {
                bytes_ = got;
                std::lock_guard lock(lock_);
                latencies_.push_back(Ms(end - start));
            }
            next += std::chrono::milliseconds(100);
            std::this_thread::sleep_until(next);
        }
    }
    size_t ScrapeOnce() const {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        size_t total = 0;
        const std::string request = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size())) {
            char buffer[65536];
            ssize_t n;
            while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
                total += static_cast<size_t>(n);
        }
        close(fd);
        return total;
    }

    int port_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<double> latencies_;
    std::atomic<size_t> bytes_{0};
    std::atomic<int> failures_{0};
    std::thread thread_;
};

struct Side {
    std::vector<double> holds, beyondHold, refused, publishUs, scrapeMs;
    size_t scrapeBytes = 0;
    int scrapeFailures = 0;
};

void Print(const char* name, const Side& s) {
    auto row = [](const char* what, const std::vector<double>& v, const char* unit) {
        std::printf("  %-34s median %8.3f  p99 %8.3f  max %8.3f %s  (n=%zu)\n", what,
                    Percentile(v, 0.5), Percentile(v, 0.99), Percentile(v, 1.0), unit, v.size());
    };
    std::printf("%s\n", name);
    row("hold", s.holds, "ms");
    row("accepting probe beyond the hold", s.beyondHold, "ms");
    row("refused probe", s.refused, "ms");
    row("snapshot publication per probe", s.publishUs, "us");
    if (!s.scrapeMs.empty() || s.scrapeFailures) {
        row("scrape latency", s.scrapeMs, "ms");
        std::printf("  scrape answer %zu bytes, %d scrapes failed\n", s.scrapeBytes,
                    s.scrapeFailures);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    const int holdMs = argc > 2 ? std::atoi(argv[2]) : 100;
    const int cyclesPerRound = argc > 3 ? std::atoi(argv[3]) : 2;
    if (rounds < 1 || holdMs < 1 || cyclesPerRound < 1) {
        std::fprintf(stderr, "usage: metrics_bench [rounds] [hold-ms] [cycles-per-round]\n");
        return 2;
    }

    LocalServers servers = StartLocalServers(kAccepting, kRefused);
    QCoreApplication app(argc, argv);
    SilenceAlerts();
    const std::string path = WriteServerList(servers, "/tmp/metrics-bench-XXXXXX", "服务器");

    TimingView view;
    LoadServersFrom(path, view);
    ProbeCycle engine(view);
    engine.Timer1.stop();
    engine.Timer2.setInterval(holdMs);
    Stopwatch before;
    engine.AddObserver(&before);
    MetricsExporter exporter(engine, {"127.0.0.1", 0, false}, false);
    Stopwatch after;
    after.first = &before;
    engine.AddObserver(&after);

    std::printf("%d rounds of each side, %d cycles a round, %d accepting + %d refused servers, "
                "hold %d ms\n",
                rounds, cyclesPerRound, kAccepting, kRefused, holdMs);
    Side quiet, scraped;
    for (int round = 0; round < 2 * rounds; ++round) {
        const bool scraping = round % 2 == 1;
        Side& side = scraping ? scraped : quiet;
        std::unique_ptr<Scraper> scraper;
        if (scraping)
            scraper = std::make_unique<Scraper>(exporter.Port());
        after.costs = &side.publishUs;
        view.probes.clear();
        for (int c = 0; c < cyclesPerRound; ++c)
            engine.Button1Click();
        if (scraper) {
            const auto latencies = scraper->latencies();
            side.scrapeMs.insert(side.scrapeMs.end(), latencies.begin(), latencies.end());
            side.scrapeBytes = scraper->bytes();
            side.scrapeFailures += scraper->failures();
        }
        for (size_t i = 0; i < view.probes.size(); ++i) {
            const TimingView::Probe& p = view.probes[i];
            if (i % 2 == 0) {
                side.holds.push_back(p.holdMs);
                side.beyondHold.push_back(p.ms - p.holdMs);
            } else {
                side.refused.push_back(p.ms);
            }
        }
        std::fprintf(stderr, "round %d of %d done\n", round + 1, 2 * rounds);
    }
    Print("no scraper", quiet);
    Print("scraper at 10 Hz", scraped);
    std::printf("median hold with the scraper minus without: %+.3f ms; median accepting probe "
                "beyond the hold: %+.3f ms\n",
                Percentile(scraped.holds, 0.5) - Percentile(quiet.holds, 0.5),
                Percentile(scraped.beyondHold, 0.5) - Percentile(quiet.beyondHold, 0.5));

    engine.RemoveObserver(&before);
    engine.RemoveObserver(&after);
    StopLocalServers(servers);
    RemoveServerList(path);
    return 0;
}
