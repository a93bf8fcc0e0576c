#include "support/Child.h"

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

std::string InChild(const std::function<std::string()>& body, bool asNobody,
                    std::chrono::seconds limit) {
    // Looked up before the fork: the child of a threaded process should only make plain calls.
    uid_t uid = 0;
    gid_t gid = 0;
    const bool dropRoot = asNobody && ::geteuid() == 0;
    if (dropRoot) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody)
            return "no user nobody";
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return "fork failed";
    }
    if (pid == 0) {
        ::close(fds[0]);
        std::string report;
        if (dropRoot &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
            report = "cannot become nobody";
        } else {
            try {
                report = body();
            } catch (const std::exception& e) {
                report = std::string("unexpected exception: ") + e.what();
            }
        }
        [[maybe_unused]] const ssize_t ignored = ::write(fds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    bool timedOut = false;
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
        pollfd readable{fds[0], POLLIN, 0};
        const int ready =
            left.count() > 0 ? ::poll(&readable, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = true; // or poll failed: either way the child cannot be waited for
            break;
        }
        char buffer[512];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        report.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut)
        return report + " (child did not finish within " + std::to_string(limit.count()) +
               " s and was killed)";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report += " (child ended abnormally, status " + std::to_string(status) + ")";
    return report;
}
