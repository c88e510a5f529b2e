#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "libs/spill/spill_record.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "store/site_data.h"
#include "store/tests/scratch_folder.h"

namespace harbek::store {
namespace {

namespace stdfs = std::filesystem;

std::vector<std::u16string> urls(size_t n, size_t from = 0) {
  std::vector<std::u16string> v;
  for (size_t i = from; i < from + n; ++i) v.push_back(text::widen("site.com/page" + std::to_string(i) + ".htm"));
  return v;
}

std::vector<std::u16string> reversed(std::vector<std::u16string> v) {
  std::reverse(v.begin(), v.end());
  return v;
}

class SpillTest : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    save_ = root_ / "save";
    stdfs::create_directory(save_);
    store_.setSavePath(text::fromUtf8(save_.string()));
  }

  stdfs::path spillFile(int n) const { return save_ / "tmp" / (std::to_string(n) + ".dat"); }

  // The items of a spill file in file order, read record by record.
  std::vector<std::u16string> records(int n) const {
    Bytes data;
    EXPECT_EQ(fs::readFile(spillFile(n).string(), data), fs::Error::kOk);
    std::vector<std::u16string> items;
    size_t pos = 0;
    std::u16string item;
    while (spill::readRecord(data, pos, item) == spill::ReadStatus::kOk) items.push_back(item);
    EXPECT_EQ(pos, data.size());
    return items;
  }

  stdfs::path save_;
  SiteData store_;
};

TEST_F(SpillTest, SaveListMovesTheTailDownToTheFloor) {
  struct Case {
    size_t queued;
    size_t written;
  } cases[] = {{0, 0}, {4999, 0}, {5000, 1}, {10001, 5002}};
  int32_t wfnum = 0;
  for (const auto& c : cases) {
    const int32_t number = wfnum;
    VectorUrlList list(urls(c.queued));
    EXPECT_TRUE(store_.SaveList(list, wfnum));
    EXPECT_EQ(wfnum, number + 1) << c.queued;
    const size_t left = c.queued - c.written;
    EXPECT_EQ(list.items(), urls(left)) << c.queued;
    // The queue's last item is the file's first record.
    EXPECT_EQ(records(number), reversed(urls(c.written, left))) << c.queued;
  }
}

TEST_F(SpillTest, SaveAllThenLoadRestoresInReverse) {
  std::vector<std::u16string> items = urls(30);
  items.push_back(u"新闻.com/中文页.htm");
  items.push_back(u"€.com/a€b");
  items.push_back(u"");
  VectorUrlList list(items);
  int32_t wfnum = 7, rfnum = 7;
  EXPECT_TRUE(store_.SaveAllList(list, wfnum));
  EXPECT_EQ(wfnum, 8);
  EXPECT_EQ(list.count(), 0u);
  store_.LoadList(list, rfnum);
  EXPECT_EQ(rfnum, 8);
  EXPECT_EQ(list.items(), reversed(items));
  EXPECT_TRUE(stdfs::exists(spillFile(7)));  // reading never removes a spill file
}

TEST_F(SpillTest, AnExistingFileKeepsItsRecords) {
  VectorUrlList first(urls(3));
  VectorUrlList second(urls(2, 100));
  int32_t wfnum = 0;
  EXPECT_TRUE(store_.SaveAllList(first, wfnum));
  wfnum = 0;  // counters back at 0, as after a lost settings file
  EXPECT_TRUE(store_.SaveAllList(second, wfnum));
  VectorUrlList back;
  int32_t rfnum = 0;
  store_.LoadList(back, rfnum);
  std::vector<std::u16string> want = reversed(urls(3));
  for (auto& u : reversed(urls(2, 100))) want.push_back(u);
  EXPECT_EQ(back.items(), want);
}

TEST_F(SpillTest, EmptySpillFile) {
  VectorUrlList list(urls(10));
  int32_t wfnum = 0, rfnum = 0;
  EXPECT_TRUE(store_.SaveList(list, wfnum));
  EXPECT_EQ(wfnum, 1);
  EXPECT_EQ(list.count(), 10u);
  ASSERT_TRUE(stdfs::exists(spillFile(0)));
  EXPECT_EQ(stdfs::file_size(spillFile(0)), 0u);
  store_.LoadList(list, rfnum);
  EXPECT_EQ(rfnum, 1);
  EXPECT_EQ(list.count(), 10u);
}

TEST_F(SpillTest, WhereTheFileCannotBeWritten) {
  struct Case {
    const char* what;
    std::function<void()> prepare;
    int32_t wfnum;
    size_t left;
    bool saveFolder, tmpFolder;
  } cases[] = {
      {"tmp missing is made", [] {}, 5, 0, true, true},
      {"save folder missing", [&] { stdfs::remove_all(save_); }, 4, 6000, false, false},
      {"tmp is a file", [&] { std::ofstream(save_ / "tmp") << "x"; }, 4, 6000, true, false},
      {"spill file is a folder", [&] { stdfs::create_directories(spillFile(4)); }, 4, 6000, true, true},
  };
  for (const auto& c : cases) {
    stdfs::remove_all(save_);
    stdfs::create_directory(save_);
    c.prepare();
    VectorUrlList list(urls(6000));
    int32_t wfnum = 4;
    EXPECT_EQ(store_.SaveAllList(list, wfnum), c.wfnum == 5) << c.what;
    EXPECT_EQ(wfnum, c.wfnum) << c.what;
    EXPECT_EQ(list.items(), urls(c.left)) << c.what;
    EXPECT_EQ(stdfs::is_directory(save_), c.saveFolder) << c.what;
    EXPECT_EQ(stdfs::is_directory(save_ / "tmp"), c.tmpFolder) << c.what;
  }
  EXPECT_FALSE(stdfs::exists(root_ / "tmp"));
}

// A disk that takes only part of a spill: whole records stay in the file,
// unwritten items stay queued, the counter stays, and the next spill goes on
// in the same file without a fragment between.
TEST_F(SpillTest, FailurePartWayLosesNothing) {
  VectorUrlList list(urls(100));
  int32_t wfnum = 0;
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_FALSE(store_.SaveAllList(list, wfnum));
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);

  // The file appears whole or not at all: every item is still queued, in
  // its order, and no part of the file is left under its name.
  EXPECT_EQ(wfnum, 0);
  EXPECT_EQ(list.items(), urls(100));
  EXPECT_FALSE(stdfs::exists(save_ / "tmp" / "0.dat"));

  EXPECT_TRUE(store_.SaveAllList(list, wfnum));
  EXPECT_EQ(wfnum, 1);
  VectorUrlList back;
  int32_t rfnum = 0;
  store_.LoadList(back, rfnum);
  EXPECT_EQ(back.items(), reversed(urls(100)));
}

TEST_F(SpillTest, EventsArePumpedOncePerRecord) {
  VectorUrlList list(urls(5));
  int pumps = 0;
  // A handler that runs during the spill appends to the queue; the spill
  // takes the current last item each time.
  store_.setPump([&] {
    if (++pumps <= 3) list.append(text::widen("late.com/" + std::to_string(pumps)));
  });
  int32_t wfnum = 0;
  EXPECT_TRUE(store_.SaveAllList(list, wfnum));
  EXPECT_EQ(pumps, 9);  // eight records, then the pump before the empty check
  std::vector<std::u16string> want = {u"late.com/1", u"late.com/2", u"late.com/3"};
  for (auto& u : reversed(urls(5))) want.push_back(u);
  EXPECT_EQ(records(0), want);
}

// A spill started by a handler inside the pump must not leave a gap in the
// numbers, or the reader would stop at the gap for good.
TEST_F(SpillTest, NestedSpillKeepsTheNumbersDense) {
  VectorUrlList list(urls(10));
  int32_t wfnum = 0;
  bool nested = false;
  store_.setPump([&] {
    if (!nested && list.count() == 8) {
      nested = true;
      VectorUrlList other(urls(2, 50));
      EXPECT_TRUE(store_.SaveAllList(other, wfnum));
    }
  });
  EXPECT_TRUE(store_.SaveAllList(list, wfnum));
  EXPECT_EQ(wfnum, 1);
  VectorUrlList back;
  int32_t rfnum = 0;
  store_.LoadList(back, rfnum);
  store_.LoadList(back, rfnum);
  EXPECT_EQ(rfnum, 1);
  EXPECT_EQ(back.count(), 12u);
}

TEST_F(SpillTest, LoadList) {
  const Bytes good = *spill::encodeRecord(u"a.com/1.htm") + *spill::encodeRecord(u"a.com/2.htm");
  struct Case {
    const char* what;
    const char* file;  // nullptr: no file
    Bytes content;
    std::vector<std::u16string> items;
    int32_t rfnum;
  } cases[] = {
      {"missing", nullptr, "", {}, 3},
      {"a folder of that name", "folder", "", {}, 3},
      {"good", "file", good, {u"a.com/1.htm", u"a.com/2.htm"}, 4},
      // Damaged records of every kind are in the record reader's table.
      {"bad length field", "file", good + "xyz     abc" + good, {u"a.com/1.htm", u"a.com/2.htm"}, 4},
      {"runs past the end", "file", good + "40      short", {u"a.com/1.htm", u"a.com/2.htm"}, 4},
      {"garbage only", "file", "\xFF\xFE\x01garbage", {}, 4},
  };
  for (const auto& c : cases) {
    stdfs::remove_all(save_ / "tmp");
    stdfs::create_directory(save_ / "tmp");
    std::ofstream(save_ / "tmp" / SiteData::kSpillMarker);
    if (c.file && std::string(c.file) == "folder") stdfs::create_directory(spillFile(3));
    if (c.file && std::string(c.file) == "file") std::ofstream(spillFile(3), std::ios::binary) << c.content;
    VectorUrlList list({u"head"});
    int32_t rfnum = 3;
    store_.LoadList(list, rfnum);
    std::vector<std::u16string> want = {u"head"};
    want.insert(want.end(), c.items.begin(), c.items.end());
    EXPECT_EQ(list.items(), want) << c.what;
    EXPECT_EQ(rfnum, c.rfnum) << c.what;
  }
}

// The spill folder is the program's own: made with its marker, or an
// unmarked one taken over only when it is empty or holds an older copy's
// queue. A folder that holds anything else is neither used nor changed, and
// the clean-up at the end of a copy removes only the program's files.
TEST_F(SpillTest, OnlyAFolderOfTheProgramsOwnIsUsed) {
  struct Case {
    const char* what;
    std::vector<std::string> files;  // in tmp/ before; a name ending in "/" is a folder
    int32_t wnum;
    bool claimed;
  } cases[] = {
      {"missing", {}, 0, true},
      {"empty", {""}, 0, true},
      {"marked, with anything", {SiteData::kSpillMarker, "notes.txt"}, 0, true},
      {"an older copy's spill files", {"0.dat", "1.dat"}, 2, true},
      {"an older copy's journal", {"queue.journal", "7.dat"}, 0, true},
      {"a user's 0.dat, no counter covers it", {"0.dat"}, 0, false},
      {"a user's notes beside spill files", {"0.dat", "notes.txt"}, 5, false},
      {"a folder inside", {"src/"}, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    stdfs::remove_all(save_ / "tmp");
    for (const std::string& f : c.files) {
      stdfs::create_directories(save_ / "tmp");
      if (f.empty()) continue;
      if (f.ends_with("/")) stdfs::create_directories(save_ / "tmp" / f);
      else std::ofstream(save_ / "tmp" / f, std::ios::binary) << "mine";
    }
    EXPECT_EQ(store_.claimSpillFolder(c.wnum), c.claimed);
    EXPECT_EQ(stdfs::exists(save_ / "tmp" / SiteData::kSpillMarker), c.claimed);
    VectorUrlList list(urls(3));
    int32_t wfnum = c.wnum, rfnum = 0;
    EXPECT_EQ(store_.SaveAllList(list, wfnum), c.claimed);
    store_.LoadList(list, rfnum);
    if (!c.claimed) {
      EXPECT_EQ(list.items(), urls(3)) << "a file of someone else's read as the queue";
      EXPECT_EQ(rfnum, 0);
    }
    const bool others = std::any_of(c.files.begin(), c.files.end(), [](const std::string& f) {
      return f == "notes.txt" || f == "src/";
    });
    EXPECT_EQ(store_.removeSpillFolder(), c.claimed && !others);
    for (const std::string& f : c.files) {
      const bool mine = f == "notes.txt" || f == "src/" || !c.claimed;
      if (!f.empty() && mine) {
        EXPECT_TRUE(stdfs::exists(save_ / "tmp" / f)) << f << " was removed";
      }
    }
  }
}

TEST(SaveFolderDefault, IsTheProgramFolder) {
  SiteData store;
  EXPECT_EQ(store.SavePath(), u"");
  store.ClearTmp();
  EXPECT_EQ(store.SavePath(), text::fromUtf8(fs::programFolder()));
  store.setSavePath(u"/elsewhere");
  store.ClearTmp();
  EXPECT_EQ(store.SavePath(), u"/elsewhere");
}

}  // namespace
}  // namespace harbek::store
