#include "storage/BoundedFile.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

BoundedFileRead Failed(BoundedFileRead::Outcome outcome, int error = 0) {
    BoundedFileRead result;
    result.outcome = outcome;
    result.error = error;
    return result;
}

} // namespace

BoundedFileRead ReadBoundedFile(const std::string& path, std::size_t maxBytes) {
    using Outcome = BoundedFileRead::Outcome;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? Failed(Outcome::Missing) : Failed(Outcome::CannotOpen, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Failed(Outcome::CannotRead, errno);
    if (!S_ISREG(st.st_mode))
        return Failed(Outcome::NotRegular);
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes)
        return Failed(Outcome::TooLarge);

    // One byte more than allowed is asked for: getting it tells a file that is larger than its
    // size said.
    BoundedFileRead result;
    result.outcome = Outcome::Read;
    result.text.resize(maxBytes + 1);
    std::size_t got = 0;
    while (got < result.text.size()) {
        const ssize_t n = ::read(fd, result.text.data() + got, result.text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failed(Outcome::CannotRead, errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > maxBytes)
        return Failed(Outcome::TooLarge);
    result.text.resize(got);
    return result;
}
