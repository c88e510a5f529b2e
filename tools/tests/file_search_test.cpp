// The file search over a real folder tree, and the rules file of the
// terminal command.
#include "tools/file_search.h"

#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tools/replace_command.h"

namespace harbek::tools {
namespace {

namespace fsys = std::filesystem;
using harbek::testing::TempDir;

class RecordingView : public SearchView {
 public:
  explicit RecordingView(std::string root) : root_(std::move(root)) {}
  void pumpEvents() override { ++pumps; }
  void fileFound(const std::string& path) override { files.push_back(relative(path)); }
  void enteringFolder(const std::string& path) override { folders.push_back(relative(path)); }
  void folderUnreadable(const std::string& path, fs::Error) override { unreadable.push_back(relative(path)); }
  bool stopRequested() const override { return stopAfter >= 0 && pumps >= stopAfter; }

  std::vector<std::string> files, folders, unreadable;
  int pumps = 0;
  int stopAfter = -1;

 private:
  // Paths below the tree's root, so that the table can name them; a path
  // that is not below it, or holds a doubled separator, stays whole.
  std::string relative(const std::string& path) const {
    return path.starts_with(root_ + "/") ? path.substr(root_.size() + 1) : path;
  }
  std::string root_;
};

TEST(FileSearch, ListsAFoldersFilesBeforeItsSubfoldersAndNeverLoops) {
  TempDir dir;
  const std::string root = dir.path().string();
  for (const char* f : {"b.html", ".hidden", "A.JPG", "a_sub/e.txt", "sub1/c.htm", "sub1/deeper/d.html"}) dir.write(f, "x");
  fsys::create_directory(dir.file("sub2"));
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
  fsys::create_directory_symlink(dir.path(), dir.file("loop"));
  fsys::create_symlink(dir.file("b.html"), dir.file("flink"));
  fsys::create_symlink(dir.file("missing"), dir.file("dangling"));

  using List = std::vector<std::string>;
  const List all = {".hidden", "A.JPG", "b.html", "flink", "a_sub/e.txt", "sub1/c.htm", "sub1/deeper/d.html"};
  struct Case {
    std::string path;
    std::u16string pattern;
    bool complete;
    List files;
    List folders;
  } cases[] = {
      {root, u"", true, all, {"a_sub", "sub1", "sub1/deeper", "sub2"}},
      {root + "/", u"", true, all, {"a_sub", "sub1", "sub1/deeper", "sub2"}},
      {root, u"x.jpg", true, {"A.JPG"}, {"a_sub", "sub1", "sub1/deeper", "sub2"}},
      {root, u"dir/page.HTML", true, {"b.html", "sub1/deeper/d.html"}, {"a_sub", "sub1", "sub1/deeper", "sub2"}},
      {root + "/sub2", u"", true, {}, {}},
      {root + "/missing", u"", false, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path + " " + std::string(c.pattern.begin(), c.pattern.end()));
    RecordingView view(root);
    EXPECT_EQ(search(c.path, c.pattern, view), c.complete);
    EXPECT_EQ(view.files, c.files);
    EXPECT_EQ(view.folders, c.folders);
    EXPECT_EQ(view.unreadable, c.complete ? List{} : List{"missing/"});
  }
  RecordingView view(root);
  search(root, u"", view);
  EXPECT_EQ(view.pumps, 10 + 1 + 2 + 1);  // one per entry of each folder listed
}

// The program's own files in a save folder are never listed, so no rule can
// change a spill record or the journal; a cancelled search ends at once.
TEST(FileSearch, LeavesTheProgramsFilesAndStopsWhenAsked) {
  TempDir dir;
  const std::string root = dir.path().string();
  for (const char* f : {"tmp/0.dat", "tmp/17.dat", "tmp/queue.journal", "tmp/.queue.journal.tmp1", "h/a.html",
                        "h/b.html.harbek-part", "h/x.dat", "h/tmp.html"}) {
    dir.write(f, "x");
  }
  RecordingView all(root);
  EXPECT_TRUE(search(root, u"", all));
  EXPECT_EQ(all.files, (std::vector<std::string>{"h/a.html", "h/tmp.html", "h/x.dat"}));

  RecordingView cancelled(root);
  cancelled.stopAfter = 1;
  EXPECT_FALSE(search(root, u"", cancelled));
  EXPECT_EQ(cancelled.pumps, 1);
  EXPECT_TRUE(cancelled.folders.empty());
}

TEST(RulesFile, TwoLinesARule) {
  struct Case {
    std::string file;
    std::vector<std::pair<std::u16string, std::u16string>> rules;  // empty: refused
  } cases[] = {
      {"a\nb\n", {{u"a", u"b"}}},
      {"a\nb", {{u"a", u"b"}}},
      {"a\n\n<p>\n<q>\n", {{u"a", u""}, {u"<p>", u"<q>"}}},
      {"\xe5\xb9\xbf\xe5\x91\x8a\n\xe6\x96\xb0\xe9\x97\xbb\n", {{u"广告", u"新闻"}}},
      {"a\n", {}},
      {"a\nb\n\n", {}},
      {"", {}},
      {"a\r\nb\r\n", {}},
      {"\xff\nb\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<Rule> rules;
    std::string error;
    const bool ok = parseRules(c.file, rules, error);
    EXPECT_EQ(ok, !c.rules.empty());
    EXPECT_EQ(error.empty(), ok);
    std::vector<std::pair<std::u16string, std::u16string>> got;
    for (const Rule& r : rules) got.emplace_back(r.find, r.replacement);
    EXPECT_EQ(got, c.rules);
  }
}

}  // namespace
}  // namespace harbek::tools
