#include "channels/NotificationCounts.h"

#include "channels/ChannelSetting.h"

NotificationCounts& NotificationCountsOf(std::string_view channel) {
    static NotificationCounts webhook;
    static NotificationCounts mail;
    return channel == kWebhookChannel ? webhook : mail;
}
