#pragma once

#include "metrics/ListenAddress.h"
#include "metrics/MetricsCollector.h"
#include "metrics/MetricsServer.h"
#include "metrics/MetricsSnapshot.h"
#include "metrics/ModemWatch.h"
#include "platform/StandardError.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class ProbeCycle;

// The metrics endpoint of a running monitor: follows `cycle` on the GUI thread and serves what
// it saw on `address` from a thread of its own. `cycle` must outlive it. `modemReady` is
// whether the modem answered at start-up; from then on the modem library's status is followed
// (see ModemWatch).
class MetricsExporter {
public:
    // Throws MetricsListenError when `address` cannot be listened on.
    MetricsExporter(ProbeCycle& cycle, const ListenAddress& address, bool modemReady,
                    MetricsServer::Limits limits = {});

    std::uint16_t Port() const { return server_.Port(); }
    int OpenConnections() const { return server_.OpenConnections(); }

private:
    std::string Render() const;

    ModemWatch modem_;
    SnapshotBoard board_;
    MetricsCollector collector_;
    // Last, so that its thread has stopped before the board goes.
    MetricsServer server_;
};

// The monitor's settings file for the endpoint, in the working directory beside servers.ini.
inline constexpr const char* kMetricsSettingPath = "monitor.ini";

// Reads the setting at `path` and starts the endpoint it names. Gives nullptr when there is
// none: quietly when the setting is off, after one line to `errors` (UTF-8, with its line end)
// when the file, its value or the address cannot be used. The monitor runs on either way.
using MetricsErrorSink = std::function<void(std::string_view lineUtf8)>;
std::unique_ptr<MetricsExporter> StartMetrics(ProbeCycle& cycle, bool modemReady,
                                              const std::string& path = kMetricsSettingPath,
                                              const MetricsErrorSink& errors = WriteStandardError);
