// The control html fetching https: nginx with certificates made by a test CA,
// and the scripted server for handshakes that go wrong.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "fetcher/html.h"
#include "fetcher/tests/fetch_support.h"
#include "tests/support/checked_loop.h"
#include "tests/support/nginx_server.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_ca.h"

namespace harbek::fetcher {
namespace {

using harbek::testing::NginxOptions;
using harbek::testing::NginxServer;
using harbek::testing::readFile;
using harbek::testing::Script;
using harbek::testing::ScriptedHttpServer;
using harbek::testing::TempDir;
using harbek::testing::TestCa;
using testing::Recorder;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Fetch {
  harbek::testing::CheckedLoop loop;
  Recorder owner;
  html control{*loop, owner};
};

bool logged(const Recorder& r, const std::string& part) {
  for (const std::string& e : r.events) {
    if (e.starts_with("ShowState") && e.find(part) != std::string::npos) return true;
  }
  return false;
}

std::string eventsText(const Recorder& r) {
  std::string all;
  for (const std::string& e : r.events) all += e + "\n";
  return all;
}

// One server per certificate; each case fetches one page and either gets it
// whole or fails at once, with the certificate's fault named.
TEST(HttpsFetch, CertificateChecksDecideEachFetchAtOnce) {
  TestCa ca;
  ASSERT_TRUE(ca.ready());
  TempDir root;
  const std::string page = "<html>secure page</html>\n";
  std::ofstream(root.file("p.html")) << page;
  const TestCa::Issued forLoopback = ca.issue("IP:127.0.0.1,DNS:localhost");
  const TestCa::Issued forOther = ca.issue("DNS:other.test");
  const TestCa::Issued expiredYesterday = ca.issue("IP:127.0.0.1", -1);
  NginxServer good(root.path(), NginxOptions{forLoopback.certificate, forLoopback.key, ""});
  NginxServer other(root.path(), NginxOptions{forOther.certificate, forOther.key, ""});
  NginxServer expired(root.path(), NginxOptions{expiredYesterday.certificate, expiredYesterday.key, ""});
  for (const NginxServer* server : {&good, &other, &expired}) ASSERT_TRUE(server->running()) << server->error();
  const std::string trusted = ca.certificate().string();

  const struct {
    const char* name;
    const NginxServer& server;
    const char* host;
    std::string caFile;  // empty: the system's trusted certificates
    bool verify;
    const char* line;  // in the log; for a page, the end of a whole fetch
  } cases[] = {
      {"trusted CA", good, "127.0.0.1", trusted, true, "数据取回完成"},
      {"trusted CA, host name", good, "localhost", trusted, true, "数据取回完成"},
      {"CA not trusted", good, "127.0.0.1", "", true, "unable to get local issuer certificate"},
      {"no check", good, "127.0.0.1", "", false, "数据取回完成"},
      {"certificate for another name", other, "127.0.0.1", trusted, true, "IP address mismatch"},
      {"certificate for another host name", other, "localhost", trusted, true, "hostname mismatch"},
      {"no check, another name", other, "localhost", "", false, "数据取回完成"},
      {"expired", expired, "127.0.0.1", trusted, true, "certificate has expired"},
      {"no check, expired", expired, "127.0.0.1", "", false, "数据取回完成"},
      {"CA file missing", good, "127.0.0.1", root.file("none.pem").string(), true,
       "cannot read the trusted certificates"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fetch f;
    net::TlsOptions tls;
    tls.verify = c.verify;
    tls.caFile = c.caFile;
    f.control.setTlsOptions(tls);
    const std::string url = std::string("https://") + c.host + ":" + std::to_string(c.server.port()) + "/p.html";
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(f.control.OpenUrl(text::fromUtf8(url)), com::kOk);
    EXPECT_LT(Clock::now() - start, 3s);
    const bool whole = std::string(c.line) == "数据取回完成";
    EXPECT_EQ(f.control.lastFetchComplete(), whole);
    EXPECT_EQ(f.owner.saved, whole ? page : "");
    EXPECT_TRUE(logged(f.owner, c.line)) << eventsText(f.owner);
    if (whole) {
      EXPECT_EQ(text::toUtf8(f.control.fileName()), "/p.html");
    }
  }
}

// Every fetch has its own connection; after the first, each resumes the
// session of the one before.
TEST(HttpsFetch, ResumesTheSessionOnTheNextConnection) {
  TestCa ca;
  ASSERT_TRUE(ca.ready());
  TempDir root;
  std::ofstream(root.file("a.html")) << "a";
  const TestCa::Issued cert = ca.issue("IP:127.0.0.1");
  NginxServer server(root.path(), NginxOptions{cert.certificate, cert.key, ""});
  ASSERT_TRUE(server.running()) << server.error();
  Fetch f;
  f.control.setTlsOptions({true, ca.certificate().string()});
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(f.control.OpenUrl(text::fromUtf8(server.url("/a.html"))), com::kOk);
    ASSERT_TRUE(f.control.lastFetchComplete()) << eventsText(f.owner);
  }
  // nginx writes a request's line once it has finished with it, which may be
  // a moment after the client has read the whole answer.
  for (const Clock::time_point end = Clock::now() + 2s; server.requestCount() < 3 && Clock::now() < end;) {
    std::this_thread::sleep_for(5ms);
  }
  std::istringstream log(readFile(server.accessLogPath()));
  std::string reused;
  for (std::string line; std::getline(log, line);) reused += line.substr(line.rfind(' ') + 1);
  EXPECT_EQ(reused, ".rr");
}

// Servers that do not complete a handshake: each fetch ends within the
// connect limit (1 s here) with its reason, and nothing is delivered.
TEST(HttpsFetch, BrokenHandshakesEndWithinTheLimits) {
  const struct {
    const char* name;
    Script script;
    const char* line;
  } cases[] = {
      {"closes during the handshake", Script().sleep(50ms).close(), "closed the connection during the TLS handshake"},
      {"resets during the handshake", Script().sleep(50ms).reset(), "wskError:"},
      {"answers in plain HTTP", Script().sleep(50ms).write("HTTP/1.1 400 Bad Request\r\n\r\n").silence(),
       "the TLS handshake failed"},
      {"stalls", Script().silence(), "连接服务器时间过长"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHttpServer server(c.script);
    Fetch f;
    f.control.setWaitTime(1);
    const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/x.html";
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(f.control.OpenUrl(text::fromUtf8(url)), com::kOk);
    EXPECT_LT(Clock::now() - start, 2500ms);
    EXPECT_FALSE(f.control.lastFetchComplete());
    EXPECT_EQ(f.owner.saved, "");
    EXPECT_TRUE(logged(f.owner, c.line)) << eventsText(f.owner);
  }
}

}  // namespace
}  // namespace harbek::fetcher
