// The harbek program against nginx with the names real sites use: UTF-8 and
// percent-encoded paths, "." and ".." links, pages without an extension next
// to folders of the same name, and pages with a query.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "crawler/tests/test_site.h"
#include "tests/support/child_process.h"
#include "tests/support/chromium_probe.h"
#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"

namespace harbek::crawler {
namespace {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;
using harbek::testing::ChildProcess;
using harbek::testing::harbekPath;
using harbek::testing::NginxOptions;
using harbek::testing::NginxServer;
using harbek::testing::readFile;
using harbek::testing::TempDir;
using testing::requestPaths;
using testing::savedTree;
using testing::Tree;

void put(const fsys::path& root, const std::string& path, const std::string& bytes) {
  const fsys::path file = root / fsys::u8path(path);
  fsys::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

class NamesEndToEnd : public ::testing::Test {
 protected:
  void serve(NginxOptions options = {}) {
    server_ = std::make_unique<NginxServer>(dir_.file("site"), std::move(options));
    ASSERT_TRUE(server_->running()) << server_->error();
    host_ = "127.0.0.1:" + std::to_string(server_->port());
  }
  harbek::testing::ProgramRun copy(const std::string& save, std::vector<std::string> more) {
    std::vector<std::string> a = {"--headless", "--ini", dir_.file("sys.ini").string(), "--save-dir",
                                  dir_.file(save).string(), "--interval", "0"};
    a.insert(a.end(), more.begin(), more.end());
    return harbek::testing::runProgram(harbekPath(), a, logs_.path(), 90s);
  }
  fsys::path site() const { return dir_.file("site"); }

  TempDir dir_;
  TempDir logs_;
  std::unique_ptr<NginxServer> server_;
  std::string host_;
};

// UTF-8 names saved as themselves, "." and ".." links resolved before they
// are requested, and a crawl killed while a long page of such names arrives
// in pieces (characters split between arrivals, names GBK cannot hold in the
// queue journal) resumes and saves every one of them.
TEST_F(NamesEndToEnd, Utf8NamesAndDotSegmentsSurviveAKill) {
  fsys::create_directories(site());
  const std::string meta = "<meta charset=\"utf-8\">";
  Tree expected;
  auto page = [&](const std::string& path, const std::string& bytes) {
    put(site(), path, bytes);
    expected[(path.empty() || path.ends_with('/')) ? path + "index.html" : path] = bytes;
  };
  page("index.html", meta + "<a href=\".\">home</a><a href=\"./\">home</a><a href=\"docs/\">docs</a>"
                            "<a href=\"/文档/页面.html\">1</a><a href=\"/документ.html\">2</a><a href=\"/café.html\">3</a>"
                            "<a href=\"/%E6%96%87%E6%A1%A3/%E7%BC%96%E7%A0%81.html\">4</a><a href=\"/ไทย.html\">5</a>"
                            "<a href=\"/slow/big.html\">big</a>");
  page("docs/index.html", meta + "<a href=\"..\">up</a><a href=\"./a.html\">a</a><a href=\"npm/cli/x.html\">x</a>");
  page("docs/a.html", meta + "<a href=\"../docs/.\">docs</a>");
  page("docs/npm/cli/x.html", meta + "<a href=\"../../..\">home</a><a href=\"../../../docs/a.html\">a</a>");
  for (const char* name : {"文档/页面.html", "документ.html", "café.html", "文档/编码.html", "ไทย.html"}) page(name, name);
  std::string big = meta;
  for (int i = 0; i < 150; ++i) {
    const std::string name = "n/" + std::string(i % 2 ? "ไทย" : "文字") + "-" + std::to_string(i) + ".html";
    page(name, "file " + name);
    big += "<a href=\"/" + name + "\">" + std::string(3000, i % 2 ? 'x' : ' ') + "</a>\n";
  }
  page("slow/big.html", big);
  serve();

  // Killed once some of the big page's links have been saved.
  {
    ChildProcess crawl(harbekPath(),
                       {"--headless", "--ini", dir_.file("sys.ini").string(), "--save-dir",
                        dir_.file("save").string(), "--interval", "20", server_->url("/")},
                       dir_.file("out1"), dir_.file("err1"));
    ASSERT_TRUE(crawl.running());
    ASSERT_TRUE(crawl.waitForOutput("/n/", 20, 60s)) << readFile(dir_.file("out1"));
    crawl.signal(SIGKILL);
    crawl.wait(30s);
  }
  auto r = copy("save", {});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  Tree want;
  for (const auto& [path, bytes] : expected) want[host_ + "/" + path] = bytes;
  std::vector<std::string> strays;
  testing::expectSameTree(want, savedTree(dir_.file("save"), &strays));
  for (const std::string& path : requestPaths(server_->accessLogPath())) {
    EXPECT_EQ(path.find("/./"), std::string::npos) << path;
    EXPECT_EQ(path.find("/../"), std::string::npos) << path;
    EXPECT_FALSE(path.ends_with("/.") || path.ends_with("/..")) << path;
  }
}

// Pages without an extension beside folders of the same name, met in both
// orders: every page is saved, a page as NAME.html, a file that is no page
// as NAME/index.html, and the converted links lead to them.
TEST_F(NamesEndToEnd, PagesAndFoldersOfOneNameInBothOrders) {
  fsys::create_directories(site());
  put(site(), "first-page.html", "<a href='/a'>a</a> <a href='/data'>d</a> <a href='/a/b'>b</a> <a href='/data/x.html'>x</a>");
  put(site(), "first-folder.html", "<a href='/a/b'>b</a> <a href='/data/x.html'>x</a> <a href='/a'>a</a> <a href='/data'>d</a>");
  NginxOptions options;
  options.serverLines =
      "location = /a { default_type text/html; return 200 \"<a href='/a/b'>b</a>\"; }\n"
      "location = /a/b { default_type text/html; return 200 \"<a href='/a'>a</a>\"; }\n"
      "location = /data { default_type application/octet-stream; return 200 \"data\"; }\n"
      "location = /data/x.html { default_type text/html; return 200 \"<a href='/data'>d</a>\"; }\n";
  serve(options);
  for (const std::string start : {"first-page.html", "first-folder.html"}) {
    SCOPED_TRACE(start);
    auto r = copy(start, {"--convert-links", server_->url("/" + start)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const Tree saved = savedTree(dir_.file(start), nullptr);
    const std::string h = host_ + "/";
    std::set<std::string> names;
    for (const auto& [name, bytes] : saved) names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{h + start, h + "a.html", h + "a/b.html", h + "data/index.html",
                                            h + "data/x.html"}));
    EXPECT_NE(saved.at(h + "a/b.html").find("href='../a.html'"), std::string::npos) << saved.at(h + "a/b.html");
    EXPECT_NE(saved.at(h + "data/x.html").find("href='index.html'"), std::string::npos) << saved.at(h + "data/x.html");
  }
}

// A site whose pages are all "doku.php?id=...": by default only what the
// rules allow, with the skipped links counted in the summary; with
// --query-pages every page, under a name that holds its query, and the
// converted links open those files.
TEST_F(NamesEndToEnd, PagesWithAQuery) {
  fsys::create_directories(site());
  NginxOptions options;
  options.serverLines =
      "location = /doku.php { default_type text/html; return 200 "
      "\"<a href='doku.php?id=start'>s</a><a href='?id=team'>t</a><a href='/doku.php?id=wiki:syntax'>w</a>\"; }\n";
  serve(options);
  auto plain = copy("plain", {server_->url("/doku.php?id=start")});
  EXPECT_NE(plain.err.find("links with a query skipped (--query-pages follows them)"), std::string::npos) << plain.err;

  auto r = copy("query", {"--query-pages", "--convert-links", server_->url("/doku.php?id=start")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const Tree saved = savedTree(dir_.file("query"), nullptr);
  const std::string h = host_ + "/";
  std::set<std::string> names;
  for (const auto& [name, bytes] : saved) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{h + "doku.php?id=start.html", h + "doku.php?id=team.html",
                                          h + "doku.php?id=wiki:syntax.html"}));
  const std::string& start = saved.at(h + "doku.php?id=start.html");
  EXPECT_NE(start.find("href='doku.php%3Fid=team.html'"), std::string::npos) << start;
  EXPECT_EQ(requestPaths(server_->accessLogPath()).size(), 1u + 3u);

  // Opened from disk, every page of the copy is reached through its links.
  const std::string chromium = harbek::testing::findChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
  const fsys::path browse = dir_.file("browse");
  fsys::create_directories(browse);
  const harbek::testing::BrowseReport report =
      harbek::testing::browseOffline(chromium, dir_.file("query") / host_ / "doku.php?id=start.html", browse);
  ASSERT_TRUE(report.ran) << report.error;
  EXPECT_EQ(report.visited, 3u);
  EXPECT_EQ(report.failures, "");
}

}  // namespace
}  // namespace harbek::crawler
