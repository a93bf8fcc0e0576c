#pragma once

#include "channels/ChannelSetting.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

// Both channels as monitor.ini sets them.
struct ChannelSettings {
    WebhookSetting webhook;
    MailSetting mail;
};

// The settings from INI text (see ParseWebhookSetting, ParseMailSetting).
ChannelSettings ParseChannelSettings(std::string_view text);

// A channel that carries a secret stays off when the file that holds it is open to anyone but
// its owner (`mode` & 077); `fileName` names the file in the problem, which says how to mend
// it. Settings without a secret pass unchanged.
void RequirePrivateFile(ChannelSettings& settings, mode_t mode, const std::string& fileName);

// The largest monitor.ini that is read.
inline constexpr std::size_t kChannelSettingsMaxBytes = 64 * 1024;

// The settings from the file at `path`, read like the metrics setting (a regular file of at most
// kChannelSettingsMaxBytes, opened without waiting), with RequirePrivateFile applied to its
// mode. No file: both Off. A file that is there but cannot be read: both Off, and `problem`
// says why, for the caller to say once; the monitor runs on.
struct ChannelSettingsRead {
    ChannelSettings settings;
    std::string problem;
};
ChannelSettingsRead ReadChannelSettings(const std::string& path);
