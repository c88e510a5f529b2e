#include <arpa/inet.h>
#include <dirent.h>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <cerrno>

#include "platform/net/socket_errors.h"
#include "platform/net/tcp_client.h"
#include "tests/support/fake_name_server.h"
#include "tests/support/scripted_http_server.h"

namespace harbek::net {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::ScriptedHttpServer;
using testing::Script;
namespace patterns = testing::patterns;

const std::string kRequest = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";

size_t openFds() {
  size_t n = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir)) ++n;
    ::closedir(dir);
  }
  return n;
}

// A client with a log of its notifications, the bytes taken on each arrival,
// and the checks that nothing is left behind once it is gone.
struct Harness {
  std::unique_ptr<event::EventLoop> loop = event::makePollLoop();
  std::unique_ptr<TcpClient> client;
  std::string log;       // one letter per notification: c, d, x (closed), e
  std::string received;  // every byte taken
  std::vector<int32_t> arrivals;
  int32_t errorNumber = 0;
  std::string errorText;
  bool takeOnArrival = true;
  bool sendOnConnect = true;
  bool done = false;
  size_t fdsBefore = openFds();

  explicit Harness(TcpClientOptions options = {}) {
    client = makeTcpClient(*loop, options);
    client->setHandlers({
        [this] {
          log += 'c';
          if (sendOnConnect) {
            EXPECT_EQ(client->send(kRequest), 0);
          }
        },
        [this](int32_t total) {
          log += 'd';
          arrivals.push_back(total);
          EXPECT_EQ(total, client->pendingBytes());
          if (takeOnArrival) received += client->takeAll();
        },
        [this] {
          log += 'x';
          if (takeOnArrival) received += client->takeAll();
          done = true;
        },
        [this](int32_t number, const std::string& text) {
          log += 'e';
          errorNumber = number;
          errorText = text;
          done = true;
        },
    });
  }

  // Pumps until the exchange is over (or the time is up).
  bool pumpUntilDone(std::chrono::milliseconds limit = 5000ms) {
    auto end = Clock::now() + limit;
    while (!done && Clock::now() < end) loop->pumpOnce();
    return done;
  }

  // Closes, then checks that the loop holds nothing and no fd is left open.
  void expectNothingLeft() {
    client->close();
    EXPECT_EQ(client->state(), SocketState::kClosed);
    client.reset();
    for (int i = 0; i < 3; ++i) loop->pumpOnce(0ms);  // drains stale posted tasks
    EXPECT_EQ(loop->timerCount(), 0u);
    EXPECT_EQ(loop->watchCount(), 0u);
    EXPECT_EQ(loop->postedCount(), 0u);
    EXPECT_EQ(openFds(), fdsBefore);
  }
};

TEST(SocketErrors, SystemAndLookupErrorsMapToWindowsNumbers) {
  struct Case {
    int err;
    int32_t number;
    const char* description;
  } cases[] = {
      {ENOBUFS, 10055, "no buffer space is available"},
      {EADDRNOTAVAIL, 10055, "no buffer space is available"},
      {ETIMEDOUT, 10060, "the connection timed out"},
      {ECONNREFUSED, 10061, "the connection was refused"},
      {ECONNRESET, 10054, "the connection was reset by the remote side"},
      {EPIPE, 10054, "the connection was reset by the remote side"},
      {EHOSTUNREACH, 10065, "no route to the host"},
      {ENETUNREACH, 10051, "the network is unreachable"},
      {EMFILE, 10024, "too many open sockets"},
      {ENOTCONN, 10057, "the socket is not connected"},
      {EXDEV, 10107, "a system call failed"},  // anything unlisted
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    EXPECT_EQ(wsaFromErrno(c.err), c.number);
    EXPECT_EQ(wsaDescription(c.number), c.description);
  }
  EXPECT_EQ(wsaFromAres(4 /* ARES_ENOTFOUND */), 11001);
  EXPECT_EQ(wsaFromAres(12 /* ARES_ETIMEOUT */), 11001);
  EXPECT_EQ(wsaFromAres(15 /* ARES_ENOMEM */), 10055);
  EXPECT_EQ(wsaDescription(11001), "the host was not found");
  EXPECT_EQ(wsaDescription(4242), "socket error 4242");
}

TEST(TcpClient, ArrivalPatternsDeliverEveryByteThenTheEnd) {
  const std::string body = "<html>" + std::string(200000, 'b') + "</html>";
  const std::string response = testing::httpResponse(200, body, {"Content-Type: text/html"});
  struct Case {
    const char* name;
    Script script;
    std::string expected;
    char last;  // x: closed, e: error
    int32_t error;
  } cases[] = {
      {"one write", patterns::oneWrite(body), response, 'x', 0},
      {"header then body", patterns::headerThenBody(body), response, 'x', 0},
      {"small writes", patterns::smallWrites(body.substr(0, 2000), 7, 1ms), testing::httpResponse(200, body.substr(0, 2000), {"Content-Type: text/html"}), 'x', 0},
      {"early close", patterns::earlyClose(body, 5), testing::httpHeader(200, body.size(), {"Content-Type: text/html"}) + "<html", 'x', 0},
      {"drip", patterns::slowDrip("HTTP/1.1 200 OK\r\n\r\nabc", 1ms), "HTTP/1.1 200 OK\r\n\r\nabc", 'x', 0},
      {"garbage", patterns::garbage(std::string("\0\xff\r\n", 4)), std::string("\0\xff\r\n", 4), 'x', 0},
      {"endless header", patterns::endlessHeader(), "", 'x', 0},
      {"reset", patterns::resetAfter(""), "", 'e', 10054},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHttpServer server(c.script);
    Harness h;
    EXPECT_EQ(h.client->connect("127.0.0.1", server.port()), 0);
    EXPECT_EQ(h.client->state(), SocketState::kConnecting);
    EXPECT_EQ(h.log, "");  // nothing is raised from inside connect()
    ASSERT_TRUE(h.pumpUntilDone());
    if (std::string(c.name) == "endless header") {
      EXPECT_GE(h.received.size(), 1u << 20);
    } else {
      EXPECT_EQ(h.received, c.expected);
    }
    // connected, then arrivals, then exactly one end.
    EXPECT_EQ(h.log.front(), 'c');
    EXPECT_EQ(h.log.back(), c.last);
    EXPECT_EQ(h.log.find_first_of("xe"), h.log.size() - 1);
    EXPECT_EQ(h.errorNumber, c.error);
    EXPECT_EQ(h.client->state(), c.last == 'x' ? SocketState::kClosing : SocketState::kError);
    EXPECT_TRUE(server.waitForFinished(1));
    EXPECT_EQ(server.requests(), std::vector<std::string>{kRequest});
    h.expectNothingLeft();
  }
}

TEST(TcpClient, BytesStayPendingUntilTakenAndArrivalsCountThemAll) {
  ScriptedHttpServer server(Script().awaitRequest().write("HTTP/1.1 200 OK\r\n\r\nab").sleep(300ms).write("cd").close());
  Harness h;
  h.takeOnArrival = false;
  h.client->connect("127.0.0.1", server.port());
  while (h.arrivals.size() < 2 && !h.done) h.loop->pumpOnce();
  ASSERT_EQ(h.arrivals.size(), 2u);
  EXPECT_EQ(h.arrivals[1], 23);  // the second arrival counts the first's bytes too
  EXPECT_EQ(h.client->remoteIp(), "127.0.0.1");
  std::string header;
  for (int byte; header.find("\r\n\r\n") == std::string::npos && (byte = h.client->takeByte()) >= 0;)
    header += static_cast<char>(byte);
  EXPECT_EQ(header, "HTTP/1.1 200 OK\r\n\r\n");
  EXPECT_EQ(h.client->pendingBytes(), 4);
  EXPECT_EQ(h.client->takeAll(), "abcd");
  EXPECT_EQ(h.client->takeByte(), -1);
  EXPECT_EQ(h.client->takeAll(), "");
  // The server's end of the connection is an fd of this process too.
  EXPECT_TRUE(server.waitForFinished(1));
  h.expectNothingLeft();
}

TEST(TcpClient, ManyMegabytesArriveIntactEvenWhenNobodyTakesThemForAWhile) {
  std::string body(20 << 20, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 7919) >> 5);
  ScriptedHttpServer server(patterns::noContentLength(body, {}));
  Harness h;
  h.takeOnArrival = false;
  h.client->connect("127.0.0.1", server.port());
  // Untaken bytes pile up to a bound; then reading waits instead of dropping.
  auto end = Clock::now() + 5000ms;
  while (h.client->pendingBytes() < (16 << 20) && Clock::now() < end) h.loop->pumpOnce();
  size_t arrivals = h.arrivals.size();
  for (int i = 0; i < 20; ++i) h.loop->pumpOnce(1ms);
  EXPECT_EQ(h.arrivals.size(), arrivals);
  EXPECT_FALSE(h.done);
  h.received = h.client->takeAll();
  h.takeOnArrival = true;
  ASSERT_TRUE(h.pumpUntilDone(20000ms));
  EXPECT_EQ(h.log.back(), 'x');
  ASSERT_GE(h.received.size(), body.size());
  EXPECT_TRUE(h.received.substr(h.received.size() - body.size()) == body);
  h.expectNothingLeft();
}

TEST(TcpClient, FailuresArriveAsNotificationsNeverFromInsideACall) {
  // A port that nothing listens on.
  int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof address;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &len);
  uint16_t port = ntohs(address.sin_port);
  ::close(probe);

  Harness h;
  EXPECT_EQ(h.client->send("x"), 10057);
  EXPECT_EQ(h.client->connect("127.0.0.1", port), 0);
  EXPECT_EQ(h.log, "");
  ASSERT_TRUE(h.pumpUntilDone());
  EXPECT_EQ(h.log, "e");
  EXPECT_EQ(h.errorNumber, 10061);
  EXPECT_EQ(h.errorText, "the connection was refused");
  EXPECT_EQ(h.client->state(), SocketState::kError);
  EXPECT_EQ(h.client->remoteIp(), "");
  h.expectNothingLeft();
}

TEST(TcpClient, CloseOrDestroyFromInsideAHandlerStopsEverything) {
  ScriptedHttpServer server(Script().awaitRequest().write("first").sleep(20ms).write("second").close());
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroy" : "close");
    Harness h;
    int arrivals = 0;
    size_t fds = h.fdsBefore;
    h.client->setHandlers({[&] { h.client->send(kRequest); },
                           [&](int32_t) {
                             ++arrivals;
                             if (destroy) h.client.reset();
                             else h.client->close();
                           },
                           [&] { ADD_FAILURE() << "closed after a local close"; },
                           [&](int32_t, const std::string&) { ADD_FAILURE() << "error after a local close"; }});
    h.client->connect("127.0.0.1", server.port());
    auto end = Clock::now() + 300ms;
    while (Clock::now() < end) h.loop->pumpOnce();
    EXPECT_EQ(arrivals, 1);
    if (!destroy) h.client.reset();
    EXPECT_EQ(h.loop->watchCount(), 0u);
    EXPECT_EQ(h.loop->timerCount(), 0u);
    EXPECT_EQ(openFds(), fds);
  }
}

TEST(TcpClient, HostNamesFromTheHostsFileConnect) {
  // The lookup library reads the system's hosts file only; a minimal root
  // (a container, a build chroot) may have none.
  std::ifstream hosts("/etc/hosts");
  const std::string names((std::istreambuf_iterator<char>(hosts)), std::istreambuf_iterator<char>());
  if (names.find("localhost") == std::string::npos) GTEST_SKIP() << "/etc/hosts does not name localhost here";
  ScriptedHttpServer server(patterns::oneWrite("hello"));
  Harness h;
  EXPECT_EQ(h.client->connect("localhost", server.port()), 0);
  // The hosts file answers inside the lookup call; the answer still waits for a pump.
  EXPECT_EQ(h.log, "");
  ASSERT_TRUE(h.pumpUntilDone());
  EXPECT_EQ(h.log.substr(0, 2), "cd");
  EXPECT_EQ(h.received, testing::httpResponse(200, "hello", {"Content-Type: text/html"}));
  h.expectNothingLeft();
}

TEST(TcpClient, NameServerAnswersAndUnknownNames) {
  testing::FakeNameServer dns(std::map<std::string, std::string>{{"www.site.test", "127.0.0.1"}});
  ScriptedHttpServer server(patterns::oneWrite("dns"));
  struct Case {
    const char* host;
    std::string log;
    int32_t error;
  } cases[] = {{"www.site.test", "cdx", 0}, {"nonexistent.invalid", "e", 11001}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    Harness h(TcpClientOptions{dns.address()});
    EXPECT_EQ(h.client->connect(c.host, server.port()), 0);
    EXPECT_EQ(h.client->state(), SocketState::kResolving);
    ASSERT_TRUE(h.pumpUntilDone());
    EXPECT_EQ(h.log, c.log);
    EXPECT_EQ(h.errorNumber, c.error);
    h.expectNothingLeft();
  }
  EXPECT_GE(dns.queries(), 2);
}

TEST(TcpClient, AHangingLookupNeverBlocksTheLoopAndCloseCancelsIt) {
  testing::FakeNameServer dns({}, true);
  Harness h(TcpClientOptions{dns.address()});
  int ticks = 0;
  event::TimerId tick = h.loop->addTimer(10ms, true, [&] { ++ticks; });
  auto start = Clock::now();
  EXPECT_EQ(h.client->connect("www.site.test", 80), 0);
  EXPECT_LT(Clock::now() - start, 50ms);
  auto end = Clock::now() + 300ms;
  while (Clock::now() < end) h.loop->pumpOnce();
  EXPECT_GE(ticks, 15);  // the loop kept running while the lookup hung
  EXPECT_EQ(h.log, "");
  EXPECT_EQ(h.client->state(), SocketState::kResolving);
  EXPECT_GE(dns.queries(), 1);
  h.loop->cancelTimer(tick);
  h.expectNothingLeft();
}

}  // namespace
}  // namespace harbek::net

namespace harbek::net {
namespace {

// With the machine's own resolver configuration: whether a name server
// answers or not, an unknown name ends as "host not found" in bounded time.
TEST(TcpClient, UnknownNameWithTheSystemResolverIsNotFound) {
  Harness h;
  auto start = Clock::now();
  EXPECT_EQ(h.client->connect("nonexistent.invalid", 80), 0);
  ASSERT_TRUE(h.pumpUntilDone(15000ms));
  std::cout << "system lookup failed after "
            << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count() << " ms\n";
  EXPECT_EQ(h.log, "e");
  EXPECT_EQ(h.errorNumber, 11001);
  EXPECT_EQ(h.errorText, "the host was not found");
  h.expectNothingLeft();
}

}  // namespace
}  // namespace harbek::net
