#include "support/Child.h"

#include <grp.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

std::string InChild(const std::function<std::string()>& body, bool asNobody) {
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    pid_t pid = ::fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        ::close(fds[0]);
        std::string report;
        if (asNobody && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            report = "cannot become nobody";
        } else {
            try {
                report = body();
            } catch (const std::exception& e) {
                report = std::string("unexpected exception: ") + e.what();
            }
        }
        ssize_t ignored = ::write(fds[1], report.data(), report.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        report.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report += " (child ended abnormally, status " + std::to_string(status) + ")";
    return report;
}
