#include "EventLog.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/ScopedSeam.h"

#include "net/ClientSocket.h"
#include "net/SocketError.h"
#include "platform/ErrorReport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netdb.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

namespace {

// Collects what reaches the default error report while it lives.
class TReportCapture {
public:
    std::vector<std::string> Messages;

private:
    ScopedSeam seam_{SetErrorReportHandler,
                     [this](const std::string& m) { Messages.push_back(m); }};
};

std::string Refused() {
    return "Error 3 " + std::to_string(ECONNREFUSED);
}

class ClientSocketTest : public testing::Test {
protected:
    void TearDown() override { TClientSocket::SetConnectTimeoutMs(21000); }

    void Target(std::uint16_t port, const std::string& address = "127.0.0.1") {
        socket.SetAddress(address);
        socket.SetPort(port);
    }
    void ConnectTo(LoopbackListener& listener) {
        Target(listener.Port());
        socket.SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return socket.Active(); })) << "no connection was made";
    }

    TClientSocket socket;
    TEventLog log{socket};
};

} // namespace

// Server accepts; the prober closes after its hold time.
TEST_F(ClientSocketTest, AcceptedConnectionRunsTheWholeRoad) {
    LoopbackListener listener;
    Target(listener.Port());
    socket.SetActive(true);
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting"}));
    EXPECT_FALSE(socket.Active());

    ASSERT_TRUE(PumpUntil([&] { return log.Has("Write"); }));
    EXPECT_EQ(log.Take(), (Lines{"Connect 1 127.0.0.1", "Write"}));
    EXPECT_TRUE(socket.Active());

    int server = listener.Accept();
    ASSERT_GE(server, 0);
    SendText(server, "220 banner\r\n");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Read"); }));
    EXPECT_EQ(log.Take(), (Lines{"Read"}));

    socket.SetActive(false);
    EXPECT_EQ(log.Take(), (Lines{"Disconnect 0 127.0.0.1"}));
    EXPECT_FALSE(socket.Active());
    EXPECT_EQ(socket.Socket()->SocketHandle(), -1);
    PumpFor(100);
    EXPECT_EQ(log.Take(), Lines{});
    CloseInOrder(server);
}

// Connection refused: one error, nothing more, and Active never changes.
TEST_F(ClientSocketTest, RefusedConnectionEndsInOneConnectError) {
    Target(RefusedPort());
    socket.SetActive(true);
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting"}));
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Error"); }));
    PumpFor(100);
    EXPECT_EQ(log.Take(), (Lines{Refused()}));
    EXPECT_FALSE(socket.Active());
    // The failed handle is kept until the next open.
    EXPECT_NE(socket.Socket()->SocketHandle(), -1);
    socket.SetActive(false);
    EXPECT_EQ(log.Take(), Lines{});
}

// Silent host: no answer until the connect time-out, then a connect error.
TEST_F(ClientSocketTest, SilentHostTimesOutAsAConnectError) {
    TClientSocket::SetConnectTimeoutMs(400);
    LoopbackListener listener(0);
    listener.Fill();
    Target(listener.Port());
    socket.SetActive(true);
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting"}));
    PumpFor(150);
    EXPECT_EQ(log.Take(), Lines{}) << "the attempt ended before its time-out";
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Error"); }));
    EXPECT_EQ(log.Take(), (Lines{"Error 3 " + std::to_string(ETIMEDOUT)}));
    EXPECT_FALSE(socket.Active());
}

// The peer closes in order first.
TEST_F(ClientSocketTest, OrderlyCloseByThePeerDisconnectsOnce) {
    LoopbackListener listener;
    ConnectTo(listener);
    log.Take();
    CloseInOrder(listener.Accept());
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Disconnect"); }));
    EXPECT_EQ(log.Take(), (Lines{"Disconnect 0 127.0.0.1"}));
    EXPECT_FALSE(socket.Active());
    socket.SetActive(false);
    PumpFor(50);
    EXPECT_EQ(log.Take(), Lines{});
}

// The peer resets first: an error only; the connection stays until closed by us.
TEST_F(ClientSocketTest, ResetByThePeerIsAnErrorAndKeepsTheConnection) {
    LoopbackListener listener;
    ConnectTo(listener);
    log.Take();
    CloseWithReset(listener.Accept());
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Error"); }));
    PumpFor(50);
    EXPECT_EQ(log.Take(), (Lines{"Error 4 " + std::to_string(ECONNRESET)}));
    EXPECT_TRUE(socket.Active());
    EXPECT_THROW(socket.SetAddress("127.0.0.2"), ESocketError);
    EXPECT_THROW(socket.SetPort(socket.Port() + 1), ESocketError);
    socket.SetActive(false);
    EXPECT_EQ(log.Take(), (Lines{"Disconnect 0 127.0.0.1"}));
}

// Text that is not an IPv4 address goes to 255.255.255.255, which Linux refuses at once.
TEST_F(ClientSocketTest, AddressThatIsNotIpv4IsRefusedInsideTheCall) {
    for (const char* text : {"not-an-address", "255.255.255.255", "1.2.3.4.5"}) {
        SCOPED_TRACE(text);
        Target(9, text);
        try {
            socket.SetActive(true);
            FAIL() << "no exception";
        } catch (const ESocketError& e) {
            // Linux refuses a TCP connect to the broadcast address with ENETUNREACH.
            EXPECT_EQ(e.Message(), WinSocketError(ENETUNREACH, "connect").Message());
        }
        EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting", "Disconnect 0 "}));
        EXPECT_EQ(socket.Socket()->SocketHandle(), -1);
    }
}

// Linux would take 0.0.0.0 as this machine; it is refused inside the call instead.
TEST_F(ClientSocketTest, AddressZeroIsRefusedInsideTheCall) {
    LoopbackListener listener;
    for (TClientType type : {ctNonBlocking, ctBlocking}) {
        for (const char* text : {"0.0.0.0", "0"}) {
            SCOPED_TRACE(text);
            socket.SetClientType(type);
            Target(listener.Port(), text);
            try {
                socket.SetActive(true);
                FAIL() << "no exception";
            } catch (const ESocketError& e) {
                EXPECT_EQ(e.Message(), WinSocketError(EADDRNOTAVAIL, "connect").Message());
            }
            EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting", "Disconnect 0 "}));
        }
    }
}

// Neither Address nor Host: a lookup error 1110, then the disconnect, all inside the call.
TEST_F(ClientSocketTest, MissingAddressIsALookupErrorAndADisconnect) {
    socket.SetPort(80);
    socket.SetActive(true);
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Error 6 1110", "Disconnect 0 "}));
    PumpFor(50);
    EXPECT_EQ(log.Take(), Lines{});

    TEventLog strict(socket, false);
    try {
        socket.SetActive(true);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.Message(), "No address specified");
    }
    EXPECT_EQ(strict.Take(), (Lines{"Lookup", "Error 6 1110", "Disconnect 0 "}));
}

TEST_F(ClientSocketTest, DeactivatingWhileConnectingDoesNothing) {
    LoopbackListener listener;
    Target(listener.Port());
    socket.SetActive(true);
    socket.SetActive(false);
    // Accepted while connecting, and it does not touch the attempt under way.
    socket.SetAddress("127.0.0.2");
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting"}));
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Write"); }));
    EXPECT_EQ(log.Take(), (Lines{"Connect 1 127.0.0.1", "Write"}));
}

// A second open while the first still connects makes a second handle; the first attempt's
// connect notice still arrives, and its handle is released afterwards.
TEST_F(ClientSocketTest, SecondActivationWhileConnecting) {
    LoopbackListener listener;
    int before = OpenDescriptorCount();
    Target(listener.Port());
    socket.SetActive(true);
    int first = socket.Socket()->SocketHandle();
    socket.SetActive(true);
    EXPECT_NE(socket.Socket()->SocketHandle(), first);
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting", "Lookup", "Connecting"}));
    ASSERT_TRUE(PumpUntil([&] { return log.Count("Connect 1 127.0.0.1") == 2; }));
    PumpFor(50);
    EXPECT_EQ(log.Take(), (Lines{"Connect 1 127.0.0.1", "Connect 1 127.0.0.1", "Write"}));
    socket.SetActive(false);
    EXPECT_EQ(log.Take(), (Lines{"Disconnect 0 127.0.0.1"}));
    // Both handles are gone; what remains is the receiver's own watch descriptor.
    EXPECT_EQ(OpenDescriptorCount(), before + 1);
}

// The write notice of a handle closed inside OnConnect is already queued when a new handle
// (very likely with the same number) is opened; it must not reach the new connection.
TEST_F(ClientSocketTest, NoticesForAnOlderHandleAreIgnored) {
    LoopbackListener listener;
    Target(listener.Port());
    bool reopened = false;
    int oldHandle = -1;
    socket.OnConnect = [&](TClientSocket* sender, TCustomWinSocket* s) {
        log.Lines.push_back("Connect");
        if (reopened)
            return;
        reopened = true;
        oldHandle = s->SocketHandle();
        sender->SetActive(false);
        sender->SetActive(true);
    };
    socket.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return log.Count("Connect") == 2 && log.Has("Write"); }));
    PumpFor(50);
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting", "Connect", "Disconnect 0 127.0.0.1",
                                 "Lookup", "Connecting", "Connect", "Write"}));
    RecordProperty("handle_reused", socket.Socket()->SocketHandle() == oldHandle ? "yes" : "no");
}

TEST_F(ClientSocketTest, PortUsesItsLow16Bits) {
    struct Row {
        std::int32_t set;
        std::uint16_t reaches;
    };
    for (Row row : {Row{70000, 4464}, Row{-1, 65535}}) {
        SCOPED_TRACE(row.set);
        std::unique_ptr<LoopbackListener> listener;
        try {
            listener = std::make_unique<LoopbackListener>(16, row.reaches);
        } catch (const std::exception&) {
            GTEST_SKIP() << "port " << row.reaches << " is taken here";
        }
        socket.SetAddress("127.0.0.1");
        socket.SetPort(row.set);
        socket.SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return log.Has("Connect ") || log.Has("Error"); }));
        EXPECT_TRUE(socket.Active());
        socket.SetActive(false);
        log.Take();
        log.Lines.clear();
    }
}

// Setters compare before checking Active: an equal value (ASCII case ignored for texts) is
// accepted even while connected, a different one is refused and the old value stays.
TEST_F(ClientSocketTest, SettersWhileActive) {
    LoopbackListener listener;
    socket.SetService("");
    socket.SetAddress("0x7F.0.0.1");
    socket.SetPort(listener.Port());
    socket.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return socket.Active(); }));

    EXPECT_NO_THROW(socket.SetAddress("0X7f.0.0.1"));
    EXPECT_EQ(socket.Address(), "0x7F.0.0.1");
    EXPECT_NO_THROW(socket.SetPort(listener.Port()));
    EXPECT_NO_THROW(socket.SetHost(""));
    try {
        socket.SetAddress("127.0.0.1");
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.Message(), "Can't change value while socket is active");
    }
    EXPECT_EQ(socket.Address(), "0x7F.0.0.1");
    EXPECT_THROW(socket.SetHost("localhost"), ESocketError);
    EXPECT_THROW(socket.SetService("echo"), ESocketError);
    EXPECT_THROW(socket.SetPort(1), ESocketError);
    EXPECT_THROW(socket.SetClientType(ctBlocking), ESocketError);
    EXPECT_EQ(socket.Host(), "");
    EXPECT_EQ(socket.Service(), "");
    EXPECT_EQ(socket.ClientType(), ctNonBlocking);
}

TEST_F(ClientSocketTest, ClosingTwiceFiresOneDisconnect) {
    LoopbackListener listener;
    ConnectTo(listener);
    int handle = socket.Socket()->SocketHandle();
    socket.SetActive(false);
    socket.SetActive(false);
    socket.Socket()->CloseConnection(handle);
    EXPECT_EQ(log.Count("Disconnect 0 127.0.0.1"), 1);
}

TEST_F(ClientSocketTest, DestructionWhileConnectedFiresNoEvent) {
    LoopbackListener listener;
    auto doomed = std::make_unique<TClientSocket>();
    TEventLog events(*doomed);
    doomed->SetAddress("127.0.0.1");
    doomed->SetPort(listener.Port());
    doomed->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return doomed->Active(); }));
    int server = listener.Accept();
    SendText(server, "queued");
    events.Take();
    doomed.reset();
    PumpFor(50);
    EXPECT_EQ(events.Take(), Lines{});
    CloseInOrder(server);
}

TEST_F(ClientSocketTest, HostIsLookedUpAsynchronouslyAndWinsOverAddress) {
    LoopbackListener listener;
    // Nothing listens on 127.0.0.2, so a connect to Address would be refused.
    Target(listener.Port(), "127.0.0.2");
    socket.SetHost("localhost");
    socket.SetActive(true);
    socket.SetActive(false); // while resolving: nothing
    EXPECT_EQ(log.Take(), (Lines{"Lookup"}));
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Write") || log.Has("Error"); }));
    EXPECT_EQ(log.Take(), (Lines{"Connecting", "Connect 1 127.0.0.1", "Write"}));
}

// Notices that name an earlier open (serial 0 is never a live one) while a lookup runs: read and
// write are ignored; a close is ignored too but still cancels the lookup, so nothing follows.
TEST_F(ClientSocketTest, NoticesNamingAnEarlierOpen) {
    struct Row {
        int kind;
        Lines events;
    };
    const Row rows[] = {
        {NotifyBit::Read, {"Connecting", "Connect 1 127.0.0.1", "Write"}},
        {NotifyBit::Write, {"Connecting", "Connect 1 127.0.0.1", "Write"}},
        {NotifyBit::Close, {}},
    };
    LoopbackListener listener;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.kind);
        TClientSocket client;
        TEventLog events(client);
        client.SetHost("localhost");
        client.SetPort(listener.Port());
        client.SetActive(true);
        EXPECT_EQ(events.Take(), (Lines{"Lookup"}));
        client.Socket()->HandleSocketNotice(client.Socket()->SocketHandle(), 0, row.kind, 0);
        PumpUntil([&] { return events.Has("Write"); }, 500);
        EXPECT_EQ(events.Take(), row.events);
    }
}

TEST_F(ClientSocketTest, ServiceIsLookedUpAsynchronouslyAndWinsOverPort) {
    std::unique_ptr<LoopbackListener> listener;
    try {
        listener = std::make_unique<LoopbackListener>(16, 9); // "discard" in the services file
    } catch (const std::exception&) {
        GTEST_SKIP() << "cannot listen on port 9 here";
    }
    Target(RefusedPort());
    socket.SetService("discard");
    socket.SetActive(true);
    EXPECT_EQ(log.Take(), (Lines{"Lookup"}));
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Write") || log.Has("Error"); }));
    EXPECT_EQ(log.Take(), (Lines{"Connecting", "Connect 1 127.0.0.1", "Write"}));
}

// A service name that the services file does not know: a lookup error, the disconnect, and with
// ErrorCode left set, the error report.
TEST_F(ClientSocketTest, FailedLookup) {
    for (bool clear : {true, false}) {
        SCOPED_TRACE(clear);
        TClientSocket client;
        TEventLog events(client, clear);
        TReportCapture reports;
        client.SetAddress("127.0.0.1");
        client.SetService("no-such-service-here");
        client.SetActive(true);
        EXPECT_EQ(events.Take(), (Lines{"Lookup"}));
        ASSERT_TRUE(PumpUntil([&] { return events.Has("Disconnect"); }));
        EXPECT_EQ(events.Take(),
                  (Lines{"Error 6 " + std::to_string(EAI_SERVICE), "Disconnect 0 "}));
        if (clear)
            EXPECT_EQ(reports.Messages, Lines{});
        else
            EXPECT_EQ(reports.Messages,
                      (Lines{"Windows socket error: Servname not supported for ai_socktype (" +
                             std::to_string(EAI_SERVICE) + "), on API 'ASync Lookup'"}));
    }
}

// The object goes away while its lookup still runs: the result, when it comes, finds nothing,
// raises nothing and opens no handle.
TEST_F(ClientSocketTest, DestroyedWhileLookingUp) {
    const int port = RefusedPort();
    const int before = OpenDescriptorCount();
    std::vector<std::unique_ptr<TEventLog>> logs;
    for (int i = 0; i < 20; ++i) {
        auto doomed = std::make_unique<TClientSocket>();
        logs.push_back(std::make_unique<TEventLog>(*doomed));
        doomed->SetHost("localhost");
        doomed->SetPort(port);
        doomed->SetActive(true);
        doomed.reset();
    }
    PumpFor(300);
    for (const auto& events : logs)
        EXPECT_EQ(events->Lines, Lines{"Lookup"});
    EXPECT_TRUE(PumpUntil([&] { return OpenDescriptorCount() == before; }, 3000))
        << OpenDescriptorCount() << " descriptors, " << before << " before";
}

// A second open while resolving starts afresh; the first lookup's result is dropped.
TEST_F(ClientSocketTest, ReopeningWhileResolvingAbandonsTheFirstLookup) {
    LoopbackListener listener;
    Target(listener.Port());
    socket.SetHost("localhost");
    socket.SetActive(true);
    socket.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Write") || log.Has("Error"); }));
    PumpFor(100);
    EXPECT_EQ(log.Take(),
              (Lines{"Lookup", "Lookup", "Connecting", "Connect 1 127.0.0.1", "Write"}));
}

// An error notice ends in the default error report unless its handler leaves ErrorCode at 0;
// the report shows the value the handler left.
TEST_F(ClientSocketTest, ErrorNoticeReportsWhatTheHandlerLeaves) {
    struct Row {
        const char* name;
        TClientSocket::TSocketErrorEvent handler;
        std::string report;
    };
    const Row rows[] = {
        {"no handler", nullptr, "Asynchronous socket error " + std::to_string(ECONNREFUSED)},
        {"handler changes the code",
         [](TClientSocket*, TCustomWinSocket*, TErrorEvent, int& code) { code = 7; },
         "Asynchronous socket error 7"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TClientSocket client;
        TReportCapture reports;
        client.OnError = row.handler;
        client.SetAddress("127.0.0.1");
        client.SetPort(RefusedPort());
        client.SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return !reports.Messages.empty(); }));
        PumpFor(50);
        EXPECT_EQ(reports.Messages, Lines{row.report});
        EXPECT_FALSE(client.Active());
    }
}

// Handlers called inside SetActive(true) that throw: the handle is closed, OnDisconnect fires,
// and the exception reaches the caller.
TEST_F(ClientSocketTest, ExceptionFromASynchronousHandlerClosesTheHandle) {
    for (bool inLookup : {true, false}) {
        SCOPED_TRACE(inLookup);
        TClientSocket client;
        TEventLog events(client);
        auto thrower = [](TClientSocket*, TCustomWinSocket*) { throw ESocketError("boom"); };
        (inLookup ? client.OnLookup : client.OnConnecting) = thrower;
        client.SetAddress("127.0.0.1");
        client.SetPort(RefusedPort());
        EXPECT_THROW(client.SetActive(true), ESocketError);
        EXPECT_EQ(events.Take().back(), "Disconnect 0 ");
        EXPECT_EQ(client.Socket()->SocketHandle(), -1);
    }
}

TEST_F(ClientSocketTest, ExceptionFromANoticeHandlerGoesToTheErrorReport) {
    TReportCapture reports;
    LoopbackListener listener;
    Target(listener.Port());
    socket.OnConnect = [](TClientSocket*, TCustomWinSocket*) { throw ESocketError("boom"); };
    socket.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Write"); }));
    EXPECT_EQ(reports.Messages, (Lines{"boom"}));
    EXPECT_TRUE(socket.Active());
}

// A banner that is never read raises one read notice; reading re-arms it.
TEST_F(ClientSocketTest, ReadNoticeIsReArmedByReading) {
    LoopbackListener listener;
    ConnectTo(listener);
    int server = listener.Accept();
    SendText(server, "first");
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Read"); }));
    SendText(server, "second");
    PumpFor(100);
    EXPECT_EQ(log.Count("Read"), 1);
    EXPECT_EQ(socket.Socket()->ReceiveText(), "firstsecond");
    SendText(server, "third");
    ASSERT_TRUE(PumpUntil([&] { return log.Count("Read") == 2; }));
    EXPECT_EQ(socket.Socket()->ReceiveText(), "third");
    CloseInOrder(server);
}

TEST_F(ClientSocketTest, SocketAlreadyOpen) {
    LoopbackListener listener;
    ConnectTo(listener);
    try {
        socket.Socket()->OpenConnection("", "127.0.0.1", "", listener.Port(), false);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.Message(), "Socket already open");
    }
    EXPECT_TRUE(socket.Active());
}

TEST_F(ClientSocketTest, CannotCreateANewSocket) {
    // The sanitizers need a descriptor for every type check they have not cached yet, so the
    // same calls run once before the limit: an open with no address, its exception not cleared.
    {
        TEventLog strict(socket, false);
        EXPECT_THROW(socket.SetActive(true), ESocketError);
    }
    log.Take();
    TEventLog events(socket);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    // The lowest free descriptor number becomes the limit, so the next one cannot be made.
    int lowestFree = dup(0);
    close(lowestFree);
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    Target(RefusedPort());
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    // Looked at only once the limit is lifted: the sanitizers need descriptors of their own.
    std::exception_ptr failure;
    try {
        socket.SetActive(true);
    } catch (...) {
        failure = std::current_exception();
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    std::string message;
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const ESocketError& e) {
        message = e.Message();
    }
    EXPECT_EQ(message, "Can't create new socket");
    EXPECT_EQ(events.Take(), Lines{});
}

// 10,000 refused attempts in a row hold no descriptor once the last one is released.
TEST_F(ClientSocketTest, RefusedAttemptsLeaveNoDescriptorBehind) {
    Target(RefusedPort());
    int errors = 0;
    socket.OnError = [&](TClientSocket*, TCustomWinSocket*, TErrorEvent, int& code) {
        code = 0;
        ++errors;
    };
    // The first attempt makes the receiver's own descriptor; each failed handle is kept until
    // the next open.
    socket.SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return errors == 1; }));
    int before = OpenDescriptorCount();
    for (int i = 2; i <= 10001; ++i) {
        socket.SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return errors == i; })) << "attempt " << i;
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
    socket.SetPort(0);
    socket.SetAddress("");
    socket.SetActive(true);
    EXPECT_EQ(OpenDescriptorCount(), before - 1);
}

// ctBlocking: the connect runs inside SetActive(true); failures are exceptions, never notices.
TEST_F(ClientSocketTest, BlockingConnectIsMadeInsideTheCall) {
    LoopbackListener listener;
    socket.SetClientType(ctBlocking);
    Target(listener.Port());
    socket.SetActive(true);
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting", "Connect 1 127.0.0.1"}));
    EXPECT_TRUE(socket.Active());
    PumpFor(50);
    EXPECT_EQ(log.Take(), Lines{});
    socket.SetActive(false);
    EXPECT_EQ(log.Take(), (Lines{"Disconnect 0 127.0.0.1"}));
}

TEST_F(ClientSocketTest, BlockingFailuresAreExceptions) {
    struct Row {
        std::string host;
        std::string address;
        std::string message;
    };
    const Row rows[] = {
        {"", "127.0.0.1",
         "Windows socket error: Connection refused (" + std::to_string(ECONNREFUSED) +
             "), on API 'connect'"},
        {"localhost", "",
         "Windows socket error: Connection refused (" + std::to_string(ECONNREFUSED) +
             "), on API 'connect'"},
        {"", "", "No address specified"},
    };
    socket.SetClientType(ctBlocking);
    socket.SetPort(RefusedPort());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        socket.SetHost(row.host);
        socket.SetAddress(row.address);
        try {
            socket.SetActive(true);
            FAIL() << "no exception";
        } catch (const ESocketError& e) {
            EXPECT_EQ(e.Message(), row.message);
        }
        EXPECT_EQ(log.Take(), row.address.empty() && row.host.empty()
                                  ? (Lines{"Lookup", "Disconnect 0 "})
                                  : (Lines{"Lookup", "Connecting", "Disconnect 0 "}));
        EXPECT_FALSE(socket.Active());
    }
}

TEST_F(ClientSocketTest, BlockingConnectToASilentHostGivesUpAfterTheTimeOut) {
    TClientSocket::SetConnectTimeoutMs(300);
    LoopbackListener listener(0);
    listener.Fill();
    socket.SetClientType(ctBlocking);
    Target(listener.Port());
    try {
        socket.SetActive(true);
        FAIL() << "no exception";
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.Message(), "Windows socket error: Connection timed out (" +
                                   std::to_string(ETIMEDOUT) + "), on API 'connect'");
    }
}

// c, through a network of the test's own: a veth pair in a fresh network namespace, the peer
// address given a neighbour entry with a MAC nobody has, so every SYN is dropped. Needs root and
// the ip tool; the calling thread moves into the namespace and back, nothing outside is touched.
TEST_F(ClientSocketTest, SilentHostInAPrivateNetworkNamespace) {
    int home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (geteuid() != 0 || home < 0 || access("/usr/sbin/ip", X_OK) != 0 ||
        unshare(CLONE_NEWNET) != 0) {
        if (home >= 0)
            close(home);
        GTEST_SKIP() << "cannot make a network namespace here";
    }
    int rc = std::system("ip link set lo up && ip link add smv0 type veth peer name smv1 && "
                         "ip link set smv0 up && ip link set smv1 up && "
                         "ip addr add 10.213.0.1/24 dev smv0 && "
                         "ip neigh add 10.213.0.2 lladdr 02:00:00:00:00:02 dev smv0 nud permanent");
    if (rc == 0) {
        TClientSocket::SetConnectTimeoutMs(500);
        Target(80, "10.213.0.2");
        socket.SetActive(true);
    }
    // The socket keeps its namespace; the thread goes home at once.
    ASSERT_EQ(setns(home, CLONE_NEWNET), 0);
    close(home);
    if (rc != 0)
        GTEST_SKIP() << "cannot set up the private network";
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting"}));
    PumpFor(200);
    EXPECT_EQ(log.Take(), Lines{}) << "the silent host answered";
    ASSERT_TRUE(PumpUntil([&] { return log.Has("Error"); }));
    EXPECT_EQ(log.Take(), (Lines{"Error 3 " + std::to_string(ETIMEDOUT)}));
}

// While loading, Active is only recorded; Loaded() applies it.
TEST_F(ClientSocketTest, ActiveSetWhileLoadingOpensWhenLoaded) {
    LoopbackListener listener;
    socket.BeginLoading();
    Target(listener.Port());
    socket.SetActive(true);
    EXPECT_EQ(log.Take(), Lines{});
    socket.Loaded();
    EXPECT_EQ(log.Take(), (Lines{"Lookup", "Connecting"}));
    ASSERT_TRUE(PumpUntil([&] { return socket.Active(); }));
}
