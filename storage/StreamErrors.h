#pragma once

#include "platform/Exception.h"

#include <string>

// The file errors of the INI document. Each carries its message text; the placeholder of the
// open and create messages is filled with the path exactly as the caller gave it.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// The file exists but cannot be opened for reading: "Cannot open file <path>".
class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const std::string& path) : EStreamError("Cannot open file " + path) {}
};

// The file cannot be created or replaced: "Cannot create file <path>".
class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(const std::string& path) : EStreamError("Cannot create file " + path) {}
};

class EFilerError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// Fewer bytes reached the file than were to be written: "Stream write error".
class EWriteError : public EFilerError {
public:
    EWriteError() : EFilerError("Stream write error") {}
};
