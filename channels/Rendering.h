#pragma once

#include "channels/ChannelSetting.h"
#include "channels/Message.h"

#include <chrono>
#include <string>
#include <vector>

// A message as each channel sends it. A late message (one that waited because its receiver
// could not be reached when it was composed) has "[迟发] " before its title and a first body
// line that says when it was composed; the JSON body also says "late": true.
namespace Rendering {

struct WebhookRequest {
    // "Name: value" lines: the content type, then ntfy's Title, Priority and Tags, then the
    // setting's own Header= lines.
    std::vector<std::string> headers;
    std::string body;
};

WebhookRequest Webhook(const Message& message, const WebhookSetting& setting, bool late);

// The whole e-mail (RFC 5322, CRLF line ends, the body base64 in UTF-8) as handed to the SMTP
// server; `sent` is its Date and part of its Message-ID.
std::string Mail(const Message& message, const MailSetting& setting, bool late,
                 std::chrono::system_clock::time_point sent);

// The title and body with the late marking applied (UTF-8).
std::string Title(const Message& message, bool late);
std::string Body(const Message& message, bool late);

} // namespace Rendering
