// net_bench latency [connects]     notice-to-handler latency over loopback connects
// net_bench banner-cpu [seconds]   CPU use while holding a connection whose banner is never read
// net_bench refused-fds [attempts] open descriptors before and after refused attempts
#include "net/ClientSocket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct TListener {
    int Fd = -1;
    std::uint16_t Port = 0;
    explicit TListener(int backlog) {
        Fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(Fd, backlog) != 0) {
            std::perror("listener");
            std::exit(1);
        }
        socklen_t length = sizeof address;
        getsockname(Fd, reinterpret_cast<sockaddr*>(&address), &length);
        Port = ntohs(address.sin_port);
    }
    ~TListener() { close(Fd); }
};

int OpenDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count - 1;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The event loop's own way of waiting: block until something happens.
void PumpBlocking(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The probe cycle's way: dispatch what is there, sleep 10 ms, repeat.
void PumpLikeTheProbe(const std::function<bool()>& done) {
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (done())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void Report(const char* title, std::vector<double> us) {
    std::sort(us.begin(), us.end());
    auto at = [&](double q) {
        return us[static_cast<size_t>(q * static_cast<double>(us.size() - 1))];
    };
    std::printf("%-34s n=%zu median=%.1f us p90=%.1f us p99=%.1f us max=%.1f us\n", title,
                us.size(), at(0.5), at(0.9), at(0.99), us.back());
}

// From the moment the platform has the connection (the connect call has returned and the
// loopback handshake is done inside it) to the moment OnConnect runs.
int Latency(int connects) {
    TListener listener(4096);
    for (int style = 0; style < 2; ++style) {
        std::vector<double> samples;
        TClientSocket socket;
        socket.SetAddress("127.0.0.1");
        socket.SetPort(listener.Port);
        Clock::time_point started;
        Clock::time_point handled;
        bool connected = false;
        socket.OnConnect = [&](TClientSocket*, TCustomWinSocket*) {
            handled = Clock::now();
            connected = true;
        };
        for (int i = 0; i < connects; ++i) {
            connected = false;
            socket.SetActive(true);
            started = Clock::now();
            auto done = [&] { return connected; };
            style == 0 ? PumpBlocking(done) : PumpLikeTheProbe(done);
            samples.push_back(std::chrono::duration<double, std::micro>(handled - started).count());
            socket.SetActive(false);
            int accepted = accept4(listener.Fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (accepted >= 0)
                close(accepted);
        }
        Report(style == 0 ? "event loop (blocking pump)" : "probe pump (dispatch + 10 ms sleep)",
               samples);
    }
    return 0;
}

int BannerCpu(int seconds) {
    TListener listener(16);
    std::thread server([&] {
        int peer = accept4(listener.Fd, nullptr, nullptr, SOCK_CLOEXEC);
        const char banner[] = "SSH-2.0-OpenBench_1.0\r\n";
        send(peer, banner, sizeof banner - 1, MSG_NOSIGNAL);
        // Blocks without waking until the client closes, so the server costs no CPU.
        char sink[64];
        while (recv(peer, sink, sizeof sink, 0) > 0) {
        }
        close(peer);
    });
    // Holds the event loop (or the probe's pump) for `seconds` and reports the CPU it took.
    auto measure = [seconds](const char* title, int style, int reads) {
        double cpu0 = CpuSeconds();
        auto wall0 = Clock::now();
        QDeadlineTimer deadline(seconds * 1000);
        if (style == 0) {
            QEventLoop loop;
            QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
            loop.exec();
        } else {
            PumpLikeTheProbe([&] { return deadline.hasExpired(); });
        }
        double cpu = CpuSeconds() - cpu0;
        double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        std::printf("%-44s %.1f s, CPU %.3f s = %.2f %%, read notices %d\n", title, wall, cpu,
                    100.0 * cpu / wall, reads);
    };
    measure("idle, event loop (exec), no socket", 0, 0);
    measure("idle, probe pump, no socket", 1, 0);

    TClientSocket socket;
    int reads = 0;
    socket.OnRead = [&](TClientSocket*, TCustomWinSocket*) { ++reads; };
    socket.SetAddress("127.0.0.1");
    socket.SetPort(listener.Port);
    socket.SetActive(true);
    PumpBlocking([&] { return reads > 0; });
    measure("banner unread, event loop (exec)", 0, reads);
    measure("banner unread, probe pump (10 ms sleep)", 1, reads);
    socket.SetActive(false);
    server.join();
    return 0;
}

int RefusedFds(int attempts) {
    std::uint16_t port;
    {
        TListener gone(1);
        port = gone.Port;
    }
    int before = OpenDescriptors();
    int errors = 0;
    {
        TClientSocket socket;
        socket.SetAddress("127.0.0.1");
        socket.SetPort(port);
        socket.OnError = [&](TClientSocket*, TCustomWinSocket*, TErrorEvent, int& code) {
            code = 0;
            ++errors;
        };
        socket.SetActive(true);
        PumpBlocking([&] { return errors == 1; });
        int afterFirst = OpenDescriptors();
        auto started = Clock::now();
        for (int i = 2; i <= attempts + 1; ++i) {
            socket.SetActive(true);
            PumpBlocking([&] { return errors == i; });
        }
        double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        std::printf("descriptors: before the socket %d, after the first refused attempt %d, "
                    "after %d more %d (%.0f attempts/s)\n",
                    before, afterFirst, attempts, OpenDescriptors(), attempts / seconds);
    }
    std::printf("descriptors after destroying the socket: %d\n", OpenDescriptors());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const char* what = argc > 1 ? argv[1] : "";
    int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (std::strcmp(what, "latency") == 0)
        return Latency(n > 0 ? n : 1000);
    if (std::strcmp(what, "banner-cpu") == 0)
        return BannerCpu(n > 0 ? n : 30);
    if (std::strcmp(what, "refused-fds") == 0)
        return RefusedFds(n > 0 ? n : 10000);
    std::fprintf(stderr,
                 "usage: %s latency [connects] | banner-cpu [seconds] | refused-fds "
                 "[attempts]\n",
                 argv[0]);
    return 2;
}
