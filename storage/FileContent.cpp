#include "storage/FileContent.h"

#include "storage/StreamErrors.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and reports whether the close succeeded (a delayed write error shows here).
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Follows symbolic links at `path` to the file they finally name (which need not exist).
// Gives nullopt for a loop or an unreadable link.
std::optional<std::string> ResolveLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        char target[PATH_MAX];
        ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n < 0)
            return std::nullopt;
        std::string next(target, static_cast<size_t>(n));
        if (next.empty())
            return std::nullopt;
        if (next[0] != '/')
            next = DirectoryOf(path) + "/" + next;
        path = std::move(next);
    }
    return std::nullopt;
}

// A fresh file beside `target`, created exclusively with mode 0666 (the umask applies).
int CreateSibling(const std::string& target, std::string& name) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::string dir = DirectoryOf(target);
    const std::string base =
        target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = dir + "/." + base + ".new-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++) + "-" + std::to_string(random() & 0xFFFFFF);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteAll(int fd, std::string_view text) {
    // A write beyond the file size limit must come back as a short write, not end the process.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, &previous);
    const char* p = text.data();
    size_t left = text.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    ::sigaction(SIGXFSZ, &previous, nullptr);
    return ok;
}

} // namespace

std::optional<std::string> ReadFileContent(const std::string& path) {
    if (path.empty())
        return std::nullopt;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        throw EFOpenError(path);
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw EFOpenError(path);
    std::string buffer(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < buffer.size()) {
        ssize_t n = ::read(fd.get(), buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    // A file that shrank while we read would leave bytes we never read; do not parse them.
    if (got != buffer.size())
        throw EFOpenError(path);
    return buffer;
}

void ReplaceFileContent(const std::string& path, std::string_view text) {
    if (path.empty())
        throw EFCreateError(path);
    std::optional<std::string> target = ResolveLinks(path);
    if (!target)
        throw EFCreateError(path);

    struct stat old {};
    const bool exists = ::stat(target->c_str(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode))
            throw EFCreateError(path);
        // A read-only file stays read-only, also for a process that could replace it anyway.
        if ((old.st_mode & 0222) == 0 || ::access(target->c_str(), W_OK) != 0)
            throw EFCreateError(path);
    }

    std::string tempName;
    Fd fd(CreateSibling(*target, tempName));
    if (fd.get() < 0)
        throw EFCreateError(path);
    auto discard = [&tempName] { ::unlink(tempName.c_str()); };

    if (exists) {
        // Owner first: changing the owner may clear set-id bits that the mode then restores.
        if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
            // Not permitted for other users' files; the file then belongs to us.
        }
        if (::fchmod(fd.get(), old.st_mode & 07777) != 0) {
            discard();
            throw EFCreateError(path);
        }
    }
    if (!WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0 || !fd.close()) {
        discard();
        throw EWriteError();
    }
    if (::rename(tempName.c_str(), target->c_str()) != 0) {
        discard();
        throw EFCreateError(path);
    }
    // Make the rename itself durable; a failure here leaves the new content in place.
    Fd dir(::open(DirectoryOf(*target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}
