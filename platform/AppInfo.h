#pragma once

// The program's display name: the application title, the main window's caption and the caption
// of every message box (GBK bytes).
inline constexpr const char* kDisplayName = "Vormix服务器智能检测程序";
