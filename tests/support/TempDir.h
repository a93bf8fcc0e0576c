#pragma once

#include <string>
#include <string_view>

// A fresh private folder under the system's temporary folder, removed with everything in it when
// the object goes (folders a test made unreadable or unwritable included).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    // Writes `bytes` as they are to `name` and returns the full path.
    std::string write(std::string_view name, std::string_view bytes) const;
    // Names of the folder's entries, sorted and separated by blanks; "." and ".." left out.
    std::string listing() const;

private:
    std::string path_;
};

// Makes `path` the working directory while it lives; the previous one comes back after.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& path);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::string previous_;
};

// Whole-file helpers. WriteBytes throws std::runtime_error when the file cannot be written;
// ReadBytes gives "<cannot read PATH>" for a file that cannot be read.
void WriteBytes(const std::string& path, std::string_view bytes);
std::string ReadBytes(const std::string& path);
