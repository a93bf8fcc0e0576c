#include "engine/AlertSmsText.h"

#include "platform/AppInfo.h"

std::string AlertSmsText(const std::string& name, TDateTime when) {
    return std::string(kDisplayName) + ":【" + name + "】发生故障!--" + DateTimeToStr(when);
}
