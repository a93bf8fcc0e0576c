#pragma once

#include "platform/DateTime.h"

#include <string>

// The alert SMS for server `name` at `when` (GBK): "Vormix服务器智能检测程序:【", the name,
// "】发生故障!--", the date in the user's short format and, unless the time of day is exactly
// 00:00:00, a blank and the time in the long format. No length limit.
std::string AlertSmsText(const std::string& name, TDateTime when);
