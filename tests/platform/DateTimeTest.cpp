#include "platform/DateTime.h"
#include "support/ScopedSeam.h"

#include <gtest/gtest.h>

namespace {

class FixedFormats : public testing::Test {
protected:
    RegionalFormats formats_{"%Y-%m-%d", "%H:%M:%S", '.'};
    ScopedSeam formatsSeam_{SetUserFormats, &formats_};
};

TEST(DateTime, DayCountStartsOn1899_12_30) {
    EXPECT_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
    EXPECT_EQ(EncodeDateTime({1900, 1, 1}), 2.0);
    EXPECT_EQ(EncodeDateTime({2026, 12, 6}), 46362.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2026, 12, 6, 18, 0, 0}), 46362.75);
}

TEST(DateTime, DecodeGivesBackTheParts) {
    DateParts p = DecodeDateTime(EncodeDateTime({2026, 12, 6, 20, 15, 0, 250}));
    EXPECT_EQ(p.year, 2026);
    EXPECT_EQ(p.month, 12);
    EXPECT_EQ(p.day, 6);
    EXPECT_EQ(p.hour, 20);
    EXPECT_EQ(p.minute, 15);
    EXPECT_EQ(p.second, 0);
    EXPECT_EQ(p.millisecond, 250);
}

TEST(DateTime, TenMinutesInDays) {
    TDateTime a = EncodeDateTime({2026, 1, 1, 12, 0, 0});
    TDateTime b = EncodeDateTime({2026, 1, 1, 12, 10, 0});
    EXPECT_NEAR(b - a, 10 / 60.0 / 24.0, 1e-9);
}

TEST_F(FixedFormats, DateTimeTextLeavesOutMidnight) {
    EXPECT_EQ(DateTimeToStr(EncodeDateTime({2026, 12, 6, 20, 15, 0})), "2026-12-06 20:15:00");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime({2026, 12, 6})), "2026-12-06");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime({2026, 12, 6, 0, 0, 1})), "2026-12-06 00:00:01");
}

TEST_F(FixedFormats, ParsesItsOwnTexts) {
    TDateTime when = EncodeDateTime({2026, 2, 28, 7, 5, 9});
    EXPECT_EQ(StrToDateTime(DateTimeToStr(when)), when);
    EXPECT_EQ(StrToDate("2026-02-28"), EncodeDateTime({2026, 2, 28}));
    EXPECT_EQ(StrToDate("2026-02-30"), std::nullopt);
    EXPECT_EQ(StrToDate("yesterday"), std::nullopt);
    EXPECT_NEAR(*StrToTime("12:00:00"), 0.5, 1e-12);
}

TEST_F(FixedFormats, FloatsUseTheDecimalSeparator) {
    EXPECT_EQ(FloatToStr(2.5), "2.5");
    EXPECT_EQ(StrToFloat("2.5"), 2.5);
    formats_.decimalSeparator = ',';
    EXPECT_EQ(FloatToStr(2.5), "2,5");
    EXPECT_EQ(StrToFloat("2,5"), 2.5);
    EXPECT_EQ(StrToFloat("2.5"), std::nullopt);
    EXPECT_EQ(StrToFloat("abc"), std::nullopt);
}

} // namespace
