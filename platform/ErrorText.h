#pragma once

#include <string.h>

#include <string>

// The English text of the system error number `error`, the one the "C" locale gives ("No such
// file or directory"), whatever locale the process has set: the program runs under the user's
// locale (QApplication sets it), where strerror answers in the user's language and encoding,
// while our messages are ASCII or GBK. A number the C library has no text for gives
// "Unknown error N", as strerror does in the "C" locale.
//
// In the header, so that libmondem.so, which links none of the program's libraries, has it too
// (compiled there with hidden visibility, it adds no export).
inline std::string ErrnoText(int error) {
    if (const char* text = ::strerrordesc_np(error))
        return text;
    return "Unknown error " + std::to_string(error);
}
