#pragma once

#include <cstdint>
#include <span>
#include <string>

// The skin description as a file, for reading through the profile-file functions, which take a
// path. It is created with a unique private name in `folder` (so no entry name can place it
// elsewhere and no other user can put a link in its way), and that name is removed again as
// soon as the file is also open for reading: Path() then names that descriptor
// (/proc/self/fd/N), so the file lives only as long as the object, and nothing is left in the
// folder even when a signal ends the process while the description is read. Where /proc cannot
// give the file, Path() is its name, which is removed when the object goes.
//
// Throws Exception "Cannot create file <folder>/skin-XXXXXX: <reason>" when no file can be made
// in `folder` (missing, not a folder, not writable), and "Cannot write file <name>: <reason>"
// when not every byte reached it (a full disk); nothing is left behind then.
class TempDescriptionFile {
public:
    TempDescriptionFile(const std::string& folder, std::span<const std::uint8_t> bytes);
    ~TempDescriptionFile();
    TempDescriptionFile(const TempDescriptionFile&) = delete;
    TempDescriptionFile& operator=(const TempDescriptionFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    // The name in the folder while it is there.
    std::string name_;
    std::string path_;
    int readFd_ = -1;
};
