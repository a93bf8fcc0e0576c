#pragma once

// The Qt boundary of the program's text: GBK bytes inside, QString only where Qt shows or takes
// text. Header-only; the target platform_qt carries the Qt dependency.

#include "platform/GbkText.h"

#include <QString>
#include <string>
#include <string_view>

inline QString GbkToQString(std::string_view gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}

inline std::string QStringToGbk(const QString& text) {
    return Utf8ToGbk(text.toStdString());
}
