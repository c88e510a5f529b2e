#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "tests/support/nginx_server.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temp_dir.h"

namespace harbek::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

enum class End { kClose, kReset, kSilent };

struct Exchange {
  std::string received;
  End end = End::kSilent;
};

// A blocking client: sends the request, reads until the server closes,
// resets, or says nothing for quietMs.
Exchange exchange(uint16_t port, const std::string& request, int quietMs = 500) {
  Exchange result;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, quietMs) <= 0) break;
    char buf[65536];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n > 0) {
      result.received.append(buf, static_cast<size_t>(n));
      continue;
    }
    result.end = (n == 0) ? End::kClose : End::kReset;
    if (n < 0) {
      EXPECT_EQ(errno, ECONNRESET);
    }
    break;
  }
  ::close(fd);
  return result;
}

TEST(ScriptedHttpServer, PlaysEachPatternAndRecordsTheRequest) {
  const std::string body = "<html>" + std::string(3000, 'x') + "</html>";
  const std::string response = httpResponse(200, body, {"Content-Type: text/html"});
  struct Case {
    const char* name;
    Script script;
    std::string expected;
    End end;
  } cases[] = {
      {"one write", patterns::oneWrite(body), response, End::kClose},
      {"header then body", patterns::headerThenBody(body), response, End::kClose},
      {"small writes", patterns::smallWrites(body, 100, 0ms), response, End::kClose},
      {"no length", patterns::noContentLength("abc"), httpResponse(200, "abc", {"Content-Type: text/html"}, false),
       End::kClose},
      {"chunked", patterns::chunked({"hello", "world!"}),
       httpHeader(200, std::string::npos, {"Content-Type: text/html", "Transfer-Encoding: chunked"}) +
           "5\r\nhello\r\n6\r\nworld!\r\n0\r\n\r\n",
       End::kClose},
      {"early close", patterns::earlyClose(body, 10), httpHeader(200, body.size(), {"Content-Type: text/html"}) +
                                                           body.substr(0, 10),
       End::kClose},
      {"reset", patterns::resetAfter(""), "", End::kReset},
      {"silence", patterns::silence(), "", End::kSilent},
      {"drip", patterns::slowDrip("HTTP/1.1 200", 2ms), "HTTP/1.1 200", End::kClose},
      {"garbage", patterns::garbage("\x01\x02zz"), "\x01\x02zz", End::kClose},
  };
  const std::string request = "GET /a HTTP/1.1\r\nHost: x\r\n\r\n";
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHttpServer server(c.script);
    Exchange got = exchange(server.port(), request);
    EXPECT_EQ(got.received, c.expected);
    EXPECT_EQ(got.end, c.end);
    EXPECT_EQ(server.requests(), std::vector<std::string>{request});
  }
}

TEST(ScriptedHttpServer, EndlessHeaderHasNoBlankLineAndConnectionsGetTheirOwnScripts) {
  ScriptedHttpServer server({patterns::endlessHeader(), patterns::oneWrite("second")});
  Exchange first = exchange(server.port(), "GET / HTTP/1.1\r\n\r\n");
  EXPECT_GE(first.received.size(), 1u << 20);
  EXPECT_EQ(first.received.find("\r\n\r\n"), std::string::npos);
  Exchange second = exchange(server.port(), "GET /2 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(second.received, httpResponse(200, "second", {"Content-Type: text/html"}));
  EXPECT_TRUE(server.waitForFinished(2));
  EXPECT_EQ(server.connectionCount(), 2u);
}

TEST(ScriptedHttpServer, StopsPromptlyWhileConnectionsSleepOrStaySilent) {
  auto start = Clock::now();
  int fds[2] = {-1, -1};
  {
    ScriptedHttpServer server({Script().sleep(60s), patterns::silence()});
    for (int& fd : fds) {
      fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(server.port());
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    while (server.connectionCount() < 2) std::this_thread::sleep_for(1ms);
  }
  EXPECT_LT(Clock::now() - start, 2s);
  for (int fd : fds) ::close(fd);
}

TEST(TempDir, HoldsFilesAndIsRemovedWithThem) {
  std::filesystem::path where;
  {
    TempDir dir;
    where = dir.path();
    auto file = dir.write("a/b/c.bin", std::string("x\0y", 3));
    EXPECT_EQ(readFile(file), std::string("x\0y", 3));
    TempDir other;
    EXPECT_NE(other.path(), where);
  }
  EXPECT_FALSE(std::filesystem::exists(where));
}

TEST(NginxServer, ServesTheFolderAndLogsEachRequest) {
  TempDir site;
  const std::string page = "<html><body>nginx page</body></html>";
  site.write("dir/Page.html", page);
  NginxServer nginx(site.path());
  ASSERT_TRUE(nginx.running()) << nginx.error();
  Exchange got = exchange(nginx.port(), "GET /dir/Page.html HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(got.received.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_EQ(got.received.substr(got.received.size() - page.size()), page);
  auto end = Clock::now() + 2s;
  while (nginx.requestCount() < 1 && Clock::now() < end) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(nginx.requestCount(), 1u);
}

}  // namespace
}  // namespace harbek::testing
