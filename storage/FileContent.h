#pragma once

#include <optional>
#include <string>
#include <string_view>

// Whole-file reading and replacing for the INI documents. Paths are used exactly as given.

// The whole content of the regular file at `path`, read with one read into one buffer. Gives
// nullopt, reporting nothing, when `path` is empty or names no regular file (nothing there, a
// directory, a missing directory on the way, a device or pipe). Raises EFOpenError with `path`
// when the file exists but cannot be opened or read, or when fewer bytes than its size arrive.
std::optional<std::string> ReadFileContent(const std::string& path);

// Replaces the content of the file at `path` by `text`, so that the file holds either its old
// bytes or all of the new ones, never a mixture or a truncated text:
//   the new text goes into a fresh file in the same directory, which is flushed to the disk and
//   then renamed over the old one. A symbolic link at `path` is followed and its target
//   replaced (the link stays). The new file takes the old one's permission bits (and its owner
//   when the process may set it); a new file gets 0666 less the umask.
// Raises EFCreateError with `path` when the file cannot be created or replaced (a read-only
// file, a directory at the path, a missing or read-only directory), and EWriteError when not
// every byte could be written and flushed (disk full, file size limit). The old file is then
// byte for byte as it was and no temporary file is left behind.
void ReplaceFileContent(const std::string& path, std::string_view text);
