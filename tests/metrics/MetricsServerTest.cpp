#include "metrics/MetricsServer.h"

#include "ScrapeClient.h"
#include "support/Child.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/TranslatedLocale.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const ListenAddress kLoopback{"127.0.0.1", 0, false};

class MetricsServerTest : public testing::Test {
protected:
    // The limits are short so that time-outs come quickly; each test sets what it needs.
    void Start(MetricsServer::Limits limits) {
        server = std::make_unique<MetricsServer>(
            kLoopback,
            [this] {
                ++renders;
                return body;
            },
            "text/plain; version=0.0.4; charset=utf-8", limits);
    }
    static MetricsServer::Limits Short() {
        MetricsServer::Limits limits;
        limits.maxConnections = 3;
        limits.requestTimeout = 300ms;
        limits.responseTimeout = 1000ms;
        limits.lingerTimeout = 200ms;
        return limits;
    }
    // Long request time-out: a connection closed early is closed for what it sent.
    static MetricsServer::Limits Patient() {
        MetricsServer::Limits limits = Short();
        limits.requestTimeout = 60s;
        return limits;
    }
    int port() const { return server->Port(); }

    std::string body = "up 1\n";
    std::atomic<int> renders{0};
    std::unique_ptr<MetricsServer> server;
};

TEST_F(MetricsServerTest, AnswersEachRequestOnceAndClosesTheConnection) {
    Start(Short());
    struct Case {
        std::string request;
        std::string answer;
    };
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; "
                           "charset=utf-8\r\nContent-Length: 5\r\nConnection: close\r\n\r\n";
    const Case cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", ok + "up 1\n"},
        {"GET /metrics?x=1 HTTP/1.0\r\n\r\n", ok + "up 1\n"},
        {"HEAD /metrics HTTP/1.1\r\n\r\n", ok},
        {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain; "
                                   "charset=utf-8\r\nContent-Length: 10\r\nConnection: "
                                   "close\r\n\r\nNot Found\n"},
        {"DELETE /metrics HTTP/1.1\r\n\r\n",
         "HTTP/1.1 405 Method Not Allowed\r\nContent-Type: text/plain; charset=utf-8\r\n"
         "Content-Length: 19\r\nAllow: GET, HEAD\r\nConnection: close\r\n\r\nMethod Not "
         "Allowed\n"},
        // A pipelined second request gets nothing.
        {"GET /metrics HTTP/1.1\r\n\r\nGET /metrics HTTP/1.1\r\n\r\n", ok + "up 1\n"},
    };
    for (const Case& c : cases) {
        TestConnection connection(port());
        ASSERT_TRUE(connection.Send(c.request));
        const TestConnection::Received received = connection.ReadToEnd();
        EXPECT_TRUE(received.closed) << c.request;
        EXPECT_EQ(received.bytes, c.answer) << c.request;
    }
    EXPECT_EQ(renders.load(), 4);
}

TEST_F(MetricsServerTest, ARequestInPiecesOrWithTheSendingSideClosedIsAnswered) {
    Start(Patient());
    {
        TestConnection connection(port());
        for (char c : std::string("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n")) {
            ASSERT_TRUE(connection.Send(std::string(1, c)));
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(connection.ReadToEnd().bytes.substr(0, 15), "HTTP/1.1 200 OK");
    }
    {
        TestConnection connection(port());
        ASSERT_TRUE(connection.Send("GET /metrics HTTP/1.1\r\n\r\n"));
        connection.CloseSending();
        EXPECT_EQ(connection.ReadToEnd().bytes.substr(0, 15), "HTTP/1.1 200 OK");
    }
    {
        // Half a request and then the end of sending: nothing to answer.
        TestConnection connection(port());
        ASSERT_TRUE(connection.Send("GET /metr"));
        connection.CloseSending();
        const TestConnection::Received received = connection.ReadToEnd();
        EXPECT_TRUE(received.closed);
        EXPECT_EQ(received.bytes, "");
    }
}

TEST_F(MetricsServerTest, HostileRequestsGetAClosedConnectionAndNothingElse) {
    Start(Patient());
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) & 0xFF);
    const std::string oversized = "GET /metrics HTTP/1.1\r\nX-Fill: " + std::string(9000, 'x');
    const std::string longLine = "GET /" + std::string(9000, 'm');
    for (const std::string& request :
         {garbage, oversized, longLine, std::string("\x16\x03\x01\x00\xa5\x01\x00\x00", 8),
          std::string("GET metrics HTTP/1.1\r\n\r\n")}) {
        TestConnection connection(port());
        connection.Send(request);
        const TestConnection::Received received = connection.ReadToEnd();
        EXPECT_TRUE(received.closed) << request.substr(0, 40);
        EXPECT_EQ(received.bytes, "") << request.substr(0, 40);
    }
    EXPECT_EQ(renders.load(), 0);
    EXPECT_TRUE(WaitUntil([&] { return server->OpenConnections() == 0; }));
}

TEST_F(MetricsServerTest, ASlowClientIsClosedAfterTheRequestTimeOutEvenWhileItDrips) {
    Start(Short());
    TestConnection silent(port());
    ASSERT_TRUE(silent.Send("GET /met"));
    TestConnection dripping(port());
    std::atomic<bool> stop{false};
    std::thread drip([&] {
        // One byte every 20 ms keeps the connection busy but never completes the head.
        for (int i = 0; !stop && i < 500; ++i) {
            if (!dripping.Send(i == 0 ? "GET /metrics HTTP/1.1\r\n" : "X"))
                return;
            std::this_thread::sleep_for(20ms);
        }
    });
    const TestConnection::Received first = silent.ReadToEnd();
    const TestConnection::Received second = dripping.ReadToEnd();
    stop = true;
    drip.join();
    EXPECT_TRUE(first.closed);
    EXPECT_EQ(first.bytes, "");
    EXPECT_TRUE(second.closed);
    EXPECT_EQ(second.bytes, "");
    EXPECT_EQ(HttpRequest(port()).status, 200);
}

TEST_F(MetricsServerTest, ConnectionsBeyondTheLimitAreClosedAtOnceAndTheOthersServed) {
    Start(Patient());
    std::vector<std::unique_ptr<TestConnection>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<TestConnection>(port()));
        ASSERT_TRUE(held.back()->Send("GET /metrics HTTP/1.1\r\n"));
    }
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 3; }));
    TestConnection extra(port());
    const TestConnection::Received refused = extra.ReadToEnd();
    EXPECT_TRUE(refused.closed);
    EXPECT_EQ(refused.bytes, "");
    // The three held ones are still there and are answered when they finish their requests.
    for (auto& connection : held) {
        ASSERT_TRUE(connection->Send("\r\n"));
        EXPECT_EQ(connection->ReadToEnd().bytes.substr(0, 15), "HTTP/1.1 200 OK");
    }
    held.clear();
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 0; }));
    EXPECT_EQ(HttpRequest(port()).status, 200);
}

TEST_F(MetricsServerTest, AHundredConnectionsAtOnceLeaveNoDescriptorBehind) {
    Start(Short());
    EXPECT_EQ(HttpRequest(port()).status, 200);
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 0; }));
    const int before = OpenDescriptorCount();
    {
        std::vector<std::unique_ptr<TestConnection>> crowd;
        for (int i = 0; i < 100; ++i)
            crowd.push_back(std::make_unique<TestConnection>(port()));
        int connected = 0;
        for (auto& c : crowd)
            connected += c->connected();
        EXPECT_EQ(connected, 100);
        // Each is closed: at once beyond the limit, after the request time-out otherwise.
        for (auto& c : crowd) {
            const TestConnection::Received received = c->ReadToEnd();
            EXPECT_TRUE(received.closed);
            EXPECT_EQ(received.bytes, "");
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 0; }));
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_EQ(HttpRequest(port()).status, 200);
}

TEST_F(MetricsServerTest, ATurnOfTheLoopTakesABoundedNumberOfNewConnections) {
    // Each render waits for the test's leave, so that the thread stops where the test knows.
    std::mutex lock;
    std::condition_variable changed;
    int started = 0;
    int allowed = 0;
    auto render = [&] {
        std::unique_lock guard(lock);
        const int mine = ++started;
        changed.notify_all();
        changed.wait_for(guard, 20s, [&] { return allowed >= mine; });
        return std::string("up 1\n");
    };
    auto renderStarted = [&](int count) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 20s, [&] { return started >= count; });
    };
    auto allow = [&](int count) {
        std::lock_guard guard(lock);
        allowed = count;
        changed.notify_all();
    };
    MetricsServer::Limits limits = Patient();
    limits.maxConnections = 1000;
    server = std::make_unique<MetricsServer>(kLoopback, render, "text/plain", limits);

    TestConnection first(port());
    ASSERT_TRUE(first.Send("GET /metrics HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(renderStarted(1));
    // Queued while the thread renders, each with its whole request sent: the kernel completes
    // them, and far more than one turn's worth wait to be accepted.
    const int queued = 3 * MetricsServer::kAcceptsPerTurn;
    std::vector<std::unique_ptr<TestConnection>> crowd;
    for (int i = 0; i < queued; ++i) {
        crowd.push_back(std::make_unique<TestConnection>(port()));
        ASSERT_TRUE(crowd.back()->Send("GET /metrics HTTP/1.1\r\n\r\n"));
    }
    allow(1);
    // The next render is for one of the crowd, in the turn after the one that accepted it: the
    // count of open connections is still that of the turn of the accepts.
    ASSERT_TRUE(renderStarted(2));
    const int open = server->OpenConnections();
    EXPECT_GE(open, MetricsServer::kAcceptsPerTurn);
    EXPECT_LE(open, MetricsServer::kAcceptsPerTurn + 1); // the first one, if not done yet
    allow(queued + 1);
    // Every one of them is answered all the same.
    int answered = 0;
    for (auto& c : crowd)
        answered += c->ReadToEnd().bytes.substr(0, 15) == "HTTP/1.1 200 OK";
    EXPECT_EQ(answered, queued);
    // Before the render's state goes.
    server.reset();
}

TEST_F(MetricsServerTest, AClientThatNeverReadsItsAnswerIsDropped) {
    body = std::string(32 * 1024 * 1024, 'x');
    Start(Short());
    TestConnection reader(port());
    ASSERT_TRUE(reader.Send("GET /metrics HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return renders.load() == 1; }));
    // Not reading: the answer sits in the buffers until the response time-out.
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 0; }));
    const TestConnection::Received received = reader.ReadToEnd();
    EXPECT_TRUE(received.closed);
    EXPECT_LT(received.bytes.size(), body.size());
}

TEST_F(MetricsServerTest, ATakenAddressIsRefusedWithItsReasonAndLeavesNothingOpen) {
    LoopbackServer taken(LoopbackServer::Hold);
    const int before = OpenDescriptorCount();
    try {
        MetricsServer server(
            {"127.0.0.1", static_cast<std::uint16_t>(taken.port()), false},
            [] { return std::string(); }, "text/plain");
        FAIL() << "listened on a taken port";
    } catch (const MetricsListenError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot listen on 127.0.0.1:" + std::to_string(taken.port()) +
                      ": bind: Address already in use");
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(MetricsServerTest, NoThreadToServeOnIsRefusedInEnglishAndLeavesNothingOpen) {
    // Where a translated locale can be had, it is in force, as under the program's QApplication.
    TranslatedLocale locale;
    const std::string report = InChild(
        [] {
            // No process or thread more for this (unprivileged) user.
            const rlimit none{0, 0};
            if (::setrlimit(RLIMIT_NPROC, &none) != 0)
                return std::string("setrlimit failed");
            const int before = OpenDescriptorCount();
            try {
                MetricsServer server(
                    kLoopback, [] { return std::string(); }, "text/plain");
                return std::string("a server thread started");
            } catch (const MetricsListenError& e) {
                const std::string expected =
                    "cannot listen on 127.0.0.1:0: thread: Resource temporarily unavailable";
                if (e.what() != expected)
                    return "what(): " + std::string(e.what());
            }
            if (OpenDescriptorCount() != before)
                return std::string("descriptors were left open");
            return std::string();
        },
        /*asNobody=*/true);
    EXPECT_EQ(report, "");
}

TEST_F(MetricsServerTest, StoppingClosesOpenConnections) {
    const int before = OpenDescriptorCount();
    Start(Patient());
    TestConnection waiting(port());
    ASSERT_TRUE(waiting.Send("GET /metrics HTTP/1.1\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return server->OpenConnections() == 1; }));
    server.reset();
    EXPECT_TRUE(waiting.ReadToEnd().closed);
    EXPECT_EQ(OpenDescriptorCount(), before + 1); // the client's own
}

TEST_F(MetricsServerTest, ARenderThatThrowsClosesOnlyThatConnection) {
    std::atomic<bool> fail{true};
    server = std::make_unique<MetricsServer>(
        kLoopback,
        [&fail]() -> std::string {
            if (fail.load())
                throw std::runtime_error("no snapshot");
            return "ok 1\n";
        },
        "text/plain", Short());
    TestConnection connection(server->Port());
    ASSERT_TRUE(connection.Send("GET /metrics HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(connection.ReadToEnd().bytes, "");
    fail = false;
    EXPECT_EQ(HttpRequest(server->Port()).body, "ok 1\n");
}

} // namespace
