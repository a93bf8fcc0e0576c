// The shared helpers that other tests lean on for their own correctness: the ports handed to
// servers and the listeners that refuse until told.
#include "support/Loopback.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Connects a blocking socket to `host`:`port`: 0 when it connected, otherwise the errno.
int ConnectTo(const char* host, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host, &address.sin_addr);
    const int result =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

TEST(FreeLoopbackPort, LiesBelowTheEphemeralRangeAndCanBeListenedOn) {
    int low = 0;
    std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low;
    ASSERT_GT(low, 0);
    std::set<std::uint16_t> seen;
    for (int i = 0; i < 20; ++i) {
        const std::uint16_t port = FreeLoopbackPort();
        EXPECT_LT(port, low);
        EXPECT_GE(port, 1024);
        EXPECT_TRUE(seen.insert(port).second) << port << " handed out twice";
        LoopbackListener server(16, port);
        EXPECT_EQ(server.Port(), port);
        EXPECT_EQ(ConnectTo("127.0.0.1", port), 0) << port;
    }
}

TEST(LoopbackListener, BoundOnlyRefusesUntilItListens) {
    for (const char* host : {"127.0.0.1", "127.0.0.2"}) {
        LoopbackListener listener(LoopbackListener::BoundOnly{}, 0, host);
        ASSERT_NE(listener.Port(), 0);
        EXPECT_EQ(ConnectTo(host, listener.Port()), ECONNREFUSED) << host;
        // Bound all along: nobody else can have the port meanwhile.
        EXPECT_THROW(LoopbackListener(LoopbackListener::BoundOnly{}, listener.Port(), host),
                     std::runtime_error)
            << host;
        listener.Listen(4);
        EXPECT_EQ(ConnectTo(host, listener.Port()), 0) << host;
        const int accepted = listener.Accept();
        EXPECT_GE(accepted, 0) << host;
        CloseInOrder(accepted);
    }
    // Only addresses of the loopback network.
    EXPECT_THROW(LoopbackListener(LoopbackListener::BoundOnly{}, 0, "10.0.0.1"),
                 std::runtime_error);
    EXPECT_THROW(LoopbackListener(LoopbackListener::BoundOnly{}, 0, "localhost"),
                 std::runtime_error);
}

} // namespace
