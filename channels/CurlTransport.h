#pragma once

#include "channels/ChannelSetting.h"
#include "channels/DeliveryWorker.h"

#include <chrono>

// The channels' transports through libcurl: one easy handle per attempt, with a connect
// time-out and a time-out for the whole attempt, no redirects, certificates verified against
// the system's authorities or the setting's CAFile, and no signals (it runs on a worker
// thread). An attempt ends early when the worker stops.
struct CurlTimeouts {
    std::chrono::milliseconds connect{std::chrono::seconds(10)};
    std::chrono::milliseconds total{std::chrono::seconds(30)};
};

// Once per process, before any worker starts (libcurl's global set-up is not thread-safe).
void InitCurlOnce();

// POSTs the message to the setting's URL in its format. 2xx is delivered; 408, 429 and 5xx
// may pass; any other status is a refusal.
DeliveryTransport WebhookTransport(WebhookSetting setting, CurlTimeouts timeouts);

// Sends the message as an e-mail through the setting's SMTP server: TLS from the start (tls),
// or STARTTLS required (starttls), or plain (none); AUTH when a user is set.
DeliveryTransport MailTransport(MailSetting setting, CurlTimeouts timeouts);
