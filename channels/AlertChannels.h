#pragma once

#include "channels/ChannelNotifier.h"
#include "channels/ChannelSettings.h"
#include "channels/CurlTransport.h"
#include "channels/DeliveryWorker.h"
#include "platform/StandardError.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class ProbeCycle;

// The alert channels monitor.ini turns on, each a worker and the notifier that feeds it, for as
// long as this lives. `cycle` must outlive it.
class AlertChannels {
public:
    using ErrorSink = std::function<void(std::string_view lineUtf8)>;
    struct Timing {
        CurlTimeouts timeouts;
        DeliveryWorker::Timing delivery;
    };

    AlertChannels(ProbeCycle& cycle, const ChannelSettings& settings, const ErrorSink& errors,
                  const Timing& timing);
    ~AlertChannels();

    // "webhook", "mail": the channels that are on.
    std::vector<std::string> On() const;
    // Messages not yet delivered or dropped, over every channel.
    std::size_t Pending() const;

private:
    struct Channel {
        std::string name;
        std::unique_ptr<DeliveryWorker> worker;
        std::unique_ptr<ChannelNotifier> notifier;
    };
    std::vector<Channel> channels_;
};

// The settings file of the alert channels, beside servers.ini (the metrics' file).
inline constexpr const char* kChannelSettingsPath = "monitor.ini";

// Reads the settings at `path` and starts the channels that are on; nullptr when none is.
// Each channel that is set but cannot be used is said in one line on `errors` (UTF-8, with its
// line end), as is a file that cannot be read; the monitor runs on either way. No line ever
// holds a password, a token or the webhook's URL.
std::unique_ptr<AlertChannels>
StartAlertChannels(ProbeCycle& cycle, const std::string& path = kChannelSettingsPath,
                   const AlertChannels::ErrorSink& errors = WriteStandardError,
                   const AlertChannels::Timing& timing = {});

// `line` with every occurrence of each of `secrets` (those of three bytes or more) replaced by
// "***".
std::string Redacted(std::string line, const std::vector<std::string>& secrets);
