#include "platform/ErrorText.h"

#include "support/TranslatedLocale.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

TEST(ErrnoText, TheCLocalesTextsAndUnknownNumbers) {
    struct Row {
        int error;
        const char* text;
    };
    const Row rows[] = {
        {0, "Success"},
        {ENOENT, "No such file or directory"},
        {EACCES, "Permission denied"},
        {EADDRINUSE, "Address already in use"},
        {99999, "Unknown error 99999"},
        {-1, "Unknown error -1"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ErrnoText(row.error), row.text) << row.error;
}

TEST(ErrnoText, StaysEnglishUnderATranslatedLocale) {
    TranslatedLocale locale;
    if (!locale.problem().empty())
        GTEST_SKIP() << locale.problem();
    // strerror does answer in the locale's language here; the helper does not.
    ASSERT_STRNE(std::strerror(EACCES), "Permission denied");
    EXPECT_EQ(ErrnoText(EACCES), "Permission denied");
    EXPECT_EQ(ErrnoText(ENOTDIR), "Not a directory");
    EXPECT_EQ(ErrnoText(99999), "Unknown error 99999");
}

} // namespace
