#include "engine/SmsText.h"

std::string AlertSmsText(const std::string& name, TDateTime when) {
    return "Vormix服务器智能检测程序:【" + name + "】发生故障!--" + DateTimeToStr(when);
}
