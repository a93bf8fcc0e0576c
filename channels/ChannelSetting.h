#pragma once

#include <string>
#include <string_view>
#include <vector>

class TMemIniFile;

// Whether monitor.ini turns a channel on.
enum class ChannelState {
    // No section, or no receiver named in it.
    Off,
    On,
    // The section names a receiver but something in it cannot be used; `problem` says what,
    // without repeating any value that may be secret.
    Unusable,
};

// [Webhook]: an HTTP(S) POST per message.
struct WebhookSetting {
    enum class Format { Json, Ntfy, Text };

    ChannelState state = ChannelState::Off;
    std::string problem;
    // The URL carries credentials (user:password@ or a query) or a Header= line carries a
    // token, so monitor.ini must be private to its owner.
    bool carriesSecret = false;

    std::string url;
    Format format = Format::Json;
    // "Name: value" lines, in file order.
    std::vector<std::string> headers;
    // 0: no reminders.
    int remindMinutes = 0;
    // Empty: the system's certificate authorities.
    std::string caFile;
};

// [Mail]: an e-mail per message over SMTP.
struct MailSetting {
    enum class Security { StartTls, Tls, None };

    ChannelState state = ChannelState::Off;
    std::string problem;
    bool carriesSecret = false;

    std::string server;
    int port = 587;
    Security security = Security::StartTls;
    std::string user;
    std::string password;
    std::string from;
    std::vector<std::string> to;
    int remindMinutes = 0;
    std::string caFile;
};

// Both channels' settings from the INI text of monitor.ini (GBK or ASCII). Section and key names
// are found without regard to letter case; Header= and To= may be given several times.
//
// [Webhook]: URL (http:// or https://; empty or absent: off), Format json|ntfy|text (json),
// Header= "Name: value", RemindMinutes (0..10080, 0 = none), CAFile.
// [Mail]: Server (empty or absent: off), Port (587 for starttls, 465 for tls, 25 for none),
// Security starttls|tls|none, User and Password (both or neither; never with none), From, To
// (one or more addresses, separated by commas or semicolons), RemindMinutes, CAFile.
WebhookSetting ParseWebhookSetting(const TMemIniFile& ini);
MailSetting ParseMailSetting(const TMemIniFile& ini);

// The names of the two channels as the program says them: "webhook", "mail".
inline constexpr std::string_view kWebhookChannel = "webhook";
inline constexpr std::string_view kMailChannel = "mail";
