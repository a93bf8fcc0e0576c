#include "LocalServers.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int BoundSocket(int backlog) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (backlog > 0 && listen(fd, backlog) != 0)) {
        perror("bind/listen");
        std::exit(1);
    }
    return fd;
}

int PortOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// The child: accepts on every listener and holds each connection until the client closes it.
[[noreturn]] void Serve(const std::vector<int>& listeners) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::vector<pollfd> fds;
    for (int fd : listeners)
        fds.push_back({fd, POLLIN, 0});
    const size_t listening = fds.size();
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0)
            continue;
        std::vector<pollfd> next(fds.begin(), fds.begin() + listening);
        for (size_t i = 0; i < fds.size(); ++i) {
            if (i < listening) {
                if (fds[i].revents & POLLIN) {
                    const int peer = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (peer >= 0)
                        next.push_back({peer, POLLIN, 0});
                }
                continue;
            }
            char buffer[256];
            if (fds[i].revents && recv(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0)
                close(fds[i].fd);
            else
                next.push_back({fds[i].fd, POLLIN, 0});
        }
        fds = std::move(next);
    }
}

} // namespace

LocalServers StartLocalServers(int accepting, int refused) {
    LocalServers servers;
    std::vector<int> listeners;
    for (int i = 0; i < accepting; ++i) {
        listeners.push_back(BoundSocket(128));
        servers.accepting.push_back(PortOf(listeners.back()));
    }
    for (int i = 0; i < refused; ++i) {
        const int fd = BoundSocket(0);
        servers.refused.push_back(PortOf(fd));
        close(fd);
    }
    servers.server = fork();
    if (servers.server == 0)
        Serve(listeners);
    for (int fd : listeners)
        close(fd);
    return servers;
}

void StopLocalServers(LocalServers& servers) {
    if (servers.server > 0) {
        kill(servers.server, SIGKILL);
        waitpid(servers.server, nullptr, 0);
        servers.server = -1;
    }
}
