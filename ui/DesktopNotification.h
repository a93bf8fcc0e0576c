#pragma once

#include <string>

// One message for the desktop's notification area. Texts are GBK.
struct DesktopNotification {
    enum class Urgency : unsigned char { Low = 0, Normal = 1, Critical = 2 };

    // Notifications with the same key replace each other instead of stacking up.
    std::string key;
    std::string summary;
    std::string body;
    Urgency urgency = Urgency::Normal;
};
