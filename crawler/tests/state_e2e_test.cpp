// The state store of a copy through the harbek program against nginx: the
// validators of what was saved, a failure kept with its reason, listed by
// --failed and asked for first by the next run.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "crawler/tests/test_site.h"
#include "store/state_store.h"
#include "tests/support/child_process.h"
#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"

namespace harbek::crawler {
namespace {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;
using harbek::testing::readFile;

void put(const fsys::path& file, const std::string& bytes) {
  fsys::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

// The request paths of the access log from line `from` on.
std::vector<std::string> requestsFrom(const fsys::path& log, size_t from) {
  std::vector<std::string> out;
  std::istringstream in(readFile(log));
  size_t n = 0;
  for (std::string line; std::getline(in, line); ++n) {
    const size_t q = line.find("\"GET ");
    if (n >= from && q != std::string::npos) out.push_back(line.substr(q + 5, line.find(' ', q + 5) - q - 5));
  }
  return out;
}

TEST(StateEndToEnd, FailureIsKeptListedAndAskedForFirstNextRun) {
  harbek::testing::TempDir dir, logs;
  const fsys::path site = dir.file("site");
  put(site / "index.html", "<a href=\"page.html\">p</a><a href=\"flaky.bin\">f</a>");
  put(site / "page.html", "<a href=\"index.html\">home</a>");
  put(site / "flaky.bin", "the flaky file");
  put(site / "flaky.fail", "");  // while it is there the server answers 503
  harbek::testing::NginxOptions options;
  options.serverLines = "location = /flaky.bin { if (-f $document_root/flaky.fail) { return 503; } }";
  harbek::testing::NginxServer server(site, options);
  ASSERT_TRUE(server.running()) << server.error();
  const std::string save = dir.file("save").string();
  auto copy = [&] {
    return harbek::testing::runProgram(harbek::testing::harbekPath(),
                                       {"--headless", "--ini", dir.file("sys.ini").string(), "--save-dir", save,
                                        "--interval", "0", server.url("/")},
                                       logs.path(), 60s);
  };
  auto failed = [&] { return harbek::testing::runProgram(harbek::testing::harbekPath(), {"--failed", save}, logs.path(), 20s); };

  const auto first = copy();
  EXPECT_EQ(first.exitCode, 8) << first.err;  // a server error
  const auto listed = failed();
  EXPECT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(listed.out, server.url("/flaky.bin") + "\tHTTP 503\n");
  {
    store::StateStore state;
    ASSERT_TRUE(state.open(save, true)) << state.error();
    const auto index = state.find(server.url("/"));
    ASSERT_TRUE(index.has_value());
    EXPECT_EQ(index->file, "127.0.0.1:" + std::to_string(server.port()) + "/index.html");
    EXPECT_EQ(index->status, 200);
    EXPECT_TRUE(index->etag.starts_with("\"")) << index->etag;  // as sent, quotes and case kept
    EXPECT_TRUE(index->lastModified.ends_with(" GMT")) << index->lastModified;
    EXPECT_EQ(index->size, static_cast<int64_t>(fsys::file_size(site / "index.html")));
    EXPECT_TRUE(index->failure.empty());
  }

  fsys::remove(site / "flaky.fail");
  const size_t before = requestsFrom(server.accessLogPath(), 0).size();
  const auto second = copy();
  EXPECT_EQ(second.exitCode, 0) << second.err;
  const std::vector<std::string> asked = requestsFrom(server.accessLogPath(), before);
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.front(), "/flaky.bin");  // before the queue's other entries
  EXPECT_EQ(readFile(dir.file("save") / ("127.0.0.1:" + std::to_string(server.port())) / "flaky.bin"), "the flaky file");
  const auto none = failed();
  EXPECT_EQ(none.exitCode, 0);
  EXPECT_EQ(none.out, "");

  // A folder that holds no copy's state says so.
  EXPECT_EQ(harbek::testing::runProgram(harbek::testing::harbekPath(), {"--failed", dir.file("site").string()}, logs.path(), 20s)
                .exitCode,
            1);
}


// "GET path" -> status of the access log from line `from` on.
std::map<std::string, std::string> statusesFrom(const fsys::path& log, size_t from) {
  std::map<std::string, std::string> out;
  std::istringstream in(readFile(log));
  size_t n = 0;
  for (std::string line; std::getline(in, line); ++n) {
    const size_t q = line.find("\"GET ");
    if (n < from || q == std::string::npos) continue;
    const size_t end = line.find('"', q + 1);
    out[line.substr(q + 5, line.find(' ', q + 5) - q - 5)] = line.substr(end + 2, 3);
  }
  return out;
}

// An update after pages changed, came, went and a file that failed the first
// time now answers: exactly the changed and new ones come with 200, the
// saved ones with 304, the gone one keeps its file, and the summary counts it.
TEST(StateEndToEnd, UpdateAsksConditionallyAndCountsWhatChanged) {
  harbek::testing::TempDir dir, logs;
  const fsys::path site = dir.file("site");
  put(site / "index.html", "<a href=\"a.html\">a</a><a href=\"b.html\">b</a><a href=\"c.html\">c</a><a href=\"f.bin\">f</a>");
  put(site / "a.html", "old a");
  put(site / "b.html", "<a href=\"index.html\">b</a>");
  put(site / "c.html", "c, soon gone");
  put(site / "f.bin", "f at last");
  put(site / "f.fail", "");
  harbek::testing::NginxOptions options;
  options.serverLines = "location = /f.bin { if (-f $document_root/f.fail) { return 502; } }";
  harbek::testing::NginxServer server(site, options);
  ASSERT_TRUE(server.running()) << server.error();
  const fsys::path save = dir.file("save");
  const fsys::path saved = save / ("127.0.0.1:" + std::to_string(server.port()));
  auto copy = [&](std::vector<std::string> more) {
    std::vector<std::string> a = {"--headless", "--ini", dir.file("sys.ini").string(), "--save-dir", save.string(),
                                  "--interval", "0", server.url("/")};
    a.insert(a.end(), more.begin(), more.end());
    return harbek::testing::runProgram(harbek::testing::harbekPath(), a, logs.path(), 60s);
  };
  EXPECT_EQ(copy({}).exitCode, 8);
  ASSERT_EQ(readFile(saved / "a.html"), "old a");

  put(site / "a.html", "new a, and <a href=\"d.html\">d</a>");
  fsys::last_write_time(site / "a.html", fsys::last_write_time(site / "a.html") + 10s);
  put(site / "d.html", "d is new");
  fsys::remove(site / "c.html");
  fsys::remove(site / "f.fail");
  const size_t before = requestsFrom(server.accessLogPath(), 0).size();
  const auto update = copy({"--update"});
  EXPECT_EQ(update.exitCode, 0) << update.err;
  EXPECT_NE(update.err.find("update: 1 changed, 2 new, 2 unchanged, 1 gone, 0 failed"), std::string::npos) << update.err;
  EXPECT_EQ(statusesFrom(server.accessLogPath(), before),
            (std::map<std::string, std::string>{{"/", "304"}, {"/a.html", "200"}, {"/b.html", "304"},
                                                {"/c.html", "404"}, {"/d.html", "200"}, {"/f.bin", "200"}}));
  EXPECT_EQ(requestsFrom(server.accessLogPath(), before).front(), "/f.bin");
  EXPECT_EQ(readFile(saved / "a.html"), readFile(site / "a.html"));
  EXPECT_EQ(readFile(saved / "b.html"), readFile(site / "b.html"));
  EXPECT_EQ(readFile(saved / "c.html"), "c, soon gone");
  EXPECT_EQ(readFile(saved / "d.html"), "d is new");
  EXPECT_EQ(readFile(saved / "f.bin"), "f at last");

  // Nothing changed since: every saved page answers 304.
  const size_t again = requestsFrom(server.accessLogPath(), 0).size();
  const auto quiet = copy({"--update"});
  EXPECT_NE(quiet.err.find("update: 0 changed, 0 new, 5 unchanged, 1 gone, 0 failed"), std::string::npos) << quiet.err;
  for (const auto& [path, status] : statusesFrom(server.accessLogPath(), again)) {
    EXPECT_EQ(status, path == "/c.html" ? "404" : "304") << path;
  }
}

// An update killed part-way loses nothing: the next update brings in every
// page that changed. An unchanged style sheet (304) is read for its links
// from its saved copy, so a requisite missing from the copy comes back.
TEST(StateEndToEnd, AKilledUpdateLosesNothing) {
  harbek::testing::TempDir dir, logs;
  const fsys::path site = dir.file("site");
  std::string index;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "p" + std::to_string(i) + ".html";
    index += "<a href=\"" + name + "\">" + name + "</a>";
    put(site / name, "old " + name);
  }
  put(site / "index.html", "<link rel=\"stylesheet\" href=\"style.css\">" + index);
  put(site / "style.css", "body { background: url(bg.png) }");
  put(site / "bg.png", "png");
  harbek::testing::NginxServer server(site);
  ASSERT_TRUE(server.running()) << server.error();
  const fsys::path save = dir.file("save");
  const fsys::path saved = save / ("127.0.0.1:" + std::to_string(server.port()));
  const std::vector<std::string> args = {"--headless", "--ini", dir.file("sys.ini").string(), "--save-dir",
                                         save.string(), "--update", server.url("/")};
  std::vector<std::string> first = args;
  first.erase(first.end() - 2);  // a plain copy first
  ASSERT_EQ(harbek::testing::runProgram(harbek::testing::harbekPath(), first, logs.path(), 60s).exitCode, 0);
  ASSERT_TRUE(fsys::remove(saved / "bg.png"));

  for (int i = 0; i < 40; ++i) {
    const fsys::path page = site / ("p" + std::to_string(i) + ".html");
    put(page, "new p" + std::to_string(i));
    fsys::last_write_time(page, fsys::last_write_time(page) + 10s);
  }
  {
    std::vector<std::string> slow = args;
    slow.insert(slow.end() - 1, {"--interval", "20"});
    harbek::testing::ChildProcess update(harbek::testing::harbekPath(), slow, dir.file("out"), dir.file("err"));
    ASSERT_TRUE(update.running());
    ASSERT_TRUE(update.waitForOutput("保存文件", 10, 60s)) << readFile(dir.file("out"));
    update.signal(SIGKILL);
    update.wait(30s);
  }
  const size_t before = requestsFrom(server.accessLogPath(), 0).size();
  const auto again = harbek::testing::runProgram(harbek::testing::harbekPath(), args, logs.path(), 60s);
  EXPECT_EQ(again.exitCode, 0) << again.err;
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(readFile(saved / ("p" + std::to_string(i) + ".html")), "new p" + std::to_string(i)) << i;
  }
  EXPECT_EQ(readFile(saved / "bg.png"), "png");
  const std::vector<std::string> asked = requestsFrom(server.accessLogPath(), before);
  EXPECT_LT(asked.size(), 48u) << "each file asked at most once more";
}

}  // namespace
}  // namespace harbek::crawler
