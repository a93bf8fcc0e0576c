#pragma once

#include <functional>
#include <string>
#include <string_view>

// A fresh private directory under the system's temporary directory, removed with everything in
// it when the object goes.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    // Names of the directory's entries, sorted, "." and ".." left out.
    std::string listing() const;

private:
    std::string path_;
};

void WriteBytes(const std::string& path, std::string_view bytes);
std::string ReadBytes(const std::string& path);

// Runs `body` in a forked child and returns what it reported: the empty string when all went
// well, otherwise a description of the fault (also when the child died). With `asNobody` a root
// child gives up root first (uid and gid 65534), so permission checks apply to it; a child that
// is not root has them already.
std::string InChild(const std::function<std::string()>& body, bool asNobody = false);
