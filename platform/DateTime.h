#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// The day-based date-time: whole days since 1899-12-30 00:00 local time, the fraction being the
// time of day.
using TDateTime = double;

struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

TDateTime EncodeDateTime(const DateParts& parts);
DateParts DecodeDateTime(TDateTime value);

// Local time of a point on the system clock, and back.
TDateTime FromTimePoint(std::chrono::system_clock::time_point point);

// The user's regional formats, taken from the process locale's LC_TIME and LC_NUMERIC settings
// (strftime patterns). The "C"/"POSIX" locale gets ISO patterns, "%Y-%m-%d" and "%H:%M:%S".
struct RegionalFormats {
    std::string shortDate; // strftime pattern
    std::string longTime;  // strftime pattern
    char decimalSeparator = '.';
};
const RegionalFormats& UserFormats();
// Replaces the formats (tests) and returns the previous replacement; nullptr goes back to the
// locale's.
const RegionalFormats* SetUserFormats(const RegionalFormats* formats);

// Texts in the user's formats, GBK bytes.
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
// The date, then a blank and the time; the blank and the time are left out when the time of day
// is exactly 00:00:00.
std::string DateTimeToStr(TDateTime value);
// Up to 15 significant digits, general format, the user's decimal separator.
std::string FloatToStr(double value);

// Parsing in the user's formats; nullopt when the text does not match.
std::optional<TDateTime> StrToDate(std::string_view text);
std::optional<TDateTime> StrToTime(std::string_view text);
std::optional<TDateTime> StrToDateTime(std::string_view text);
std::optional<double> StrToFloat(std::string_view text);
