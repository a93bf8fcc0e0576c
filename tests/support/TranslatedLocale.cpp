#include "support/TranslatedLocale.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

namespace {

// What strerror says in the "C" locale; a locale that says the same has no catalogue for it.
constexpr const char* kEnglish = "No such file or directory";

bool Translates(const char* name) {
    return std::setlocale(LC_ALL, name) != nullptr &&
           std::strcmp(std::strerror(ENOENT), kEnglish) != 0;
}

} // namespace

TranslatedLocale::TranslatedLocale() {
    if (const char* old = std::getenv("LOCPATH")) {
        hadLocpath_ = true;
        oldLocpath_ = old;
    }
    for (const char* name : {"zh_CN.UTF-8", "zh_CN.utf8", "de_DE.UTF-8", "fr_FR.UTF-8"})
        if (Translates(name))
            return;
    // None installed: the locale sources and libc's catalogue usually are.
    compiled_ = std::make_unique<TempDir>();
    const std::string command =
        "localedef -i zh_CN -f UTF-8 '" + compiled_->path() + "/zh_CN.UTF-8' >/dev/null 2>&1";
    // localedef's status 1 means warnings; whether the locale works is asked of setlocale.
    [[maybe_unused]] const int status = std::system(command.c_str());
    ::setenv("LOCPATH", compiled_->path().c_str(), 1);
    if (Translates("zh_CN.UTF-8"))
        return;
    std::setlocale(LC_ALL, "C");
    problem_ = "no locale with translated C library messages is installed, and none could be "
               "compiled with localedef";
}

TranslatedLocale::~TranslatedLocale() {
    std::setlocale(LC_ALL, "C");
    if (hadLocpath_)
        ::setenv("LOCPATH", oldLocpath_.c_str(), 1);
    else
        ::unsetenv("LOCPATH");
}
