#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = fs::temp_directory_path().string() + "/sm-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        if (it->is_directory(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string TempDir::write(std::string_view name, std::string_view bytes) const {
    const std::string path = file(name);
    WriteBytes(path, bytes);
    return path;
}

std::string TempDir::listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& name : names)
        out += (out.empty() ? "" : " ") + name;
    return out;
}

WorkingDirectory::WorkingDirectory(const std::string& path)
    : previous_(fs::current_path().string()) {
    fs::current_path(path);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<cannot read " + path + ">";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
