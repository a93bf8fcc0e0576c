// engine_bench [cycles] [hold-ms]
//
// Probes 50 accepting and 50 refused servers on 127.0.0.1 per cycle through the real ProbeCycle,
// with Timer2 shortened to the hold (default 100 ms), for `cycles` cycles (default 100, i.e.
// 10,000 probes). The accepting servers live in a child process, so this process's CPU time is
// the engine's own. Tones and SMS are replaced by no-ops (the alert worker would otherwise sleep
// through nine real tones per cycle). Prints:
//   - the median / 90th percentile / maximum time per probe beyond the hold;
//   - process CPU during the cycles, as a share of one core;
//   - process CPU over 3 s of idle event loop between cycles;
//   - open descriptors and resident memory after the first cycle and every tenth.
#include "BenchEngine.h"
#include "LocalServers.h"
#include "engine/MonitorView.h"
#include "engine/ProbeCycle.h"
#include "engine/ServerTable.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAccepting = 50;
constexpr int kRefused = 50;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count - 3; // ".", "..", and the directory's own descriptor
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 100;
    const int holdMs = argc > 2 ? std::atoi(argv[2]) : 100;
    if (cycles < 1 || holdMs < 1) {
        std::fprintf(stderr, "usage: engine_bench [cycles] [hold-ms]\n");
        return 2;
    }

    LocalServers servers = StartLocalServers(kAccepting, kRefused);
    QCoreApplication app(argc, argv);
    SilenceAlerts();
    const std::string path = WriteServerList(servers, "/tmp/engine-bench-XXXXXX", "S");

    TimingView view;
    // Filled once and emptied, so its pages are resident from the start and the figures below
    // show the engine's memory, not this vector's.
    view.probes.assign(static_cast<size_t>(cycles) * (kAccepting + kRefused), {});
    view.probes.clear();
    LoadServersFrom(path, view);
    ProbeCycle engine(view);
    engine.Timer1.stop();
    engine.Timer2.setInterval(holdMs);

    std::printf("%d cycles of %d accepting + %d refused servers, hold %d ms\n", cycles, kAccepting,
                kRefused, holdMs);
    std::printf("%8s %10s %8s %10s\n", "cycle", "probes", "fds", "rss KiB");
    double cycleCpu = 0, cycleWall = 0;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const double cpu0 = CpuSeconds();
        const auto wall0 = Clock::now();
        engine.Button1Click();
        cycleCpu += CpuSeconds() - cpu0;
        cycleWall += std::chrono::duration<double>(Clock::now() - wall0).count();
        if (cycle == 1 || cycle % 10 == 0 || cycle == cycles)
            std::printf("%8d %10zu %8d %10ld\n", cycle, view.probes.size(), OpenDescriptors(),
                        ResidentKiB());
        std::fflush(stdout);
    }

    std::vector<double> acceptedBeyond, refusedMs;
    for (size_t i = 0; i < view.probes.size(); ++i) {
        if (i % 100 % 2 == 0)
            acceptedBeyond.push_back(view.probes[i].ms - holdMs);
        else
            refusedMs.push_back(view.probes[i].ms);
    }
    std::printf("accepting probes, beyond the hold: median %.2f ms, p90 %.2f ms, max %.2f ms\n",
                Percentile(acceptedBeyond, 0.5), Percentile(acceptedBeyond, 0.9),
                Percentile(acceptedBeyond, 1.0));
    std::printf("refused probes:                    median %.2f ms, p90 %.2f ms, max %.2f ms\n",
                Percentile(refusedMs, 0.5), Percentile(refusedMs, 0.9), Percentile(refusedMs, 1.0));
    std::printf("CPU during cycles: %.2f%% of one core (%.2f s CPU over %.1f s)\n",
                100 * cycleCpu / cycleWall, cycleCpu, cycleWall);

    // Between cycles: Timer1 armed for its 600 s, nothing else to do.
    QEventLoop idle;
    QTimer::singleShot(3000, &idle, &QEventLoop::quit);
    const double idleCpu0 = CpuSeconds();
    const auto idleWall0 = Clock::now();
    idle.exec();
    const double idleCpu = CpuSeconds() - idleCpu0;
    const double idleWall = std::chrono::duration<double>(Clock::now() - idleWall0).count();
    std::printf("CPU between cycles: %.3f%% of one core (%.4f s CPU over %.1f s)\n",
                100 * idleCpu / idleWall, idleCpu, idleWall);

    StopLocalServers(servers);
    RemoveServerList(path);
    return 0;
}
