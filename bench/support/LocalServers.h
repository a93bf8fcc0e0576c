#pragma once

#include <sys/types.h>

#include <vector>

// Servers on 127.0.0.1 for the benchmarks. The accepting ones are served by a child process, so
// that their work does not count against the process being measured; the child dies with it.
struct LocalServers {
    // Ports that accept and hold each connection until the client closes it.
    std::vector<int> accepting;
    // Ports on which nothing listens.
    std::vector<int> refused;
    // The serving child; StopLocalServers ends it.
    pid_t server = -1;
};

// Binds `accepting` listening and `refused` closed ports and forks the server. Exits the program
// with a message when a port cannot be had.
LocalServers StartLocalServers(int accepting, int refused);
void StopLocalServers(LocalServers& servers);
