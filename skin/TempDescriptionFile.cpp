#include "skin/TempDescriptionFile.h"

#include "platform/ErrorText.h"
#include "platform/Exception.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

TempDescriptionFile::TempDescriptionFile(const std::string& folder,
                                         std::span<const std::uint8_t> bytes) {
    const std::string pattern = folder + "/skin-XXXXXX";
    std::vector<char> made(pattern.begin(), pattern.end());
    made.push_back('\0');
    const int fd = ::mkstemp(made.data());
    if (fd < 0)
        throw Exception("Cannot create file " + pattern + ": " + ErrnoText(errno));
    name_ = made.data();
    const std::string madeName = name_;
    // The second descriptor keeps the file after its name is gone; its /proc name opens it anew
    // for every read the profile functions make.
    readFd_ = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
    if (readFd_ >= 0) {
        ::unlink(name_.c_str());
        name_.clear();
        path_ = "/proc/self/fd/" + std::to_string(readFd_);
    } else {
        path_ = name_;
    }
    auto fail = [&](int error) {
        if (readFd_ >= 0)
            ::close(readFd_);
        if (!name_.empty())
            ::unlink(name_.c_str());
        throw Exception("Cannot write file " + madeName + ": " + ErrnoText(error));
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            fail(error);
        }
        done += static_cast<std::size_t>(n);
    }
    // A full folder may only say so when the data reaches it.
    if (::close(fd) != 0)
        fail(errno);
}

TempDescriptionFile::~TempDescriptionFile() {
    if (!name_.empty())
        ::unlink(name_.c_str());
    if (readFd_ >= 0)
        ::close(readFd_);
}
