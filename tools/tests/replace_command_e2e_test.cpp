// `harbek --replace` over a copy of the sample site made by a real crawl.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "tests/support/child_process.h"
#include "crawler/tests/test_site.h"
#include "platform/text/text.h"
#include "tests/support/nginx_server.h"
#include "tests/support/temp_dir.h"

namespace harbek::tools {
namespace {

namespace fsys = std::filesystem;
using namespace std::chrono_literals;
using harbek::testing::harbekPath;
using crawler::testing::lower;
using harbek::testing::ProgramRun;
using harbek::testing::runProgram;
using harbek::testing::NginxServer;
using harbek::testing::readFile;
using harbek::testing::TempDir;

ProgramRun runHarbek(const TempDir& logs, const std::vector<std::string>& args) {
  return runProgram(harbekPath(), args, logs.path(), 60s);
}

std::string replaced(std::string s, const std::string& find, const std::string& by) {
  for (size_t at = s.find(find); at != std::string::npos; at = s.find(find, at + by.size())) s.replace(at, find.size(), by);
  return s;
}

TEST(ReplaceCommand, RewritesACrawledCopyAndReportsEveryFile) {
  TempDir work, logs;
  NginxServer server(HARBEK_SAMPLE_SITE);
  ASSERT_TRUE(server.running()) << server.error();
  ProgramRun crawl = runHarbek(logs, {"--headless", "--ini", work.file("sys.ini").string(), "--save-dir",
                               work.file("save").string(), "--interval", "0", server.url("/")});
  ASSERT_EQ(crawl.exitCode, 0) << crawl.err;
  const fsys::path copy = work.file("save") / ("127.0.0.1:" + std::to_string(server.port()));
  ASSERT_TRUE(fsys::exists(copy / "index.html"));

  // The source of every copied file, and what the rules must make of it.
  std::map<fsys::path, std::string> expected;
  std::set<std::string> changed, skipped;
  for (const auto& e : fsys::recursive_directory_iterator(HARBEK_SAMPLE_SITE)) {
    if (!e.is_regular_file()) continue;
    const fsys::path saved = copy / lower(fsys::relative(e.path(), HARBEK_SAMPLE_SITE).string());
    if (!fsys::exists(saved)) continue;  // not reachable by the crawl
    const std::string source = readFile(e.path());
    const bool image = saved.extension() == ".gif";
    std::string after = source;
    if (!image) after = replaced(replaced(source, "<h1>", text::toCodePage(u"<h2>新闻：")), "</h1>", "</h2>");
    expected[saved] = after;
    if (image) skipped.insert("skipped " + saved.string() + ": image");
    if (after != source) changed.insert("changed " + saved.string());
  }
  ASSERT_FALSE(changed.empty());
  ASSERT_FALSE(skipped.empty());
  std::set<std::string> changedAndSkipped = changed;
  changedAndSkipped.insert(skipped.begin(), skipped.end());

  const std::string rules = work.write("rules.txt", "<h1>\n<h2>新闻：\n</h1>\n</h2>\n").string();
  const std::string crlf = work.write("crlf.txt", "<h2>\r\n<h3>\r\n").string();
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    std::set<std::string> reported;  // the "changed" and "skipped" lines
  } cases[] = {
      {"first run", {"--replace", rules, copy.string()}, 0, changedAndSkipped},
      {"second run: nothing left to change", {"--replace", rules, copy.string() + "/"}, 0, skipped},
      {"CR line ends", {"--replace", crlf, copy.string()}, 2, {}},
      {"no such folder", {"--replace", rules, work.file("nowhere").string()}, 2, {}},
      {"no such rules file", {"--replace", work.file("none.txt").string(), copy.string()}, 2, {}},
      {"missing argument", {"--replace", rules}, 2, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramRun r = runHarbek(logs, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.err.empty(), c.exitCode == 0) << r.err;
    std::set<std::string> reported;
    for (size_t from = 0, lf; (lf = r.out.find('\n', from)) != std::string::npos; from = lf + 1) {
      const std::string line = r.out.substr(from, lf - from);
      if (line.starts_with("changed ") || line.starts_with("skipped ")) reported.insert(line);
    }
    EXPECT_EQ(reported, c.reported);
    for (const auto& [file, bytes] : expected) EXPECT_EQ(readFile(file), bytes) << file;
  }

  // A file that cannot be rewritten stops the run with a message and a
  // failure status, and stays as it was.
  fsys::permissions(copy / "index.html", fsys::perms(0444));
  const std::string back = work.write("back.txt", "<h2>\n<h1>\n").string();
  ProgramRun r = runHarbek(logs, {"--replace", back, copy.string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("failed " + (copy / "index.html").string() + ": read-only file"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(copy / "index.html"), expected[copy / "index.html"]);
}

}  // namespace
}  // namespace harbek::tools
