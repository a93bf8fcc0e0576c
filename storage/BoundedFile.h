#pragma once

#include <cstddef>
#include <string>

// What reading a small file of settings gave.
struct BoundedFileRead {
    enum class Outcome {
        // `text` holds the whole file.
        Read,
        // Nothing at the path (ENOENT). A path through something that is not a folder is
        // CannotOpen with ENOTDIR.
        Missing,
        // Something other than a regular file: a folder, a FIFO, a device, a socket.
        NotRegular,
        // More than the allowed bytes: by its size, or by what reading it gave (a file that grew
        // after it was opened, a file of /proc that says it is empty).
        TooLarge,
        // The path could not be opened (permissions, a loop of links...); `error` is the errno.
        CannotOpen,
        // What was opened could not be examined or read; `error` is the errno.
        CannotRead,
    };
    Outcome outcome = Outcome::Missing;
    std::string text;
    int error = 0;
};

// Reads the regular file at `path` when it holds at most `maxBytes` bytes (a buffer of
// maxBytes + 1 is taken, so this is for small files). The path is opened without waiting
// (O_NONBLOCK) and without taking a terminal, and what it is is asked of the opened descriptor,
// not of the name: a FIFO, a device such as /dev/zero or a link to one is NotRegular, and
// nothing at the path can hold the caller up. Reads interrupted by a signal are taken up again.
BoundedFileRead ReadBoundedFile(const std::string& path, std::size_t maxBytes);
