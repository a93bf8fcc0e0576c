#include "platform/DateTime.h"

#include "platform/GbkText.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <langinfo.h>
#include <locale.h>

namespace {

constexpr long long kDaysFrom1970To1899_12_30 = -25569;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

std::string LocaleName(const char* category) {
    for (const char* name : {"LC_ALL", category, "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "C";
}

bool IsPlainLocale(const std::string& name) {
    return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

struct LocaleFormats {
    RegionalFormats formats;
    bool utf8 = false; // the locale's texts are UTF-8 and need converting to GBK
};

LocaleFormats ReadLocaleFormats() {
    LocaleFormats result;
    result.formats = {"%Y-%m-%d", "%H:%M:%S", '.'};
    std::string timeName = LocaleName("LC_TIME");
    if (!IsPlainLocale(timeName)) {
        if (locale_t loc = newlocale(LC_TIME_MASK, timeName.c_str(), nullptr)) {
            const char* dateFormat = nl_langinfo_l(D_FMT, loc);
            const char* timeFormat = nl_langinfo_l(T_FMT, loc);
            if (dateFormat && *dateFormat)
                result.formats.shortDate = dateFormat;
            if (timeFormat && *timeFormat)
                result.formats.longTime = timeFormat;
            std::string codeset = nl_langinfo_l(CODESET, loc);
            result.utf8 = codeset == "UTF-8";
            freelocale(loc);
        }
    }
    std::string numericName = LocaleName("LC_NUMERIC");
    if (!IsPlainLocale(numericName)) {
        if (locale_t loc = newlocale(LC_NUMERIC_MASK, numericName.c_str(), nullptr)) {
            const char* point = nl_langinfo_l(RADIXCHAR, loc);
            if (point && std::strlen(point) == 1)
                result.formats.decimalSeparator = point[0];
            freelocale(loc);
        }
    }
    return result;
}

const LocaleFormats& FromLocale() {
    static const LocaleFormats formats = ReadLocaleFormats();
    return formats;
}

std::atomic<const RegionalFormats*> overrideFormats{nullptr};

// The override formats are given in GBK by the tests; locale patterns may be UTF-8.
bool PatternsAreUtf8() {
    return overrideFormats.load() == nullptr && FromLocale().utf8;
}

std::string Format(const std::string& pattern, TDateTime value) {
    DateParts p = DecodeDateTime(value);
    std::tm tm{};
    tm.tm_year = p.year - 1900;
    tm.tm_mon = p.month - 1;
    tm.tm_mday = p.day;
    tm.tm_hour = p.hour;
    tm.tm_min = p.minute;
    tm.tm_sec = p.second;
    long long days = DaysFromCivil(p.year, p.month, p.day);
    tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    tm.tm_yday = static_cast<int>(days - DaysFromCivil(p.year, 1, 1));
    char buffer[256];
    size_t n = std::strftime(buffer, sizeof buffer, pattern.c_str(), &tm);
    std::string text(buffer, n);
    return PatternsAreUtf8() ? Utf8ToGbk(text) : text;
}

std::optional<std::tm> Parse(const std::string& pattern, std::string_view gbkText) {
    std::string text = PatternsAreUtf8() ? GbkToUtf8(gbkText) : std::string(gbkText);
    std::tm tm{};
    tm.tm_year = -1899 - 1; // marks "no year parsed"
    tm.tm_mon = 11;
    tm.tm_mday = 30;
    const char* end = strptime(text.c_str(), pattern.c_str(), &tm);
    if (!end)
        return std::nullopt;
    while (*end == ' ')
        ++end;
    if (*end != '\0')
        return std::nullopt;
    return tm;
}

bool ValidDate(int y, int m, int d) {
    if (m < 1 || m > 12 || d < 1 || y < 1 || y > 9999)
        return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

} // namespace

TDateTime EncodeDateTime(const DateParts& p) {
    double days =
        static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kDaysFrom1970To1899_12_30);
    double time =
        (p.hour * 3600000.0 + p.minute * 60000.0 + p.second * 1000.0 + p.millisecond) / 86400000.0;
    return days >= 0 ? days + time : days - time;
}

DateParts DecodeDateTime(TDateTime value) {
    DateParts p;
    double whole = std::trunc(value);
    // Round to the millisecond so that a time built from parts decodes to the same parts.
    long long ms = std::llround(std::fabs(value - whole) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += value >= 0 ? 1 : -1;
    }
    CivilFromDays(static_cast<long long>(whole) + kDaysFrom1970To1899_12_30, p.year, p.month,
                  p.day);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    return p;
}

TDateTime FromTimePoint(std::chrono::system_clock::time_point point) {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(point.time_since_epoch()).count();
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    DateParts p{local.tm_year + 1900,
                local.tm_mon + 1,
                local.tm_mday,
                local.tm_hour,
                local.tm_min,
                local.tm_sec,
                static_cast<int>(ms % 1000)};
    return EncodeDateTime(p);
}

const RegionalFormats& UserFormats() {
    if (const RegionalFormats* formats = overrideFormats.load())
        return *formats;
    return FromLocale().formats;
}

const RegionalFormats* SetUserFormats(const RegionalFormats* formats) {
    return overrideFormats.exchange(formats);
}

std::string DateToStr(TDateTime value) {
    return Format(UserFormats().shortDate, value);
}

std::string TimeToStr(TDateTime value) {
    return Format(UserFormats().longTime, value);
}

std::string DateTimeToStr(TDateTime value) {
    DateParts p = DecodeDateTime(value);
    std::string text = DateToStr(value);
    if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.millisecond != 0)
        text.append(" ").append(TimeToStr(value));
    return text;
}

std::string FloatToStr(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    std::string text = buffer;
    for (char& c : text)
        if (c == '.')
            c = UserFormats().decimalSeparator;
    return text;
}

std::optional<TDateTime> StrToDate(std::string_view text) {
    auto tm = Parse(UserFormats().shortDate, text);
    if (!tm || !ValidDate(tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday))
        return std::nullopt;
    return EncodeDateTime({tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday});
}

std::optional<TDateTime> StrToTime(std::string_view text) {
    auto tm = Parse(UserFormats().longTime, text);
    if (!tm)
        return std::nullopt;
    return (tm->tm_hour * 3600.0 + tm->tm_min * 60.0 + tm->tm_sec) / 86400.0;
}

std::optional<TDateTime> StrToDateTime(std::string_view text) {
    if (auto date = StrToDate(text))
        return date;
    std::string pattern = UserFormats().shortDate;
    pattern.append(" ").append(UserFormats().longTime);
    auto tm = Parse(pattern, text);
    if (!tm || !ValidDate(tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday))
        return std::nullopt;
    return EncodeDateTime(
        {tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec});
}

std::optional<double> StrToFloat(std::string_view text) {
    std::string s(text);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    size_t start = s.find_first_not_of(' ');
    if (start == std::string::npos)
        return std::nullopt;
    s.erase(0, start);
    char separator = UserFormats().decimalSeparator;
    for (char& c : s) {
        if (c == separator)
            c = '.';
        else if (c == '.' && separator != '.')
            return std::nullopt;
    }
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    char* end = nullptr;
    double value = strtod_l(s.c_str(), &end, cLocale);
    if (end != s.c_str() + s.size() || std::isnan(value) || std::isinf(value))
        return std::nullopt;
    return value;
}
