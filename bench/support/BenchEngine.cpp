#include "BenchEngine.h"

#include "platform/Tone.h"
#include "sms/ModemApi.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

int NoModem(int) {
    return 0;
}
int NoModemType(int, int) {
    return 0;
}
int NoSend(int, const char*, const char*) {
    return 0;
}
const ModemApi kNoModem{NoModemType, NoModem, NoSend, NoModem, NoModem};

double Ms(TimingView::Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

void SilenceAlerts() {
    SetToneService([](int, int) {});
    SetModemApi(&kNoModem);
}

std::string WriteServerList(const LocalServers& servers, std::string folderPattern,
                            const std::string& namePrefix) {
    if (!mkdtemp(folderPattern.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    const std::string path = folderPattern + "/servers.ini";
    std::ofstream ini(path, std::ios::binary);
    const size_t count = std::min(servers.accepting.size(), servers.refused.size()) * 2;
    for (size_t i = 0; i < count; ++i) {
        const int port = i % 2 == 0 ? servers.accepting[i / 2] : servers.refused[i / 2];
        ini << "[" << namePrefix << i << "]\r\nIP=127.0.0.1\r\nPort=" << port << "\r\n";
    }
    if (!ini.flush()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    return path;
}

void RemoveServerList(const std::string& path) {
    unlink(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}

void TimingView::AppendLog(const std::string& line) {
    ++lines;
    const auto now = Clock::now();
    if (line.rfind("正在和", 0) == 0) {
        Close(now);
        probes.push_back({now, -1, -1, {}});
    } else if (line.rfind("连接", 0) == 0 && !probes.empty()) {
        probes.back().connected = now;
    } else if (line.rfind("和", 0) == 0 && !probes.empty()) {
        probes.back().holdMs = Ms(now - probes.back().connected);
    }
}

void TimingView::SetButton1Enabled(bool enabled) {
    if (enabled)
        Close(Clock::now());
}

void TimingView::Close(Clock::time_point now) {
    if (!probes.empty() && probes.back().ms < 0)
        probes.back().ms = Ms(now - probes.back().start);
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * values.size()))];
}
