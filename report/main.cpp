// servermonitor-history: the monitor's history as a report in the terminal.
#include "report/HistoryReport.h"

#include <chrono>
#include <csignal>
#include <iostream>

int main(int argc, char** argv) {
    // A reader that goes away ends the report quietly.
    std::signal(SIGPIPE, SIG_DFL);
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    std::string error;
    const auto options = HistoryReport::Parse(args, now, error);
    if (!options) {
        std::cerr << "servermonitor-history: " << error << "\n" << HistoryReport::Usage();
        return HistoryReport::kUsage;
    }
    return HistoryReport::Run(*options, std::cout, std::cerr);
}
