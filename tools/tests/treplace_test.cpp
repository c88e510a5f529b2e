// Treplace over real files: what is rewritten, what is left byte for byte
// (with its modification time), and what stops a run.
#include "tools/treplace.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/text/text.h"
#include "tests/support/temp_dir.h"

namespace harbek::tools {
namespace {

namespace fsys = std::filesystem;
using harbek::testing::readFile;
using harbek::testing::TempDir;

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::kChanged: return "changed";
    case Outcome::kUnchanged: return "unchanged";
    case Outcome::kSkipped: return "skipped";
    case Outcome::kFailed: return "failed";
  }
  return "?";
}

std::string utf8(std::u16string_view s) { return text::toUtf8(s); }
std::string gbk(std::u16string_view s) { return text::toCodePage(s); }

const fsys::file_time_type kOld = fsys::file_time_type::clock::now() - std::chrono::hours(24 * 365);

TEST(Treplace, RewritesOnlyWhatTheRulesChangeAndNeverDamagesAFile) {
  const std::vector<Rule> ad = {{u"广告", u"新闻"}};
  const std::vector<Rule> ab = {{u"a", u"b"}};
  const std::vector<Rule> toChinese = {{u"#", u"中"}};
  enum Kind { kPlain, kPrivate, kReadOnly, kLinkToFile, kFifo };
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<Rule> rules;
    Outcome outcome;
    std::string after;  // the bytes expected on disk afterwards
    Kind kind = kPlain;
  } cases[] = {
      {"x.JPG", "a", ab, Outcome::kSkipped, "a"},
      {"x.jpeg", "a", ab, Outcome::kSkipped, "a"},
      {"x.jpg.bak", "a", ab, Outcome::kChanged, "b", kPrivate},
      {"chain.htm", "a-b", {{u"a", u"b"}, {u"b", u"c"}}, Outcome::kChanged, "c-c"},
      {"case.htm", "A aa aAa", {{u"a", u"xa"}}, Outcome::kChanged, "A xaxa xaAxa"},
      {"emptyfind.htm", "abc", {{u"", u"x"}}, Outcome::kUnchanged, "abc"},
      {"nomatch.htm", "xyz", ab, Outcome::kUnchanged, "xyz"},
      {"utf8.html", utf8(u"<p>广告：广告</p>"), ad, Outcome::kChanged, utf8(u"<p>新闻：新闻</p>")},
      {"gbk.html", gbk(u"<p>广告：广告</p>"), ad, Outcome::kChanged, gbk(u"<p>新闻：新闻</p>")},
      {"meta.html", "<META Charset='UTF-8'><p>#</p>", toChinese, Outcome::kChanged, utf8(u"<META Charset='UTF-8'><p>中</p>")},
      {"equiv.html", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">#", toChinese,
       Outcome::kChanged, utf8(u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">中")},
      {"plain.html", "<p>#</p>", toChinese, Outcome::kChanged, gbk(u"<p>中</p>")},
      // 0x81 0x20 is no GBK character: the file is binary whatever its name.
      {"data.htm", std::string("ab\x81 ab\0\xff", 8), ab, Outcome::kSkipped, std::string("ab\x81 ab\0\xff", 8)},
      {"badutf8.htm", "<meta charset=utf-8>a\xe4\xb8", ab, Outcome::kSkipped, "<meta charset=utf-8>a\xe4\xb8"},
      {"empty.htm", "", ab, Outcome::kSkipped, ""},
      {"emoji.htm", gbk(u"广告"), {{u"广告", u"\U0001F600"}}, Outcome::kFailed, gbk(u"广告")},
      {"readonly.htm", "a", ab, Outcome::kFailed, "a", kReadOnly},
      {"readonly-unchanged.htm", "x", ab, Outcome::kUnchanged, "x", kReadOnly},
      {"link.htm", "a", ab, Outcome::kSkipped, "a", kLinkToFile},
      {"fifo.htm", "", ab, Outcome::kFailed, "", kFifo},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fsys::path file = dir.file(c.name);
    fsys::path content = file;
    if (c.kind == kFifo) {
      ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    } else {
      if (c.kind == kLinkToFile) content = dir.file(std::string(c.name) + ".target");
      dir.write(content.filename().string(), c.bytes);
      fsys::last_write_time(content, kOld);
      if (c.kind == kLinkToFile) fsys::create_symlink(content, file);
      if (c.kind == kReadOnly) fsys::permissions(content, fsys::perms(0444));
      if (c.kind == kPrivate) fsys::permissions(content, fsys::perms(0640));
    }

    ReplaceResult r = Treplace(file.string(), c.rules);

    EXPECT_EQ(outcomeName(r.outcome), std::string(outcomeName(c.outcome))) << r.reason;
    EXPECT_EQ(r.reason.empty(), c.outcome == Outcome::kChanged || c.outcome == Outcome::kUnchanged) << r.reason;
    if (c.kind == kFifo) continue;
    EXPECT_EQ(readFile(content), c.after);
    EXPECT_EQ(fsys::last_write_time(content) == kOld, c.outcome != Outcome::kChanged);
    EXPECT_EQ(fsys::is_symlink(file), c.kind == kLinkToFile);
  }
  // A rewritten file keeps its permissions, and no temporary file is left.
  EXPECT_EQ(fsys::status(dir.file("x.jpg.bak")).permissions(), fsys::perms(0640));
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fsys::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, std::size(cases) + 1);  // and the link's target
}

// A host over a plain list, recording what the run reports.
class ListHost : public ReplaceRunHost {
 public:
  ListHost(std::vector<std::string> files, std::vector<Rule> rules)
      : files(std::move(files)), rules_(std::move(rules)) {}
  bool hasFiles() const override { return !files.empty(); }
  std::string lastFile() const override { return files.back(); }
  void removeLastFile() override { files.pop_back(); }
  std::vector<Rule> rules() const override { return rules_; }
  void pumpEvents() override { ++pumps; }
  void handled(const std::string& path, const ReplaceResult& r) override {
    seen.push_back(fsys::path(path).filename().string() + " " + outcomeName(r.outcome));
  }

  std::vector<std::string> files;
  std::vector<std::string> seen;
  int pumps = 0;

 private:
  std::vector<Rule> rules_;
};

// A write the disk refuses part way (here: a file size limit below the new
// content) must leave the old file whole, leave no temporary file, stop the
// run and keep the failed file in the list.
TEST(Treplace, AFailedWriteKeepsTheOldFileAndStopsTheRunThere) {
  TempDir dir;
  const std::string big(4000, 'a');
  dir.write("first.htm", "a");
  dir.write("big.htm", big);
  dir.write("last.htm", "a");
  ListHost host({dir.file("first.htm"), dir.file("big.htm"), dir.file("last.htm")}, {{u"a", u"b"}});

  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool finished = runRules(host);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(finished);
  EXPECT_EQ(host.seen, (std::vector<std::string>{"last.htm changed", "big.htm failed"}));
  EXPECT_EQ(host.files, (std::vector<std::string>{dir.file("first.htm"), dir.file("big.htm")}));
  EXPECT_EQ(host.pumps, 2);
  EXPECT_EQ(readFile(dir.file("big.htm")), big);
  EXPECT_EQ(readFile(dir.file("first.htm")), "a");
  EXPECT_EQ(readFile(dir.file("last.htm")), "b");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fsys::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 3u);
}

}  // namespace
}  // namespace harbek::tools
