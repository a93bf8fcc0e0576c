#include "platform/ErrorReport.h"
#include "platform/Exception.h"
#include "support/ScopedSeam.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorReport, GuardedBodyReportsAndStops) {
    std::string seen;
    ScopedSeam seam(SetErrorReportHandler, [&](const std::string& text) { seen = text; });
    bool ran = RunGuarded([] { throw Exception("Cannot open file ./servers.ini"); });
    EXPECT_FALSE(ran);
    EXPECT_EQ(seen, "Cannot open file ./servers.ini");
    EXPECT_TRUE(RunGuarded([] {}));
}

TEST(ErrorReport, WithoutAHandlerTheMessageGoesToStandardError) {
    testing::internal::CaptureStderr();
    ShowErrorReport("Cannot open file ./数据库.ini");
    // GBK inside, UTF-8 on the terminal.
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot open file ./\xE6\x95\xB0\xE6\x8D\xAE\xE5\xBA\x93.ini\n");
}

} // namespace
