// The shared helpers that other tests lean on for their own correctness: the ports handed to
// servers, the listeners that refuse until told, and forked children that must not hang a test.
#include "support/Child.h"
#include "support/Loopback.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <thread>
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

TEST(InChild, ReportsWhatTheChildSaysAndEndsOneThatHangs) {
    EXPECT_EQ(InChild([] { return std::string(); }), "");
    EXPECT_EQ(InChild([] { return std::string("wrong size"); }), "wrong size");
    EXPECT_EQ(InChild([]() -> std::string { throw std::runtime_error("no file"); }),
              "unexpected exception: no file");
    const std::string hung = InChild(
        [] {
            std::this_thread::sleep_for(60s);
            return std::string();
        },
        false, 1s);
    EXPECT_EQ(hung, " (child did not finish within 1 s and was killed)");
}

TEST(InChild, AsNobodyTheChildIsNotRoot) {
    EXPECT_EQ(
        InChild([] { return ::geteuid() == 0 ? std::string("still root") : std::string(); }, true),
        "");
}

} // namespace
