#pragma once

#include <exception>
#include <string>

// The common base of the program's own exceptions. It carries one message text (GBK bytes),
// which the default error report shows as it stands.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};
