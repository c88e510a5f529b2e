// The scope rules of the harbek program against nginx: depth, include and
// exclude, size and file limits and robots.txt, each from the terminal and
// from sys.ini, on one small site.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include "crawler/tests/test_site.h"
#include "tests/support/child_process.h"
#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"

namespace harbek::crawler {
namespace {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;
using Files = std::set<std::string>;

void put(const fsys::path& root, const std::string& path, const std::string& bytes) {
  const fsys::path file = root / path;
  fsys::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

size_t countOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// index.html -> a.html -> a2.html -> a3.html; index.html -> docs/b.html ->
// docs/c.zip (also linked from index.html, twice); index.html -> big.bin
// (5000 bytes) and nolen/big.bin (5000 bytes, sent without Content-Length);
// index.html shows img.png.
class ScopeEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    const fsys::path site = dir_.file("site");
    const std::string big(5000, 'x');
    put(site, "index.html",
        "<a href=\"a.html\">a</a><a href=\"docs/b.html\">b</a><a href=\"docs/c.zip\">c</a>"
        "<a href=\"docs/c.zip\">c again</a><a href=\"big.bin\">big</a><a href=\"nolen/big.bin\">n</a>"
        "<img src=\"img.png\">");
    put(site, "a.html", "<a href=\"a2.html\">a2</a>");
    put(site, "a2.html", "<a href=\"a3.html\">a3</a>");
    put(site, "a3.html", "end");
    put(site, "docs/b.html", "<a href=\"c.zip\">c</a>");
    put(site, "docs/c.zip", "zip");
    put(site, "big.bin", big);
    put(site, "nolen/big.bin", big);
    put(site, "img.png", "png");
    testing_robots_ = site / "robots.txt";
    // A body the server changes is sent chunked, without Content-Length.
    NginxOptions options;
    options.serverLines = "location /nolen/ { sub_filter_types *; sub_filter 'qqq' 'qqq'; }";
    server_ = std::make_unique<harbek::testing::NginxServer>(site, options);
    ASSERT_TRUE(server_->running()) << server_->error();
  }
  using NginxOptions = harbek::testing::NginxOptions;

  struct Run {
    harbek::testing::ProgramRun program;
    Files saved;
  };
  // A copy into a fresh folder (or the same folder again with fresh = false).
  Run copy(const std::vector<std::string>& more, const std::string& ini = "", bool fresh = true) {
    if (fresh) {
      fsys::remove_all(dir_.file("save"));
      fsys::remove(dir_.file("sys.ini"));
      if (!ini.empty()) std::ofstream(dir_.file("sys.ini")) << "[sys]\n" << ini;
    }
    std::vector<std::string> a = {"--headless", "--ini", dir_.file("sys.ini").string(), "--save-dir",
                                  dir_.file("save").string(), "--interval", "0"};
    a.insert(a.end(), more.begin(), more.end());
    a.push_back(server_->url("/"));
    Run run{harbek::testing::runProgram(harbek::testing::harbekPath(), a, logs_.path(), 60s), {}};
    const std::string host = "127.0.0.1:" + std::to_string(server_->port()) + "/";
    for (const auto& [path, bytes] : testing::savedTree(dir_.file("save"), nullptr)) {
      run.saved.insert(path.starts_with(host) ? path.substr(host.size()) : path);
    }
    return run;
  }

  harbek::testing::TempDir dir_;
  harbek::testing::TempDir logs_;
  std::unique_ptr<harbek::testing::NginxServer> server_;
  fsys::path testing_robots_;
};

const Files kAll = {"index.html", "a.html",     "a2.html",       "a3.html", "docs/b.html",
                    "docs/c.zip", "big.bin",    "nolen/big.bin", "img.png"};

Files without(Files files, const Files& gone) {
  for (const std::string& f : gone) files.erase(f);
  return files;
}

TEST_F(ScopeEndToEnd, DepthLimitsHowFarLinksAreFollowed) {
  const Files depth1 = {"index.html", "a.html", "docs/b.html", "docs/c.zip", "big.bin", "nolen/big.bin", "img.png"};
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string ini;
    Files saved;
  } cases[] = {
      {"depth 0: the start page and its image", {"--depth", "0"}, "", {"index.html", "img.png"}},
      {"depth 1", {"--depth", "1"}, "", depth1},
      {"depth 2", {"--depth", "2"}, "", without(kAll, {"a3.html"})},
      {"from sys.ini", {}, "Depth=1\n", depth1},
      {"no limit", {}, "", kAll},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Run run = copy(c.args, c.ini);
    EXPECT_EQ(run.program.exitCode, 0) << run.program.err;
    EXPECT_EQ(run.saved, c.saved);
  }
  // A depth rides with its link through the spill files: a copy stopped by
  // --max-files and resumed still ends at depth 1.
  const Run first = copy({"--depth", "1", "--max-files", "2"});
  EXPECT_EQ(first.saved.size(), 2u);
  const Run resumed = copy({"--depth", "1"}, "", false);
  EXPECT_EQ(resumed.program.exitCode, 0) << resumed.program.err;
  EXPECT_EQ(resumed.saved, depth1);
}

TEST_F(ScopeEndToEnd, IncludeAndExcludePatternsOnThePath) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string ini;
    Files saved;
    std::string loggedOnce;  // a rule's log line, told once per URL
  } cases[] = {
      {"include", {"--include", "/docs/*"}, "", {"index.html", "docs/b.html", "docs/c.zip"}, "a.html (--include /docs/*)"},
      {"exclude", {"--exclude", "*.zip"}, "", without(kAll, {"docs/c.zip"}), "docs/c.zip (--exclude *.zip)"},
      {"exclude wins", {"--include", "/docs/*", "--exclude", "*.ZIP"}, "", {"index.html", "docs/b.html"},
       "docs/c.zip (--exclude *.ZIP)"},
      {"repeated", {"--exclude", "/a*", "--exclude", "*.bin"}, "", {"index.html", "docs/b.html", "docs/c.zip", "img.png"},
       "a.html (--exclude /a*)"},
      {"from sys.ini", {}, "Include=/docs/* /img.png\nExclude=*.zip\n", {"index.html", "docs/b.html", "img.png"},
       "docs/c.zip (--exclude *.zip)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Run run = copy(c.args, c.ini);
    EXPECT_EQ(run.program.exitCode, 0) << run.program.err;
    EXPECT_EQ(run.saved, c.saved);
    EXPECT_EQ(countOf(run.program.out, c.loggedOnce), 1u) << run.program.out;
  }
}

TEST_F(ScopeEndToEnd, MaxSizeJudgedByLengthOrCutOff) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string ini;
    Files saved;
  } cases[] = {
      {"both big files left out", {"--max-size", "4999"}, "", without(kAll, {"big.bin", "nolen/big.bin"})},
      {"exactly the limit is kept", {"--max-size", "5000"}, "", kAll},
      {"from sys.ini", {}, "MaxSize=1000\n", without(kAll, {"big.bin", "nolen/big.bin"})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Run run = copy(c.args, c.ini);
    EXPECT_EQ(run.program.exitCode, 0) << run.program.err;
    EXPECT_EQ(run.saved, c.saved);  // nothing of a file left out stays, not even a partial file
    if (!c.saved.contains("big.bin")) {
      EXPECT_NE(run.program.out.find("(--max-size "), std::string::npos);
    }
  }
}

TEST_F(ScopeEndToEnd, MaxFilesStopsTheCopyAndKeepsTheQueue) {
  const struct {
    std::vector<std::string> args;
    std::string ini;
    size_t saved;
    bool queueKept;
  } cases[] = {
      {{"--max-files", "1"}, "", 1, true},
      {{"--max-files", "4"}, "", 4, true},
      {{}, "MaxFiles=3\n", 3, true},
      {{"--max-files", "100"}, "", kAll.size(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.saved);
    const Run run = copy(c.args, c.ini);
    EXPECT_EQ(run.program.exitCode, 0) << run.program.err;
    EXPECT_EQ(run.saved.size(), c.saved);
    EXPECT_EQ(fsys::exists(dir_.file("save") / "tmp"), c.queueKept);
  }
}

TEST_F(ScopeEndToEnd, RobotsTxtRulesForTheAgentOrAll) {
  const struct {
    const char* name;
    std::string robots;  // empty: none on the server
    std::vector<std::string> args;
    Files saved;
    std::string logged;
  } cases[] = {
      {"Disallow for all", "User-agent: *\nDisallow: /docs/\n", {"--robots"}, without(kAll, {"docs/b.html", "docs/c.zip"}),
       "docs/c.zip (robots.txt Disallow: /docs/)"},
      {"own group wins, longest match, Allow", "User-agent: *\nDisallow: /\n\nUser-agent: Harbek\nDisallow: /a\nAllow: /a.html\n",
       {"--robots"}, without(kAll, {"a2.html", "a3.html"}), "a2.html (robots.txt Disallow: /a)"},
      {"anchored pattern", "User-agent: *\nDisallow: /*.bin$\n", {"--robots"}, without(kAll, {"big.bin", "nolen/big.bin"}),
       "/nolen/big.bin (robots.txt Disallow: /*.bin$)"},
      {"no robots.txt", "", {"--robots"}, kAll, "没有robots.txt"},
      {"not asked for", "User-agent: *\nDisallow: /\n", {}, kAll, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fsys::remove(testing_robots_);
    if (!c.robots.empty()) put(testing_robots_.parent_path(), "robots.txt", c.robots);
    const Run run = copy(c.args);
    EXPECT_EQ(run.program.exitCode, 0) << run.program.err;
    EXPECT_EQ(run.saved, c.saved);
    if (!c.logged.empty()) {
      EXPECT_EQ(countOf(run.program.out, c.logged), 1u) << run.program.out;
    }
  }
  // Crawl-delay raises the interval: two fetches after the robots.txt take a
  // second between them.
  put(testing_robots_.parent_path(), "robots.txt", "User-agent: *\nCrawl-delay: 1\n");
  const auto start = std::chrono::steady_clock::now();
  const Run slow = copy({"--robots", "--depth", "0"});
  EXPECT_EQ(slow.saved, (Files{"index.html", "img.png"}));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(countOf(harbek::testing::readFile(server_->accessLogPath()), "GET /robots.txt"), 5u);  // once a run
}

}  // namespace
}  // namespace harbek::crawler
