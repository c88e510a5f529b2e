#include <filesystem>

#include <gtest/gtest.h>

#include "searchindex/record_file.h"
#include "searchindex/search_site_data.h"
#include "libs/spill/spill_record.h"
#include "store/md5.h"
#include "tests/support/temp_dir.h"

namespace harbek::quenby {
namespace {

namespace stdfs = std::filesystem;
using harbek::testing::readFile;
using harbek::testing::TempDir;

std::string utf8(std::u16string_view s) { return text::toUtf8(s); }

struct Link {
  std::u16string url, urlText, comeFromUrl, comeFromText;
  friend bool operator==(const Link&, const Link&) = default;
};

class Store : public ::testing::Test {
 protected:
  Store() { store_.setSavePath(text::fromUtf8(dir_.path().string())); }

  Link next(SiteData& store, int32_t& pos) {
    Link l;
    store.GetTmpUrl(l.url, l.urlText, l.comeFromUrl, l.comeFromText, pos);
    return l;
  }
  std::string tmpDat() const { return dir_.file("tmp.dat").string(); }

  TempDir dir_;
  SiteData store_;
};

TEST_F(Store, QueuedLinksComeBackInOrderThenTheEnd) {
  const Link links[] = {
      {u"http://a.com/1.htm", u"first", u"http://a.com/", u"home"},
      {u" a ", u"", u"", u""},  // untrimmed; empty texts keep their place
      {u"http://a.com/中文.htm", u"中文链接", u"http://a.com/目录/", u"目录页"},
      {u"http://b.com/", u"丂", u"x", std::u16string(300, u'长')},
  };
  for (const auto& l : links) store_.inputTmpUrl(l.url, l.urlText, l.comeFromUrl, l.comeFromText);
  int32_t pos = 0;
  for (const auto& l : links) EXPECT_EQ(next(store_, pos), l) << utf8(l.url);
  const int32_t end = pos;
  EXPECT_EQ(end, static_cast<int32_t>(stdfs::file_size(tmpDat())));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(next(store_, pos), Link{});
    EXPECT_EQ(pos, end);
  }
  // A link appended later is read from the position where the end was met.
  store_.inputTmpUrl(u"late", u"t", u"u", u"v");
  EXPECT_EQ(next(store_, pos), (Link{u"late", u"t", u"u", u"v"}));
}

TEST_F(Store, BlankUrlsAreNotQueued) {
  struct Case {
    std::u16string url;
    bool written;
  } cases[] = {{u"", false}, {u"   ", false}, {u" a ", true}, {u"\t", true}};
  uintmax_t size = 0;
  for (const auto& c : cases) {
    store_.inputTmpUrl(c.url, u"text", u"from", u"fromText");
    uintmax_t now = stdfs::exists(tmpDat()) ? stdfs::file_size(tmpDat()) : 0;
    EXPECT_EQ(now > size, c.written) << utf8(c.url);
    size = now;
  }
  int32_t pos = 0;
  EXPECT_EQ(next(store_, pos).url, u" a ");
  EXPECT_EQ(next(store_, pos).url, u"\t");
}

TEST_F(Store, ReadsThatFindNoRecordLeavePosAlone) {
  struct Case {
    std::string file;  // "" with missing: no tmp.dat at all
    bool missing;
    int32_t pos;
    std::u16string url;
    int32_t posAfter;
  } cases[] = {
      {"", true, 0, u"", 0},
      {"", false, 0, u"", 0},
      {"3       abc", false, 11, u"", 11},            // at the end
      {"3       abc", false, 500, u"", 500},          // past it
      {"3       abc", false, -4, u"", -4},
      {"        abc", false, 0, u"LOF/ALL", 0},       // a blank length field
      {"-5      abcde", false, 0, u"", 0},
      {"x       abc", false, 0, u"", 0},
      {"12", false, 0, u"", 0},                       // a cut length field
      {"9       abc", false, 0, u"", 0},              // data cut short
      {"99999999abc", false, 0, u"", 0},              // a length far beyond the file
      // An empty text is a record of its own: the reads go on past it.
      {"0       3       abc", false, 0, u"", 19},
  };
  for (const auto& c : cases) {
    stdfs::remove(tmpDat());
    if (!c.missing) dir_.write("tmp.dat", c.file);
    int32_t pos = c.pos;
    Link l = next(store_, pos);
    EXPECT_EQ(utf8(l.url), utf8(c.url)) << c.file << " at " << c.pos;
    EXPECT_EQ(pos, c.posAfter) << c.file << " at " << c.pos;
  }
}

TEST_F(Store, RecordsOnDiskAreSpillRecords) {
  store_.inputTmpUrl(u"http://a.com/", u"中文", u"", u"x");
  std::string bytes = readFile(tmpDat());
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(bytes.substr(0, 8), "13      ");
  EXPECT_NE(bytes.substr(8, 13), "http://a.com/");
  EXPECT_EQ(bytes.substr(21, 8), "4       ");  // 中文 is four bytes, masked or not
  EXPECT_EQ(bytes.substr(33), "0       1       " + spill::ScrambleStr("x", spill::kListKey));
}

// Two writers append links to one queue by turns; two readers walk it at
// their own pace, each with its own position.
TEST_F(Store, InterleavedWritersAndReaders) {
  SiteData writerB, readerA, readerB;
  for (SiteData* s : {&writerB, &readerA, &readerB}) s->setSavePath(store_.SavePath());
  std::vector<Link> written;
  int32_t posA = 0, posB = 0;
  size_t seenA = 0, seenB = 0;
  for (int i = 0; i < 60; ++i) {
    SiteData& writer = i % 2 ? writerB : store_;
    Link l{u"http://h/" + text::widen(std::to_string(i)), u"链接" + text::widen(std::to_string(i)), u"from", u""};
    writer.inputTmpUrl(l.url, l.urlText, l.comeFromUrl, l.comeFromText);
    written.push_back(l);
    if (i % 3 == 0) {
      for (Link got; !(got = next(readerA, posA)).url.empty();) {
        ASSERT_LT(seenA, written.size());
        EXPECT_EQ(got, written[seenA++]);
      }
    }
    if (i % 7 == 0) {
      EXPECT_EQ(next(readerB, posB), written[seenB++]);
    }
  }
  for (Link got; !(got = next(readerA, posA)).url.empty();) EXPECT_EQ(got, written[seenA++]);
  for (Link got; !(got = next(readerB, posB)).url.empty();) EXPECT_EQ(got, written[seenB++]);
  EXPECT_EQ(seenA, written.size());
  EXPECT_EQ(seenB, written.size());
  EXPECT_EQ(posA, posB);
}

TEST_F(Store, IndexFilesAreCreatedButNotTheirFolders) {
  struct Case {
    stdfs::path file;
    bool written;
  } cases[] = {
      {dir_.file("index1.dat"), true},
      {dir_.file("index1.dat"), true},  // appended
      {dir_.file("no/such/folder/index.dat"), false},
      {dir_.path(), false},  // a folder
  };
  for (const auto& c : cases) {
    SiteData::inputToindex(u"词条 entry", text::fromUtf8(c.file.string()));
    EXPECT_EQ(stdfs::is_regular_file(c.file), c.written) << c.file;
  }
  EXPECT_FALSE(stdfs::exists(dir_.file("no")));
  EXPECT_FALSE(stdfs::exists(tmpDat()));  // SavePath plays no part
  std::string bytes = readFile(dir_.file("index1.dat"));
  size_t pos = 0;
  std::u16string item;
  int records = 0;
  while (spill::readRecord(bytes, pos, item) == spill::ReadStatus::kOk) {
    EXPECT_EQ(item, u"词条 entry");
    ++records;
  }
  EXPECT_EQ(records, 2);
}

TEST_F(Store, PathsThroughTheUrlComponent) {
  const std::string s = dir_.path().string();
  std::u16string path;
  ASSERT_EQ(store_.ChUrltoPath(u"http://Host/Dir/Page.HTM", &path), com::kOk);
  EXPECT_EQ(utf8(path), s + "/host/dir/page.htm");
  ASSERT_EQ(store_.ChUrltoMd5path(u"http://Host/Dir/Page.HTM", &path), com::kOk);
  EXPECT_EQ(utf8(path), s + "/host/" + utf8(store::MD5()(u"/dir/page.htm")));

  SiteData fresh;  // no save folder yet: the folder of this library's code
  ASSERT_EQ(fresh.ChUrltoPath(u"a/b", &path), com::kOk);
  EXPECT_EQ(utf8(fresh.SavePath()), utf8(moduleFolder()));
  EXPECT_FALSE(fresh.SavePath().empty());
  EXPECT_EQ(path, fresh.SavePath() + u"/a/b");
}

TEST_F(Store, Lookups) {
  dir_.write("host/index.html", "x");
  dir_.write("host/dir/a?b.htm", "x");
  dir_.write("host/" + utf8(store::MD5()(u"/dir/md5.htm")), "x");
  dir_.write("x", "A");
  dir_.write(utf8(store::MD5()(u"")), "x");
  dir_.write("host/dir/" + utf8(store::MD5()(u"/dir/deep.htm")), "x");
  stdfs::create_directories(dir_.file("host/folder"));
  struct Case {
    std::u16string url;
    bool md5;
    bool exists;
  } cases[] = {
      {u"http://host/", false, true},
      {u"http://host", false, false},  // a bare host is the folder itself here
      {u"host/index.html", false, true},
      {u"host/dir/a?b.htm", false, true},
      {u"host/dir/aXb.htm", false, false},  // no wildcards
      {u"host/folder", false, false},
      {u"host/dir/md5.htm", true, true},
      {u"host/dir/deep.htm", true, false},  // digest names sit right under the host
      {u"host/../host/index.html", false, false},
      {u"../etc/passwd", false, false},
      {u"/x", false, true},  // S//x is the file S/x
      {u"http:///x", false, true},
      {u"", true, true},  // S//d41d8cd98f00b204e9800998ecf8427e
      {u"/missing", false, false},
  };
  for (const auto& c : cases) {
    bool exists = !c.exists;
    EXPECT_EQ(store_.isExsitUrl(c.url, c.md5, &exists), com::kOk) << utf8(c.url);
    EXPECT_EQ(exists, c.exists) << utf8(c.url);
  }
}

TEST_F(Store, SavingAsksFirstAndReportsFailures) {
  dir_.write("host/old.htm", "old");
  dir_.write("host/file", "f");
  stdfs::create_directories(dir_.file("host/folder"));
  struct Case {
    std::u16string url;
    bool ISenCode;
    com::HResult code;
    std::string file;  // relative to the save folder; "" when nothing is looked at
    std::string content;
  } cases[] = {
      {u"host/a/b/c.gif", false, com::kOk, "host/a/b/c.gif", "new"},
      {u"host/a/b/c.gif", false, com::kOk, "host/a/b/c.gif", "new"},  // saved already: not again
      {u"host/dir/", false, com::kOk, "host/dir/index.html", "new"},
      {u"host/old.htm", false, com::kOk, "host/old.htm", "old"},
      {u"host/old.htm", true, com::kOk, "host/old.htm", "oldnew"},  // the digest name is not there
      {u"host/file/x.htm", false, com::kPathNotFound, "host/file", "f"},
      {u"host/folder", false, com::kPermissionDenied, "", ""},
      {u"../outside.htm", false, com::kInvalidArgument, "", ""},
      {u"/y", false, com::kOk, "y", "new"},  // S//y: an empty host is still inside
      {u"./z", false, com::kOk, "z", "new"},
      {u"host/../../outside.htm", false, com::kInvalidArgument, "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(store_.saveFileByUrl(c.url, "new", c.ISenCode), c.code) << utf8(c.url);
    if (!c.file.empty()) {
      EXPECT_EQ(readFile(dir_.file(c.file)), c.content) << utf8(c.url);
    }
  }
  EXPECT_EQ(store_.saveFileByUrl(u"host/empty.htm", "", false), com::kOk);
  EXPECT_TRUE(stdfs::is_regular_file(dir_.file("host/empty.htm")));
  EXPECT_FALSE(stdfs::exists(dir_.path().parent_path() / "outside.htm"));

  SiteData nowhere;
  nowhere.setSavePath(text::fromUtf8(dir_.file("missing").string()));
  EXPECT_EQ(nowhere.saveFileByUrl(u"host/x.htm", "new", false), com::kFileNotFound);
  EXPECT_FALSE(stdfs::exists(dir_.file("missing")));
}

}  // namespace
}  // namespace harbek::quenby
