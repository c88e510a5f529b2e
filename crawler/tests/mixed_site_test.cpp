// The controller with the real fetcher against one site served over both
// schemes: nginx on two loopback ports, one plain and one https (with a
// certificate of a test CA), both serving the same folder. The fetcher
// connects http URLs to the first and https URLs to the second, so the URLs
// carry no port and http://127.0.0.1/ and https://127.0.0.1/ are one site.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "crawler/crawl_controller.h"
#include "crawler/tests/fake_fetcher.h"
#include "platform/text/text.h"
#include "tests/support/checked_loop.h"
#include "tests/support/fake_name_server.h"
#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_ca.h"

namespace harbek::crawler {
namespace {

namespace fsys = std::filesystem;
using harbek::testing::FakeNameServer;
using harbek::testing::NginxOptions;
using harbek::testing::NginxServer;
using harbek::testing::readFile;
using harbek::testing::TempDir;
using harbek::testing::TestCa;

// "METHOD path status" per line of an nginx access log.
std::multiset<std::string> requests(const fsys::path& log) {
  std::multiset<std::string> out;
  std::istringstream in(readFile(log));
  for (std::string line; std::getline(in, line);) {
    const size_t q = line.find('"');
    const size_t end = line.find('"', q + 1);
    std::istringstream request(line.substr(q + 1, end - q - 1)), rest(line.substr(end + 1));
    std::string method, path;
    int status = 0;
    request >> method >> path;
    rest >> status;
    out.insert(path + " " + std::to_string(status));
  }
  return out;
}

// nginx logs a request once it has finished with it, a moment after the
// crawl may have read the whole answer.
void waitForLogs(const NginxServer& plain, const NginxServer& secure, size_t requests) {
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
       plain.requestCount() + secure.requestCount() < requests && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Crawls start to its end with the real fetcher, http connecting to plain and
// https to secure, trusting ca; the monitor lines go to view.
void crawl(const TempDir& dir, const std::u16string& start, const NginxServer& plain, const NginxServer& secure,
           const TestCa& ca, testing::RecordingView& view, const net::TcpClientOptions& connections = {}) {
  harbek::testing::CheckedLoop loop;
  CrawlController::Options options;
  options.iniPath = text::fromUtf8(dir.file("sys.ini").string());
  options.intervalMs = 1;
  options.request.caCertificate = text::fromUtf8(ca.certificate().string());
  options.makeFetcher = [&](event::EventLoop& l, fetcher::HtmlEvents& owner) {
    auto f = std::make_unique<HtmlFetcher>(l, owner, connections);
    f->control().setPort(plain.port());
    f->control().setHttpsPort(secure.port());
    return f;
  };
  CrawlController sys(*loop, view, options);
  sys.startUp();
  sys.addUrl(start);
  sys.setFinishedHandler([&] { loop->quit(); });
  ASSERT_TRUE(sys.run());
  loop->run();
  EXPECT_EQ(sys.counts().networkFailures, 0);
}

TEST(MixedSite, HttpAndHttpsPagesOfOneHostAreOneSite) {
  TestCa ca;
  ASSERT_TRUE(ca.ready());
  TempDir dir;
  const fsys::path root = dir.file("site"), save = dir.file("save");
  const std::map<std::string, std::string> pages = {
      {"index.html",
       "<a href=\"https://127.0.0.1/s/a.html\">a</a> <a href=\"b.html\">b</a> <a href=\"old.html\">old</a>"
       "<a href=\"/loop1\">loop</a> <a href=\"/away\">away</a> <a href=\"//127.0.0.1/s/c.html\">c</a>"},
      {"s/a.html", "<a href=\"../d.html\">d</a> <a href=\"http://127.0.0.1/e.html\">e</a> <img src=\"/p.gif\">"},
      {"s/c.html", "c"},
      {"b.html", "<a href=\"https://127.0.0.1/b.html\">same file</a>"},
      {"d.html", "d"},
      {"e.html", "e"},
      {"new.html", "new"},
      {"p.gif", std::string("GIF89a\0\1\2\3", 10)},
  };
  for (const auto& [path, body] : pages) {
    fsys::create_directories((root / path).parent_path());
    std::ofstream(root / path, std::ios::binary) << body;
  }
  const std::string redirects =
      "absolute_redirect off;\n"
      "location = /old.html { return 301 https://$host/new.html; }\n"
      "location = /loop1 { return 301 /loop2; }\n"
      "location = /loop2 { return 302 http://$host/loop1; }\n"
      "location = /away { return 302 http://other.test/; }\n";
  const TestCa::Issued cert = ca.issue("IP:127.0.0.1");
  NginxServer plain(root, NginxOptions{{}, {}, redirects});
  NginxServer secure(root, NginxOptions{cert.certificate, cert.key, redirects});
  ASSERT_TRUE(plain.running()) << plain.error();
  ASSERT_TRUE(secure.running()) << secure.error();
  std::ofstream(dir.file("sys.ini")) << "[sys]\ndbpath=" << save.string() << "\n";

  testing::RecordingView view;
  crawl(dir, u"http://127.0.0.1/", plain, secure, ca, view);

  // Every page once, byte for byte, where its http URL would be saved.
  std::map<std::string, std::string> saved;
  for (auto it = fsys::recursive_directory_iterator(save / "127.0.0.1"); it != fsys::recursive_directory_iterator();
       ++it) {
    if (it->is_regular_file()) saved[fsys::relative(it->path(), save / "127.0.0.1").string()] = readFile(it->path());
  }
  EXPECT_EQ(saved, pages);

  waitForLogs(plain, secure, 12);
  EXPECT_EQ(requests(plain.accessLogPath()),
            (std::multiset<std::string>{"/ 200", "/b.html 200", "/old.html 301", "/loop1 301", "/loop2 302",
                                        "/away 302", "/s/c.html 200", "/e.html 200"}));
  EXPECT_EQ(requests(secure.accessLogPath()),
            (std::multiset<std::string>{"/s/a.html 200", "/new.html 200", "/d.html 200", "/p.gif 200"}));
  for (const std::u16string line : {u"重定向301:http://127.0.0.1/old.html -> https://127.0.0.1/new.html",
                                    u"重定向302:http://127.0.0.1/away -> http://other.test/"}) {
    EXPECT_EQ(view.count(line), 1u) << text::toUtf8(line);
  }
}

// The common case of a public site: the bare host answers http with a
// redirect to https on its www host, and the copy moves there. Both names
// come from a loopback name server.
TEST(MixedSite, StartAddressRedirectedToItsWwwHostMovesTheCopy) {
  TestCa ca;
  ASSERT_TRUE(ca.ready());
  FakeNameServer names({{"site.test", "127.0.0.1"}, {"www.site.test", "127.0.0.1"}});
  TempDir dir;
  const fsys::path root = dir.file("site"), save = dir.file("save");
  const std::map<std::string, std::string> pages = {
      {"index.html", "<a href=\"a.html\">a</a> <a href=\"http://site.test/c.html\">old host</a>"},
      {"a.html", "<a href=\"https://www.site.test/b.html\">b</a>"},
      {"b.html", "b"},
      {"c.html", "c"},
  };
  fsys::create_directories(root);
  for (const auto& [path, body] : pages) std::ofstream(root / path, std::ios::binary) << body;
  const TestCa::Issued cert = ca.issue("DNS:www.site.test");
  NginxServer plain(root, NginxOptions{{}, {}, "if ($host = site.test) { return 301 https://www.site.test$request_uri; }\n"});
  NginxServer secure(root, NginxOptions{cert.certificate, cert.key, {}});
  ASSERT_TRUE(plain.running()) << plain.error();
  ASSERT_TRUE(secure.running()) << secure.error();
  std::ofstream(dir.file("sys.ini")) << "[sys]\ndbpath=" << save.string() << "\n";

  testing::RecordingView view;
  crawl(dir, u"site.test", plain, secure, ca, view, net::TcpClientOptions{names.address()});

  std::set<std::string> saved;
  for (auto it = fsys::recursive_directory_iterator(save); it != fsys::recursive_directory_iterator(); ++it) {
    const std::string rel = fsys::relative(it->path(), save).string();
    if (it->is_regular_file() && !rel.starts_with(".harbek/")) saved.insert(rel);  // not the copy's state
  }
  EXPECT_EQ(saved, (std::set<std::string>{"www.site.test/index.html", "www.site.test/a.html", "www.site.test/b.html"}));
  waitForLogs(plain, secure, 4);
  EXPECT_EQ(requests(plain.accessLogPath()), (std::multiset<std::string>{"/ 301"}));
  EXPECT_EQ(requests(secure.accessLogPath()), (std::multiset<std::string>{"/ 200", "/a.html 200", "/b.html 200"}));
  EXPECT_EQ(view.count(u"起始地址转到新站点:www.site.test"), 1u);
}

}  // namespace
}  // namespace harbek::crawler
