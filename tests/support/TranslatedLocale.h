#pragma once

#include "support/TempDir.h"

#include <memory>
#include <string>

// Puts in force (LC_ALL), while it lives, a locale in which the C library's messages are not
// English, and the "C" locale back after. It takes one the machine has, or else compiles
// zh_CN.UTF-8 into a private folder with localedef (a few seconds). `problem()` is empty when a
// translated locale is in force, otherwise it says why there is none (for GTEST_SKIP).
class TranslatedLocale {
public:
    TranslatedLocale();
    ~TranslatedLocale();
    TranslatedLocale(const TranslatedLocale&) = delete;
    TranslatedLocale& operator=(const TranslatedLocale&) = delete;

    const std::string& problem() const { return problem_; }

private:
    std::string problem_;
    std::unique_ptr<TempDir> compiled_;
    bool hadLocpath_ = false;
    std::string oldLocpath_;
};
