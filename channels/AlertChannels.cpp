#include "channels/AlertChannels.h"

#include "platform/ErrorText.h"
#include "platform/GbkText.h"

#include <cerrno>
#include <unistd.h>

namespace {

// What a line must never show of the webhook: the whole URL, its user information and query,
// the values of its headers.
std::vector<std::string> WebhookSecrets(const WebhookSetting& setting) {
    std::vector<std::string> secrets = {setting.url};
    const std::size_t start = setting.url.find("://") + 3;
    const std::size_t at = setting.url.find('@', start);
    const std::size_t pathStart = setting.url.find_first_of("/?#", start);
    if (at != std::string::npos && at < pathStart)
        secrets.push_back(setting.url.substr(start, at - start));
    if (const std::size_t query = setting.url.find('?'); query != std::string::npos)
        secrets.push_back(setting.url.substr(query + 1));
    for (const std::string& header : setting.headers) {
        std::string value = header.substr(header.find(':') + 1);
        value.erase(0, value.find_first_not_of(' '));
        secrets.push_back(value);
    }
    return secrets;
}

// A CAFile that cannot be read would fail every delivery; said at start instead.
template <class Setting> void RequireReadableCaFile(Setting& setting) {
    if (setting.state != ChannelState::On || setting.caFile.empty())
        return;
    if (::access(setting.caFile.c_str(), R_OK) != 0) {
        setting.state = ChannelState::Unusable;
        setting.problem = "CAFile=" + setting.caFile + " cannot be read: " + ErrnoText(errno);
    }
}

} // namespace

std::string Redacted(std::string line, const std::vector<std::string>& secrets) {
    for (const std::string& secret : secrets) {
        if (secret.size() < 3)
            continue;
        for (std::size_t at = line.find(secret); at != std::string::npos;
             at = line.find(secret, at + 3))
            line.replace(at, secret.size(), "***");
    }
    return line;
}

AlertChannels::AlertChannels(ProbeCycle& cycle, const ChannelSettings& settings,
                             const ErrorSink& errors, const Timing& timing) {
    InitCurlOnce();
    const auto add = [&](std::string_view name, DeliveryTransport transport, int remindMinutes,
                         std::vector<std::string> secrets) {
        Channel channel;
        channel.name = std::string(name);
        auto sink = [errors, secrets = std::move(secrets)](std::string_view line) {
            if (errors)
                errors(Redacted(std::string(line), secrets));
        };
        channel.worker = std::make_unique<DeliveryWorker>(channel.name, std::move(transport),
                                                          std::move(sink), timing.delivery);
        DeliveryWorker* worker = channel.worker.get();
        channel.notifier = std::make_unique<ChannelNotifier>(
            cycle, remindMinutes, [worker](Message message) { worker->Post(std::move(message)); });
        channels_.push_back(std::move(channel));
    };
    if (settings.webhook.state == ChannelState::On)
        add(kWebhookChannel, WebhookTransport(settings.webhook, timing.timeouts),
            settings.webhook.remindMinutes, WebhookSecrets(settings.webhook));
    if (settings.mail.state == ChannelState::On)
        add(kMailChannel, MailTransport(settings.mail, timing.timeouts),
            settings.mail.remindMinutes, {settings.mail.password});
}

AlertChannels::~AlertChannels() {
    // Notifiers first, so that nothing posts to a worker that is going.
    for (Channel& channel : channels_)
        channel.notifier.reset();
}

std::vector<std::string> AlertChannels::On() const {
    std::vector<std::string> names;
    for (const Channel& channel : channels_)
        names.push_back(channel.name);
    return names;
}

std::size_t AlertChannels::Pending() const {
    std::size_t pending = 0;
    for (const Channel& channel : channels_)
        pending += channel.worker->Pending();
    return pending;
}

std::unique_ptr<AlertChannels> StartAlertChannels(ProbeCycle& cycle, const std::string& path,
                                                  const AlertChannels::ErrorSink& errors,
                                                  const AlertChannels::Timing& timing) {
    ChannelSettingsRead read = ReadChannelSettings(path);
    const std::string file = GbkToUtf8(path);
    if (!read.problem.empty() && errors)
        errors("servermonitor: " + file + ": " + read.problem +
               "; the webhook and mail channels are off\n");
    RequireReadableCaFile(read.settings.webhook);
    RequireReadableCaFile(read.settings.mail);
    const auto report = [&](const char* section, std::string_view name,
                            const std::string& problemGbk) {
        if (errors)
            errors("servermonitor: " + file + ": [" + section + "] " + GbkToUtf8(problemGbk) +
                   "; the " + std::string(name) + " channel is off\n");
    };
    if (read.settings.webhook.state == ChannelState::Unusable)
        report("Webhook", kWebhookChannel, read.settings.webhook.problem);
    if (read.settings.mail.state == ChannelState::Unusable)
        report("Mail", kMailChannel, read.settings.mail.problem);
    if (read.settings.webhook.state != ChannelState::On &&
        read.settings.mail.state != ChannelState::On)
        return nullptr;
    return std::make_unique<AlertChannels>(cycle, read.settings, errors, timing);
}
