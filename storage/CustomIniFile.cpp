#include "storage/CustomIniFile.h"

#include "storage/IntegerText.h"

#include <algorithm>
#include <optional>

std::int32_t TCustomIniFile::GetInt(const std::string& section, const std::string& key,
                                    std::int32_t fallback) const {
    std::string text = GetStr(section, key, std::string());
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    return ParseIntegerText(text).value_or(fallback);
}

void TCustomIniFile::PutInt(const std::string& section, const std::string& key,
                            std::int32_t value) {
    PutStr(section, key, std::to_string(value));
}

bool TCustomIniFile::GetBool(const std::string& section, const std::string& key,
                             bool fallback) const {
    return GetInt(section, key, fallback ? 1 : 0) != 0;
}

void TCustomIniFile::PutBool(const std::string& section, const std::string& key, bool value) {
    PutStr(section, key, value ? "1" : "0");
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

template <typename Parse>
TDateTime Converted(const std::string& text, TDateTime fallback, Parse parse) {
    if (text.empty())
        return fallback;
    return parse(text).value_or(fallback);
}

} // namespace

std::size_t TCustomIniFile::GetBinary(const std::string& section, const std::string& key,
                                      TByteStream& target) const {
    const std::string text = GetStr(section, key, std::string());
    if (text.empty())
        return 0;
    const std::size_t start = std::min(target.Position, target.Bytes.size());
    std::size_t at = start;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        int high = HexValue(text[i]);
        int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0)
            break;
        auto byte = static_cast<unsigned char>(high * 16 + low);
        if (at < target.Bytes.size())
            target.Bytes[at] = byte;
        else
            target.Bytes.push_back(byte);
        ++at;
    }
    target.Position = start;
    return target.Bytes.size() - start;
}

void TCustomIniFile::PutBinary(const std::string& section, const std::string& key,
                               TByteStream& source) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    const std::size_t start = std::min(source.Position, source.Bytes.size());
    text.reserve((source.Bytes.size() - start) * 2);
    for (std::size_t i = start; i < source.Bytes.size(); ++i) {
        text += digits[source.Bytes[i] >> 4];
        text += digits[source.Bytes[i] & 0x0F];
    }
    source.Position = source.Bytes.size();
    PutStr(section, key, text);
}

TDateTime TCustomIniFile::GetDateVal(const std::string& section, const std::string& key,
                                     TDateTime fallback) const {
    return Converted(GetStr(section, key, std::string()), fallback, StrToDate);
}

TDateTime TCustomIniFile::GetDateTimeVal(const std::string& section, const std::string& key,
                                         TDateTime fallback) const {
    return Converted(GetStr(section, key, std::string()), fallback, StrToDateTime);
}

double TCustomIniFile::GetFloat(const std::string& section, const std::string& key,
                                double fallback) const {
    return Converted(GetStr(section, key, std::string()), fallback, StrToFloat);
}

TDateTime TCustomIniFile::GetTimeVal(const std::string& section, const std::string& key,
                                     TDateTime fallback) const {
    return Converted(GetStr(section, key, std::string()), fallback, StrToTime);
}

void TCustomIniFile::PutDateVal(const std::string& section, const std::string& key,
                                TDateTime value) {
    PutStr(section, key, DateToStr(value));
}

void TCustomIniFile::PutDateTimeVal(const std::string& section, const std::string& key,
                                    TDateTime value) {
    PutStr(section, key, DateTimeToStr(value));
}

void TCustomIniFile::PutFloat(const std::string& section, const std::string& key, double value) {
    PutStr(section, key, FloatToStr(value));
}

void TCustomIniFile::PutTimeVal(const std::string& section, const std::string& key,
                                TDateTime value) {
    PutStr(section, key, TimeToStr(value));
}
