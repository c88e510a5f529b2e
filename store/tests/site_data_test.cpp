#include "store/site_data.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "platform/text/text.h"
#include "store/tests/scratch_folder.h"

namespace harbek::store {
namespace {

namespace stdfs = std::filesystem;

// The save folder sits a few levels down, so that a path climbing out of it
// by up to four levels still lands where the test looks.
class SiteDataTest : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    save_ = root_ / "l1" / "l2" / "l3" / "save";
    stdfs::create_directories(save_);
    store_.setSavePath(text::fromUtf8(save_.string()));
  }

  std::u16string S() const { return text::fromUtf8(save_.string()); }

  // Every entry under the save folder, relative to it, folders with a "/".
  std::set<std::string> saved() const {
    std::set<std::string> out;
    for (const auto& e : stdfs::recursive_directory_iterator(save_)) {
      out.insert(stdfs::relative(e.path(), save_).string() + (e.is_directory() ? "/" : ""));
    }
    return out;
  }

  // Whatever exists under the test's root outside the save folder (the
  // folders leading to it aside).
  std::vector<std::string> outside() const {
    std::vector<std::string> out;
    const std::string inside = save_.string() + "/";
    for (const auto& e : stdfs::recursive_directory_iterator(root_)) {
      const std::string p = e.path().string();
      if (p.starts_with(inside) || save_.string().starts_with(p)) continue;
      out.push_back(p);
    }
    return out;
  }

  void makeFile(const stdfs::path& p, const std::string& content = "x") const {
    stdfs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
  }

  std::string content(const stdfs::path& p) const {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  stdfs::path save_;
  SiteData store_;
};

TEST_F(SiteDataTest, PathsAndLookups) {
  struct Case {
    const char* url;  // after "http://"
    const char* path;
    const char* looksAt;
  } cases[] = {
      {"Host", "/host", "host/index.html"},
      {"Host/", "/host/", "host/index.html"},
      {"Host/Dir/Page.HTM", "/host/dir/page.htm", "host/dir/page.htm"},
      {"Host/dir/", "/host/dir/", "host/dir/index.html"},
      {"Host/dir", "/host/dir", "host/dir"},
      {"Host/a.asp?id=3", "/host/a.asp?id=3", "host/a.asp?id=3"},
      {"Host//x.htm", "/host/x.htm", "host/x.htm"},
  };
  for (const auto& c : cases) {
    const std::u16string url = u"http://" + text::fromUtf8(c.url);
    std::u16string path;
    ASSERT_EQ(store_.ChUrltoPath(url, &path), com::kOk) << c.url;
    EXPECT_EQ(path, S() + text::fromUtf8(c.path)) << c.url;

    stdfs::remove_all(save_ / "host");
    EXPECT_FALSE(store_.isExsitUrl(url, false)) << c.url;
    stdfs::create_directories(save_ / c.looksAt);
    EXPECT_FALSE(store_.isExsitUrl(url, false)) << c.url << ": a folder does not count";
    stdfs::remove(save_ / c.looksAt);
    makeFile(save_ / c.looksAt);
    EXPECT_TRUE(store_.isExsitUrl(url, false)) << c.url;
  }
  // "?" and "*" are ordinary characters, not wildcards.
  stdfs::remove_all(save_ / "host");
  makeFile(save_ / "host" / "a.aspXid=3");
  EXPECT_FALSE(store_.isExsitUrl(u"http://host/a.asp?id=3", false));
  EXPECT_FALSE(store_.isExsitUrl(u"http://host/*", false));
}

TEST_F(SiteDataTest, DigestNamedPaths) {
  struct Case {
    std::u16string url;
    const char* path;  // after the save folder
  } cases[] = {
      {u"http://Host/Dir/Page.HTM", "/host/089c3e6ab815fde1eeebe71daad917dd"},
      // The host text is removed wherever it stands before hashing.
      {u"http://site.com/site.com/x.htm", "/site.com/fc2b94773b931dea7f57e9c71e67f54f"},
      {u"http://Host/index.html", "/host/d1546d731a9f30cc80127d57142a482b"},
  };
  for (const auto& c : cases) {
    std::u16string path;
    ASSERT_EQ(store_.ChUrltoMd5path(c.url, &path), com::kOk);
    EXPECT_EQ(path, S() + text::fromUtf8(c.path));
  }
  EXPECT_FALSE(store_.isExsitUrl(u"http://Host", true));
  makeFile(save_ / "host" / "d1546d731a9f30cc80127d57142a482b");
  EXPECT_TRUE(store_.isExsitUrl(u"http://Host", true));
  EXPECT_TRUE(store_.isExsitUrl(u"http://host/", true));
  EXPECT_FALSE(store_.isExsitUrl(u"http://host/", false));
}

TEST_F(SiteDataTest, SavingCreatesFoldersLevelByLevel) {
  struct Case {
    std::u16string address;
    std::set<std::string> entries;  // the whole save folder afterwards
    const char* file;
  } cases[] = {
      {u"host/index.html", {"host/", "host/index.html"}, "host/index.html"},
      {u"host/a/b/c.gif", {"host/", "host/a/", "host/a/b/", "host/a/b/c.gif"}, "host/a/b/c.gif"},
      {u"host/dir//index.html", {"host/", "host/dir/", "host/dir/index.html"}, "host/dir/index.html"},
      {u"page.htm", {"page.htm"}, "page.htm"},
      {u"Host/Dir/X.HTM", {"Host/", "Host/Dir/", "Host/Dir/X.HTM"}, "Host/Dir/X.HTM"},
      {u"站点/新闻.htm", {"站点/", "站点/新闻.htm"}, "站点/新闻.htm"},
      {u"host/a\\b.htm", {"host/", "host/a\\b.htm"}, "host/a\\b.htm"},
  };
  for (const auto& c : cases) {
    stdfs::remove_all(save_);
    stdfs::create_directory(save_);
    const std::string body("GIF\0\r\n\xFF", 7);
    store_.saveFileByUrl(c.address, body, 0);
    EXPECT_EQ(saved(), c.entries) << text::toUtf8(c.address);
    EXPECT_EQ(content(save_ / c.file), body) << text::toUtf8(c.address);
  }
}

TEST_F(SiteDataTest, SavingEdgeCases) {
  store_.saveFileByUrl(u"host/a.htm", "one", 0);
  store_.saveFileByUrl(u"host/a.htm", "two", 0);
  EXPECT_EQ(content(save_ / "host" / "a.htm"), "onetwo");  // appended, never truncated
  store_.saveFileByUrl(u"host/a.htm", "", 0);
  EXPECT_EQ(content(save_ / "host" / "a.htm"), "onetwo");
  store_.saveFileByUrl(u"host/e/empty.htm", "", 0);
  EXPECT_TRUE(stdfs::is_regular_file(save_ / "host" / "e" / "empty.htm"));
  EXPECT_EQ(stdfs::file_size(save_ / "host" / "e" / "empty.htm"), 0u);

  // A file where a folder is needed: nothing is created or written.
  makeFile(save_ / "host" / "dir", "file");
  store_.saveFileByUrl(u"host/dir/x.htm", "body", 0);
  store_.saveFileByUrl(u"host/dir/sub/x.htm", "body", 0);
  EXPECT_EQ(content(save_ / "host" / "dir"), "file");
  // A path naming a folder, or ending in "/", writes nothing.
  store_.saveFileByUrl(u"host/e", "body", 0);
  store_.saveFileByUrl(u"host/new/", "body", 0);
  EXPECT_TRUE(stdfs::is_directory(save_ / "host" / "e"));
  EXPECT_EQ(saved(), (std::set<std::string>{"host/", "host/a.htm", "host/dir", "host/e/", "host/e/empty.htm",
                                            "host/new/"}));

  // The save folder itself is never created.
  stdfs::remove_all(save_);
  store_.saveFileByUrl(u"host/x.htm", "body", 0);
  store_.saveFileByUrl(u"page.htm", "body", 0);
  EXPECT_FALSE(stdfs::exists(save_));
  EXPECT_TRUE(outside().empty());
}

TEST_F(SiteDataTest, HostilePathsStayInside) {
  const std::u16string turls[] = {
      u"../escape.htm", u"host/../../escape.htm", u"host/a/../../../../escape.htm", u"../",
      u"..",            u".",                     u"",                              u"host/..",
      u"host/a/..",     u"host//../../escape",    u"../host/x.htm",                 std::u16string(u"host/a\0/../../../x", 18),
  };
  for (const auto& t : turls) store_.saveFileByUrl(t, "evil", 0);
  EXPECT_TRUE(outside().empty());
  EXPECT_TRUE(saved().empty());

  struct Case {
    std::u16string url;
    bool digestToo;  // the digest-named path (host and digest) leaves too
  } urls[] = {
      {u"http://host/..", false},
      {u"http://host/a/..", false},
      {std::u16string(u"http://host/a\0b", 15), false},
  };
  for (const auto& c : urls) {
    EXPECT_TRUE(store_.isExsitUrl(c.url, false)) << text::toUtf8(c.url);
    if (c.digestToo) {
      EXPECT_TRUE(store_.isExsitUrl(c.url, true)) << text::toUtf8(c.url);
    }
  }
}

// An empty host or a doubled separator still names a file inside the save
// folder: it is saved there and answered from the disk.
TEST_F(SiteDataTest, EmptyHostPathsAreInside) {
  struct Case {
    std::u16string turl;  // given to saveFileByUrl, then looked up as http://turl
    std::string file;     // what lands in the save folder
  } cases[] = {
      {u"/abs/x.htm", "abs/x.htm"},
      {u"./y.htm", "y.htm"},
      {u"//z.htm", "z.htm"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(store_.isExsitUrl(u"http://" + c.turl, false)) << text::toUtf8(c.turl);
    store_.saveFileByUrl(c.turl, "body", 0);
    EXPECT_EQ(content(save_ / c.file), "body") << text::toUtf8(c.turl);
    EXPECT_TRUE(store_.isExsitUrl(u"http://" + c.turl, false)) << text::toUtf8(c.turl);
  }
  // URLs without a host, or whose host the URL rules fold away, are the
  // bare host: its index.html directly in the save folder.
  const std::u16string bareHosts[] = {u"", u"http://", u"http://.", u"http://.."};
  for (const auto& url : bareHosts) EXPECT_FALSE(store_.isExsitUrl(url, false)) << text::toUtf8(url);
  makeFile(save_ / "index.html");
  for (const auto& url : bareHosts) EXPECT_TRUE(store_.isExsitUrl(url, false)) << text::toUtf8(url);
  EXPECT_TRUE(outside().empty());
}

// Random URLs built from the pieces that cause trouble: whatever a call is
// given, everything it creates lies inside the save folder.
TEST_F(SiteDataTest, RandomUrlsNeverLeaveTheSaveFolder) {
  const std::u16string pieces[] = {u"host", u"a",  u"..", u".",     u"",        u"..\\", u"\\..", u"%2e%2e",
                                   u"中文", u"x.htm", u"?",  u"*",     u":",       u" ",    u"...",  u"index.html",
                                   u"HOST", u"./",  u"//", u"http:", u"http://", std::u16string(1, u'\0')};
  std::mt19937 rng(4242);
  for (int round = 0; round < 1000; ++round) {
    if (round % 40 == 0) {
      stdfs::remove_all(save_);
      stdfs::create_directory(save_);
    }
    std::u16string t;
    int climbs = 0;
    const int n = 1 + static_cast<int>(rng() % 7);
    for (int k = 0; k < n; ++k) {
      std::u16string piece = pieces[rng() % std::size(pieces)];
      if (piece == u".." && ++climbs > 4) piece = u"a";
      if (k > 0 || rng() % 8 == 0) t += u'/';
      t += piece;
    }
    store_.saveFileByUrl(t, "data", 0);
    store_.isExsitUrl(u"http://" + t, rng() % 2 == 0);
    std::u16string ignored;
    (void)store_.ChUrltoPath(t, &ignored);  // only what it leaves on the disk counts here
    const auto out = outside();
    ASSERT_TRUE(out.empty()) << text::toUtf8(t) << " made " << out.front();
  }
}

// After an unclean end the partial files of the sites being copied go,
// wherever they are in their folders; other sites' folders, finished files
// and what a symbolic link leads to stay.
TEST_F(SiteDataTest, PartialFilesOfTheCopiedSitesAreRemoved) {
  makeFile(save_ / "h:8080" / "a.html.harbek-part");
  makeFile(save_ / "h:8080" / "docs" / "deep" / "b.css.harbek-part");
  makeFile(save_ / "h:8080" / "done.html");
  makeFile(save_ / "other" / "c.harbek-part");
  makeFile(root_ / "elsewhere" / "d.harbek-part");
  stdfs::create_directory_symlink(root_ / "elsewhere", save_ / "h:8080" / "link");
  EXPECT_EQ(store_.removePartialFiles({u"h:8080", u"h:8080", u"missing"}), 2u);
  EXPECT_TRUE(stdfs::exists(root_ / "elsewhere" / "d.harbek-part"));
  stdfs::remove(save_ / "h:8080" / "link");
  EXPECT_EQ(saved(), (std::set<std::string>{"h:8080/", "h:8080/docs/", "h:8080/docs/deep/", "h:8080/done.html",
                                            "other/", "other/c.harbek-part"}));
}

TEST(GetExtName, Extensions) {
  struct Case {
    std::u16string name, ext;
  } cases[] = {
      {u"index.html", u"html"}, {u"a.b.tar", u"tar"}, {u"readme", u"readme"}, {u"name.", u""},
      {u"dir.old/page", u"old/page"}, {u"dir.old\\page", u"old\\page"}, {u"A.HTM", u"HTM"}, {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(SiteData::GetExtName(c.name), c.ext) << text::toUtf8(c.name);
}

}  // namespace
}  // namespace harbek::store
