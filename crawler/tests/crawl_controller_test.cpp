#include "crawler/crawl_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "crawler/tests/fake_fetcher.h"
#include "libs/url/fetch_url.h"
#include "platform/text/text.h"
#include "store/url_list.h"
#include "tests/support/checked_loop.h"
#include "tests/support/temp_dir.h"

namespace harbek::crawler {
namespace {

namespace fsys = std::filesystem;
using testing::FakePage;
using testing::FakeScript;
using testing::RecordingView;

// Every regular file under root, as paths relative to it.
std::set<std::string> filesUnder(const fsys::path& root) {
  std::set<std::string> out;
  std::error_code ec;
  if (!fsys::exists(root, ec)) return out;
  for (auto it = fsys::recursive_directory_iterator(root, ec); !ec && it != fsys::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string rel = fsys::relative(it->path(), root).string();
    // The copy's state store is the program's, not part of the copy.
    if (it->is_regular_file() && !rel.starts_with(".harbek/")) out.insert(rel);
  }
  return out;
}

std::vector<std::u16string> items(const CrawlQueue& q) {
  std::vector<std::u16string> out;
  for (size_t i = 0; i < q.count(); ++i) out.push_back(q.itemAt(i));
  return out;
}

class CrawlControllerTest : public ::testing::Test {
 protected:
  CrawlControllerTest() { fsys::create_directories(save()); }

  fsys::path save() const { return dir_.file("save"); }
  fsys::path ini() const { return dir_.file("sys.ini"); }

  void writeIni(const std::string& extra = "") {
    std::ofstream(ini()) << "[sys]\ndbpath=" << save().string() << "\n" << extra;
  }

  // A controller as the program starts it, over the scripted fetcher.
  std::unique_ptr<CrawlController> start(int intervalMs = 100) {
    CrawlController::Options options;
    options.intervalMs = intervalMs;
    options.iniPath = text::fromUtf8(ini().string());
    options.directoryDomain = u"sitelist.test";
    options.request = request_;
    options.makeFetcher = [this](event::EventLoop&, fetcher::HtmlEvents& owner) {
      return std::make_unique<testing::FakeFetcher>(script_, owner);
    };
    auto sys = std::make_unique<CrawlController>(*loop_, view_, options);
    sys->startUp();
    return sys;
  }

  void pump(int times = 3) {
    for (int i = 0; i < times; ++i) loop_->pumpOnce(std::chrono::milliseconds(0));
  }

  harbek::testing::TempDir dir_;
  harbek::testing::CheckedLoop loop_;
  FakeScript script_;
  RecordingView view_;
  CrawlController::RequestOptions request_;  // the run's, as the terminal gives them
};

TEST_F(CrawlControllerTest, FirstStepWithEmptyQueueFetchesTheSiteListRequestAtOnce) {
  writeIni("SiteListUrl=http://sitelist.test/list.asp\nusername=bob\n");
  FakePage list;
  // A directory page: every link is queued as it stands, other hosts and
  // queries included, and nothing of the page is saved.
  list.pieces = {{u"/list.asp?username=bob", "<a href=...>"}};
  list.tags[u"a"] = {u"http://other.example/A.htm,x", u"http://third.example/p.asp?id=2,y"};
  script_.pages[u"http://sitelist.test/list.asp?username=bob"] = list;
  auto sys = start();
  EXPECT_EQ(view_.lines.front(), u"读取系统配置文件成功!");

  sys->CrawlStep();
  EXPECT_EQ(script_.opened, std::vector<std::u16string>{u"http://sitelist.test/list.asp?username=bob"});
  EXPECT_EQ(script_.scans, (std::vector<std::u16string>{u"a|href,innerhtml|1", u"link|href,innerhtml|0",
                                                        u"img|src,innerhtml|0", u"script|src,innerhtml|1",
                                                        u"iframe|src,innerhtml|1"}));
  EXPECT_EQ(items(sys->queue()),
            (std::vector<std::u16string>{u"http://other.example/A.htm", u"http://third.example/p.asp?id=2"}));
  EXPECT_EQ(sys->panel(3), u"1");
  EXPECT_EQ(sys->panel(2), u"2");
  EXPECT_TRUE(filesUnder(save()).empty());
  // The refill saved the counters, and the hand-written user name stayed.
  std::string written = harbek::testing::readFile(ini());
  EXPECT_NE(written.find("wnum=0"), std::string::npos) << written;
  EXPECT_NE(written.find("username=bob"), std::string::npos) << written;
}

TEST_F(CrawlControllerTest, SavedHeadsAreDroppedWithoutAFetchAndNotCounted) {
  writeIni();
  fsys::create_directories(save() / "h");
  std::ofstream(save() / "h" / "a.htm") << "old";
  std::ofstream(save() / "h" / "c.htm") << "old";
  FakePage page;
  page.pieces = {{u"/b.htm", "new"}};
  script_.pages[u"http://h/b.htm"] = page;
  auto sys = start();
  sys->queue().append(u"http://h/A.htm");  // saved as h/a.htm
  sys->queue().append(u"http://h/c.htm");
  sys->queue().append(u"http://h/b.htm");
  sys->queue().append(u"http://h/c.htm");

  // The saved heads go in one step, which then fetches the first unsaved one.
  sys->CrawlStep();
  EXPECT_EQ(view_.count(u"文件存在,不再请求"), 2u);
  EXPECT_EQ(script_.opened, std::vector<std::u16string>{u"http://h/b.htm"});
  EXPECT_EQ(sys->panel(3), u"1");
  EXPECT_EQ(items(sys->queue()), std::vector<std::u16string>{u"http://h/c.htm"});
  EXPECT_EQ(harbek::testing::readFile(save() / "h" / "a.htm"), "old");
  EXPECT_EQ(harbek::testing::readFile(save() / "h" / "b.htm"), "new");

  sys->CrawlStep();
  EXPECT_EQ(script_.opened.size(), 1u);
  EXPECT_EQ(view_.count(u"文件存在,不再请求"), 3u);
  EXPECT_EQ(sys->panel(3), u"1");
  EXPECT_TRUE(sys->queue().empty());
}

TEST_F(CrawlControllerTest, APageFetchedWholeIsNotFetchedAgainInTheSameRunEvenWhenNothingWasSaved) {
  writeIni();
  FakePage page;  // a complete fetch whose body could not be saved
  script_.pages[u"http://h/Q.htm"] = page;
  auto sys = start();
  for (int i = 0; i < 3; ++i) sys->queue().append(u"http://h/Q.htm");
  sys->CrawlStep();
  sys->CrawlStep();
  EXPECT_EQ(script_.opened, std::vector<std::u16string>{u"http://h/Q.htm"});
  EXPECT_TRUE(sys->queue().empty());
}

TEST_F(CrawlControllerTest, LinksOfAnOrdinaryPage) {
  writeIni();
  fsys::create_directories(save() / "h:81");
  std::ofstream(save() / "h:81" / "saved.htm") << "x";
  auto sys = start();
  script_.currentUrl = u"http://h:81/page.htm";

  const struct {
    const char16_t* tagDis;
    const char16_t* queued;  // what joins the queue, or null
    bool dropLogged;         // "文件已经存在,放弃"
  } cases[] = {
      {u"http://h:81/b.htm,text", u"http://h:81/b.htm", false},
      {u"http://h:81/Dir/Mixed.HTM,text", u"http://h:81/Dir/Mixed.HTM", false},
      {u"http://h:81/sub/,", u"http://h:81/sub/", false},
      {u"http://h:81/b.htm,text", u"http://h:81/b.htm", false},  // the queue itself is not checked
      {u"http://other:81/b.htm,text", nullptr, true},
      {u"http://h:82/b.htm,text", nullptr, true},
      {u"http://h:81/saved.htm,text", nullptr, true},
      {u"http://h:81/SAVED.HTM,text", nullptr, true},
      {u"http://h:81/javascript:go(1),text", nullptr, false},
      {u"http://h:81/JavaScript:go(1),text", nullptr, false},
      {u"http://h:81/MAILTO:me@h,text", nullptr, false},
      {u"http://h:81/c.asp?id=1,text", nullptr, false},
      {u"http://h:81/d.htm", nullptr, false},  // no second field
      {u",text", nullptr, false},
      {u"", nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(text::toUtf8(c.tagDis));
    const size_t before = sys->queue().count();
    const size_t drops = view_.count(u"文件已经存在,放弃");
    sys->GetTag(u"a", c.tagDis);
    if (c.queued) {
      ASSERT_EQ(sys->queue().count(), before + 1);
      EXPECT_EQ(sys->queue().itemAt(before), c.queued);
      EXPECT_EQ(sys->panel(2), text::widen(std::to_string(before + 1)));
    } else {
      EXPECT_EQ(sys->queue().count(), before);
    }
    EXPECT_EQ(view_.count(u"文件已经存在,放弃"), drops + (c.dropLogged ? 1 : 0));
  }
}

TEST_F(CrawlControllerTest, DirectoryPageQueuesEveryLink) {
  writeIni();
  auto sys = start();
  script_.currentUrl = u"http://www.sitelist.test/list.asp?username=";
  for (const char16_t* dis : {u"http://other.example/A.HTM,x", u"http://h/p.asp?id=1,y", u"http://h/mailto:x,z"}) {
    sys->GetTag(u"a", dis);
  }
  EXPECT_EQ(items(sys->queue()), (std::vector<std::u16string>{u"http://other.example/A.HTM",
                                                              u"http://h/p.asp?id=1", u"http://h/mailto:x"}));
  EXPECT_EQ(view_.count(u"文件已经存在,放弃"), 0u);
}

TEST_F(CrawlControllerTest, UpperCaseLinkIsRequestedAsWrittenAndSavedInLowerCase) {
  writeIni();
  FakePage page;
  page.pieces = {{u"/Dir/Page.HTM", "<p>"}, {u"/Dir/Page.HTM", "hi</p>"}};
  script_.pages[u"http://h/Dir/Page.HTM"] = page;
  auto sys = start();
  script_.currentUrl = u"http://h/";
  sys->GetTag(u"a", u"http://h/Dir/Page.HTM,link");
  ASSERT_EQ(items(sys->queue()), std::vector<std::u16string>{u"http://h/Dir/Page.HTM"});

  sys->CrawlStep();
  EXPECT_EQ(script_.opened, std::vector<std::u16string>{u"http://h/Dir/Page.HTM"});
  EXPECT_EQ(filesUnder(save()), std::set<std::string>{"h/dir/page.htm"});
  EXPECT_EQ(harbek::testing::readFile(save() / "h/dir/page.htm"), "<p>hi</p>");

  // Found again in any case, the saved page is neither queued nor fetched.
  sys->GetTag(u"a", u"http://h/DIR/page.htm,link");
  EXPECT_EQ(sys->queue().count(), 0u);
  EXPECT_EQ(view_.count(u"文件已经存在,放弃"), 1u);
  sys->queue().append(u"http://h/dir/PAGE.htm");
  sys->CrawlStep();
  EXPECT_EQ(script_.opened.size(), 1u);
  EXPECT_EQ(view_.count(u"文件存在,不再请求"), 1u);
}

TEST_F(CrawlControllerTest, SaveFileNames) {
  const struct {
    const char16_t* url;
    const char16_t* fileName;
    const char* saved;  // relative to the save folder; null: nothing saved
  } cases[] = {
      {u"http://h/", u"/", "h/index.html"},
      {u"http://h", u"", "h/index.html"},
      {u"http://h/Sub/", u"/Sub/", "h/sub/index.html"},
      {u"http://h:8080/A.GIF", u"/A.GIF", "h:8080/a.gif"},
      {u"http://h/a.asp?id=1", u"/a.asp?id=1", nullptr},
      {u"http://h/?x", u"/?x", nullptr},
      {u"http://www.sitelist.test/a.htm", u"/a.htm", nullptr},  // a directory page
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(text::toUtf8(c.url));
    fsys::remove_all(save());
    fsys::create_directories(save());
    writeIni();
    view_.lines.clear();
    auto sys = start();
    script_.currentUrl = c.url;
    sys->SaveFile(c.fileName, "12", 2);
    sys->SaveFile(c.fileName, "34", 2);
    if (c.saved) {
      // Until its fetch is whole, a body sits under a temporary name beside its file.
      const std::string partial = std::string(c.saved) + ".harbek-part";
      EXPECT_EQ(filesUnder(save()), std::set<std::string>{partial});
      EXPECT_EQ(harbek::testing::readFile(save() / partial), "1234");
      EXPECT_EQ(view_.count(u"保存文件" + std::u16string(c.url)), 2u);
    } else {
      EXPECT_TRUE(filesUnder(save()).empty());
      EXPECT_EQ(view_.lines.size(), 1u);  // only the start-up line
    }
  }
}

TEST_F(CrawlControllerTest, TheEntryAfterTenThousandSpillsOnce) {
  writeIni();
  auto sys = start();
  fsys::remove(ini());
  for (int i = 0; i < 10000; ++i) sys->queue().append(u"http://h/f" + text::widen(std::to_string(i)) + u".htm");
  script_.currentUrl = u"http://h/";
  sys->GetTag(u"a", u"http://h/f10000.htm,x");
  EXPECT_EQ(sys->queue().count(), 4999u);
  EXPECT_EQ(sys->queue().itemAt(4998), u"http://h/f4998.htm");
  EXPECT_EQ(sys->settings().Wnum, 1);
  EXPECT_EQ(filesUnder(save()), (std::set<std::string>{"tmp/.harbek-spill", "tmp/0.dat"}));
  std::string written = harbek::testing::readFile(ini());
  EXPECT_NE(written.find("wnum=1"), std::string::npos) << written;

  fsys::remove(ini());
  sys->GetTag(u"a", u"http://h/g.htm,x");
  EXPECT_EQ(sys->queue().count(), 5000u);
  EXPECT_EQ(view_.mirror, items(sys->queue()));  // appends and the spill, from the notifications alone
  EXPECT_FALSE(fsys::exists(ini()));  // no second SaveConfig
  EXPECT_EQ(filesUnder(save()), (std::set<std::string>{"tmp/.harbek-spill", "tmp/0.dat"}));

  // The spilled entries come back, all of them, when the queue runs dry.
  while (sys->queue().count() > 0) sys->queue().removeAt(0);
  sys->settings().SiteListUrl.clear();
  std::set<std::u16string> reloaded;
  store::VectorUrlList back;
  int32_t rnum = 0;
  sys->site().LoadList(back, rnum);
  for (const auto& item : back.items()) reloaded.insert(item);
  EXPECT_EQ(reloaded.size(), 5002u);
  EXPECT_TRUE(reloaded.count(u"http://h/f9999.htm") && reloaded.count(u"http://h/f10000.htm") &&
              reloaded.count(u"http://h/f4999.htm"));
}

// A spill that cannot be written is told once and counted; the queue stays
// whole, and no other spill is tried before the next step.
TEST_F(CrawlControllerTest, AFailedSpillIsToldOnceAndNotRetriedWithinTheStep) {
  writeIni();
  auto sys = start();
  fsys::create_directories(save() / "tmp" / "0.dat");  // a folder where the spill file goes
  for (int i = 0; i < 10000; ++i) sys->queue().append(u"http://h/f" + text::widen(std::to_string(i)) + u".htm");
  script_.currentUrl = u"http://h/";
  for (const char16_t* link : {u"http://h/x.htm,x", u"http://h/y.htm,x", u"http://h/z.htm,x"}) sys->GetTag(u"a", link);
  EXPECT_EQ(sys->queue().count(), 10003u);
  EXPECT_EQ(sys->queue().itemAt(10002), u"http://h/z.htm");
  EXPECT_EQ(sys->counts().writeFailures, 1);
  const auto told = [&] {
    return std::count_if(view_.lines.begin(), view_.lines.end(),
                         [](const std::u16string& l) { return l.starts_with(u"无法保存队列到:"); });
  };
  EXPECT_EQ(told(), 1);
  sys->CrawlStep();
  sys->GetTag(u"a", u"http://h/w.htm,x");
  EXPECT_EQ(sys->counts().writeFailures, 2);  // tried again in a later step
  EXPECT_EQ(told(), 1);
}

// Counters at the largest number cannot move past a spill file: the files
// read already go and the counters start again, and no link is lost.
TEST_F(CrawlControllerTest, SpillCountersAtTheirLargestValueLoseNoLink) {
  writeIni("Rnum=2147483647\nWnum=2147483647\n");
  FakePage page;
  page.pieces = {{u"/", "x"}};
  for (int i = 0; i < 20000; ++i) page.tags[u"a"].push_back(u"http://h/p" + text::widen(std::to_string(i)) + u".htm,x");
  script_.pages[u"http://h/"] = page;
  auto sys = start();
  sys->addUrl(u"http://h/");
  ASSERT_TRUE(sys->run());
  sys->CrawlStep();
  std::set<std::u16string> kept;
  for (const auto& item : items(sys->queue())) kept.insert(item);
  for (int32_t n = sys->settings().Rnum; n < sys->settings().Wnum; ++n) {
    store::VectorUrlList spilled;
    int32_t r = n;
    sys->site().LoadList(spilled, r);
    kept.insert(spilled.items().begin(), spilled.items().end());
  }
  EXPECT_EQ(kept.size(), 20000u);
  EXPECT_FALSE(fsys::exists(save() / "tmp" / "2147483647.dat"));
}

// The save folder does not change while spill files of the copy wait in it;
// asked for during a step, the change waits for the step's end.
TEST_F(CrawlControllerTest, TheSaveFolderChangesOnlyWithNothingSpilledAndBetweenSteps) {
  writeIni("Rnum=0\nWnum=1\n");
  const std::u16string here = text::fromUtf8(save().string());
  const std::u16string other = text::fromUtf8(dir_.file("other").string());
  auto sys = start();
  std::u16string why;
  EXPECT_FALSE(sys->saveSettingsWindow(other, u"", &why));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(sys->savePath(), here);
  EXPECT_NE(harbek::testing::readFile(ini()).find("dbpath=" + save().string()), std::string::npos);

  sys->settings().Rnum = 1;  // every spill file read
  FakePage page;
  page.pieces = {{u"/a.htm", "x"}};
  page.during = [&] { EXPECT_TRUE(sys->saveSettingsWindow(other, u"")); };
  script_.pages[u"http://h/a.htm"] = page;
  sys->addUrl(u"http://h/a.htm");
  ASSERT_TRUE(sys->run());
  sys->CrawlStep();
  EXPECT_TRUE(fsys::exists(save() / "h" / "a.htm"));  // the step saved where it started
  EXPECT_EQ(sys->savePath(), other);
  EXPECT_NE(harbek::testing::readFile(ini()).find("dbpath=" + dir_.file("other").string()), std::string::npos);
}

TEST_F(CrawlControllerTest, ClosingWithAnEmptyQueueWritesNothing) {
  auto sys = start();  // no sys.ini at all
  sys->settings().dbpath = text::fromUtf8(save().string());
  bool closed = false;
  sys->requestClose([&] { closed = true; });
  pump();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(fsys::exists(ini()));
  EXPECT_TRUE(filesUnder(save()).empty());
  EXPECT_EQ(sys->panel(4), u"");
  EXPECT_EQ(view_.tray, TrayIcon::kRemoved);
}

TEST_F(CrawlControllerTest, ClosingSpillsTheQueueAndTheNextRunResumesFromIt) {
  writeIni("username=bob\n");
  {
    auto sys = start();
    for (const char16_t* u : {u"http://h/1.htm", u"http://h/2.htm", u"http://h/3.htm"}) sys->queue().append(u);
    bool closed = false;
    sys->requestClose([&] { closed = true; });
    pump();
    EXPECT_TRUE(closed);
    EXPECT_EQ(sys->panel(4), u"保存记录,请不要再次关闭");
    EXPECT_EQ(sys->queue().count(), 0u);
    EXPECT_EQ(filesUnder(save()), (std::set<std::string>{"tmp/.harbek-spill", "tmp/0.dat"}));
    // A second request while closing changes nothing.
    sys->requestClose([] { FAIL() << "closed twice"; });
    pump();
  }
  std::string written = harbek::testing::readFile(ini());
  EXPECT_NE(written.find("wnum=1"), std::string::npos) << written;
  EXPECT_NE(written.find("username=bob"), std::string::npos) << written;

  auto sys = start();
  EXPECT_EQ(sys->settings().Wnum, 1);
  sys->CrawlStep();
  EXPECT_EQ(sys->settings().Rnum, 1);
  ASSERT_EQ(script_.opened.size(), 1u);
  std::set<std::u16string> seen(script_.opened.begin(), script_.opened.end());
  for (const auto& item : items(sys->queue())) seen.insert(item);
  EXPECT_EQ(seen, (std::set<std::u16string>{u"http://h/1.htm", u"http://h/2.htm", u"http://h/3.htm"}));
  EXPECT_EQ(view_.mirror, items(sys->queue()));  // the reload and the head's removal
}

// A queue closed before any crawl made the save folder is not lost.
TEST_F(CrawlControllerTest, ClosingBeforeTheFirstCrawlMakesTheSaveFolderForTheSpill) {
  const fsys::path folder = save() / "not" / "yet";
  std::ofstream(ini()) << "[sys]\ndbpath=" << folder.string() << "\n";
  auto sys = start();
  sys->addUrl(u"http://h/1.htm");
  sys->requestClose([] {});
  pump();
  EXPECT_EQ(filesUnder(folder), (std::set<std::string>{"tmp/.harbek-spill", "tmp/0.dat"}));
}

TEST_F(CrawlControllerTest, ACutOffFetchLeavesNoFile) {
  writeIni();
  const struct {
    bool complete;
    bool saved;
  } cases[] = {{true, true}, {false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.complete);
    fsys::remove_all(save());
    fsys::create_directories(save());
    FakePage page;
    page.pieces = {{u"/Big.bin", std::string(100, 'a')}, {u"/Big.bin", std::string(50, 'b')}};
    page.complete = c.complete;
    script_.pages[u"http://h/Big.bin"] = page;
    auto sys = start();
    sys->queue().append(u"http://h/Big.bin");
    sys->queue().append(u"http://h/next.htm");
    sys->CrawlStep();
    EXPECT_EQ(fsys::exists(save() / "h/big.bin"), c.saved);
    EXPECT_EQ(items(sys->queue()), std::vector<std::u16string>{u"http://h/next.htm"});
  }
}

TEST_F(CrawlControllerTest, ClosingInTheMiddleOfAFetchKeepsTheHeadForTheNextRun) {
  writeIni();
  std::unique_ptr<CrawlController> sys;
  bool closed = false;
  FakePage page;
  page.pieces = {{u"/a.htm", "part"}, {u"/a.htm", "rest"}};
  page.during = [&] { sys->requestClose([&] { closed = true; }); };
  page.tags[u"a"] = {u"http://h/lost.htm,x"};
  script_.pages[u"http://h/a.htm"] = page;
  sys = start();
  sys->queue().append(u"http://h/a.htm");
  ASSERT_TRUE(sys->run());
  sys->CrawlStep();
  pump();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(script_.cancelled);
  EXPECT_FALSE(sys->timerEnabled());
  // The cut-off page left nothing, and it is in the spill file with the queue.
  EXPECT_EQ(filesUnder(save()), (std::set<std::string>{"tmp/.harbek-spill", "tmp/0.dat"}));
  store::VectorUrlList back;
  int32_t rnum = 0;
  sys->site().LoadList(back, rnum);
  EXPECT_EQ(back.items(), std::vector<std::u16string>{u"http://h/a.htm"});
  // A step after the close does nothing.
  sys->CrawlStep();
  EXPECT_EQ(script_.opened.size(), 1u);
}

TEST_F(CrawlControllerTest, TimerExpiriesDuringAStepStartNoSecondStep) {
  writeIni();
  std::unique_ptr<CrawlController> sys;
  size_t openedDuringFetch = 0;
  FakePage slow;
  slow.pieces = {{u"/a.htm", "a"}};
  // The fetcher pumps the loop while it waits; the timer (interval 0) comes
  // due on every pump.
  slow.during = [&] {
    for (int i = 0; i < 5; ++i) loop_->pumpOnce(std::chrono::milliseconds(1));
    openedDuringFetch = script_.opened.size();
    sys->pause();  // takes effect after this step
  };
  script_.pages[u"http://h/a.htm"] = slow;
  sys = start(0);
  for (const char16_t* u : {u"http://h/a.htm", u"http://h/b.htm", u"http://h/c.htm"}) sys->queue().append(u);
  ASSERT_TRUE(sys->run());
  for (int i = 0; i < 5 && script_.opened.empty(); ++i) pump(1);
  pump(5);
  EXPECT_EQ(openedDuringFetch, 1u);
  EXPECT_EQ(script_.opened, std::vector<std::u16string>{u"http://h/a.htm"});
  EXPECT_EQ(items(sys->queue()), (std::vector<std::u16string>{u"http://h/b.htm", u"http://h/c.htm"}));
  EXPECT_FALSE(sys->timerEnabled());
  EXPECT_EQ(sys->panel(3), u"1");

  // Started again, the timer runs the rest of the crawl to its end.
  bool finished = false;
  sys->setFinishedHandler([&] { finished = true; });
  ASSERT_TRUE(sys->run());
  for (int i = 0; i < 50 && !finished; ++i) pump(1);
  EXPECT_TRUE(finished);
  EXPECT_EQ(script_.opened.size(), 3u);
  EXPECT_EQ(sys->panel(3), u"3");
}

TEST_F(CrawlControllerTest, StopRule) {
  const struct {
    const char* name;
    std::string ini;
    std::vector<std::u16string> queue;
    std::vector<std::pair<int, std::vector<std::u16string>>> spills;  // file number, items
    bool siteListGivesLinks;
    int stepsUntilDone;  // 0: not done after 5 steps
  } cases[] = {
      {"nothing to do", "", {}, {}, false, 1},
      {"one page", "", {u"http://h/a.htm"}, {}, false, 1},
      {"two pages", "", {u"http://h/a.htm", u"http://h/b.htm"}, {}, false, 2},
      {"a spill file left", "Rnum=0\nWnum=1\n", {u"http://h/a.htm"}, {{0, {u"http://h/b.htm", u"http://h/c.htm"}}},
       false, 3},
      {"site list with nothing new", "SiteListUrl=http://sitelist.test/l.asp\n", {}, {}, false, 1},
      {"site list with links", "SiteListUrl=http://sitelist.test/l.asp\n", {}, {}, true, 0},
      // Counters out of step with the spill files on disk must not keep the
      // crawl going for ever.
      {"a spill file missing", "Rnum=0\nWnum=2\n", {}, {{1, {u"http://h/b.htm"}}}, false, 2},
      {"read counter ahead", "Rnum=7\nWnum=2\n", {}, {}, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fsys::remove_all(save());
    fsys::create_directories(save());
    writeIni(c.ini);
    script_ = FakeScript();
    FakePage list;
    if (c.siteListGivesLinks) list.tags[u"a"] = {u"http://h/x.htm,x"};
    script_.pages[u"http://sitelist.test/l.asp?username="] = list;
    view_.lines.clear();
    auto sys = start();
    for (const auto& [number, entries] : c.spills) {
      store::VectorUrlList spill(entries);
      int32_t wnum = number;
      sys->site().setSavePath(text::fromUtf8(save().string()));
      ASSERT_TRUE(sys->site().SaveAllList(spill, wnum));
    }
    bool finished = false;
    sys->setFinishedHandler([&] { finished = true; });
    for (const auto& u : c.queue) sys->queue().append(u);
    ASSERT_TRUE(sys->run());
    int steps = 0;
    while (!finished && steps < 5) {
      sys->CrawlStep();
      ++steps;
      pump(1);
    }
    if (c.stepsUntilDone == 0) {
      EXPECT_FALSE(finished);
      EXPECT_TRUE(sys->timerEnabled());
    } else {
      EXPECT_TRUE(finished);
      EXPECT_EQ(steps, c.stepsUntilDone);
      EXPECT_FALSE(sys->timerEnabled());
      EXPECT_EQ(view_.count(u"一个网站已经下载完成"), 1u);
      EXPECT_EQ(sys->settings().Rnum, sys->settings().Wnum);
    }
    sys->pause();
  }
}

// The spill folder is the program's: a host named "tmp" would save its pages
// there, and a page named like a spill file would be read back as queue.
TEST_F(CrawlControllerTest, APageOfHostTmpIsNotSaved) {
  writeIni();
  FakePage page;
  page.pieces = {{u"/0.dat", "12345678http://elsewhere/"}};
  script_.pages[u"http://tmp/0.dat"] = page;
  auto sys = start();
  sys->queue().append(u"http://tmp/0.dat");
  ASSERT_TRUE(sys->run());
  sys->CrawlStep();
  EXPECT_FALSE(fsys::exists(save() / "tmp" / "0.dat"));
  EXPECT_EQ(view_.count(u"不保存到程序的临时目录:http://tmp/0.dat"), 1u);
  EXPECT_EQ(view_.count(u"保存文件http://tmp/0.dat"), 0u);
  sys->pause();
}

// The site-list request is asked again each time the queue runs dry, though
// it was fetched in this run; the crawl ends when it brings nothing new.
TEST_F(CrawlControllerTest, TheSiteListIsAskedAgainWhenTheQueueRunsDry) {
  writeIni("SiteListUrl=http://sitelist.test/l.asp\n");
  const std::u16string request = u"http://sitelist.test/l.asp?username=";
  FakePage list, x;
  list.tags[u"a"] = {u"http://h/x.htm,x"};
  int asked = 0;
  list.during = [&] {
    if (++asked == 2) script_.pages[request].tags.clear();  // the second answer brings nothing new
  };
  list.pieces = {{u"/l.asp?username=", "list"}};
  x.pieces = {{u"/x.htm", "x"}};
  script_.pages[request] = list;
  script_.pages[u"http://h/x.htm"] = x;
  auto sys = start();
  bool finished = false;
  sys->setFinishedHandler([&] { finished = true; });
  ASSERT_TRUE(sys->run());
  for (int step = 0; step < 5 && !finished; ++step) {
    sys->CrawlStep();
    pump(1);
  }
  EXPECT_TRUE(finished);
  EXPECT_EQ(script_.opened, (std::vector<std::u16string>{request, u"http://h/x.htm", request}));
}

// Only a 2xx answer is the page: an error page or a redirect is neither
// saved nor scanned, is logged with its status, and is not asked for again
// in this run.
TEST_F(CrawlControllerTest, OnlyA2xxAnswerIsSavedAndScanned) {
  const struct {
    std::u16string status;
    bool saved;
  } cases[] = {{u"200", true}, {u"204", true}, {u"404", false}, {u"301", false}, {u"500", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(text::toUtf8(c.status));
    fsys::remove_all(save());
    fsys::create_directories(save());
    writeIni();
    script_ = FakeScript();
    view_.lines.clear();
    FakePage page;
    page.status = c.status;
    page.pieces = {{u"/a.htm", "body"}};
    page.tags[u"a"] = {u"http://h/b.htm,b"};
    script_.pages[u"http://h/a.htm"] = page;
    auto sys = start();
    sys->queue().append(u"http://h/a.htm");
    sys->CrawlStep();
    EXPECT_EQ(fsys::exists(save() / "h" / "a.htm"), c.saved);
    EXPECT_EQ(script_.scans.size(), c.saved ? 5u : 0u);
    EXPECT_EQ(items(sys->queue()), c.saved ? std::vector<std::u16string>{u"http://h/b.htm"} : std::vector<std::u16string>{});
    EXPECT_EQ(view_.count(u"服务器返回状态" + c.status + u",不保存:http://h/a.htm"), c.saved ? 0u : 1u);
    if (!c.saved) {
      sys->queue().append(u"http://h/a.htm");
      sys->CrawlStep();
      EXPECT_EQ(script_.opened.size(), 1u);
    }
  }
}

TEST_F(CrawlControllerTest, RunCreatesAMissingSaveFolderOrRefusesToStart) {
  writeIni();
  auto sys = start();
  sys->settings().dbpath = text::fromUtf8((save() / "new" / "deeper").string());
  EXPECT_TRUE(sys->run());
  EXPECT_TRUE(fsys::is_directory(save() / "new" / "deeper"));
  EXPECT_EQ(view_.trayTip, u"蜘蛛已经启动..");
  sys->pause();
  EXPECT_EQ(view_.trayTip, u"蜘蛛已暂停..");

  std::ofstream(save() / "plain") << "a file";
  sys->settings().dbpath = text::fromUtf8((save() / "plain" / "sub").string());
  EXPECT_FALSE(sys->run());
  EXPECT_FALSE(sys->timerEnabled());
}

// The toolbar and the tray menu both start and pause; only the toolbar
// changes the tray's tip.
TEST_F(CrawlControllerTest, StartAndPauseCommands) {
  writeIni();
  auto sys = start();
  const struct {
    const char* command;
    TrayIcon icon;
    std::u16string tip;
    bool timer;
  } cases[] = {
      {"trayStart", TrayIcon::kRunning, u"蜘蛛没有启动..", true},
      {"pause", TrayIcon::kPaused, u"蜘蛛已暂停..", false},
      {"trayStart", TrayIcon::kRunning, u"蜘蛛已暂停..", true},
      {"trayPause", TrayIcon::kPaused, u"蜘蛛已暂停..", false},
      {"run", TrayIcon::kRunning, u"蜘蛛已经启动..", true},
      {"trayPause", TrayIcon::kPaused, u"蜘蛛已经启动..", false},
  };
  const std::map<std::string, std::function<void()>> commands = {
      {"run", [&] { sys->run(); }},
      {"pause", [&] { sys->pause(); }},
      {"trayStart", [&] { sys->trayStart(); }},
      {"trayPause", [&] { sys->trayPause(); }},
  };
  for (const auto& c : cases) {
    commands.at(c.command)();
    EXPECT_EQ(view_.tray, c.icon) << c.command;
    EXPECT_EQ(view_.trayTip, c.tip) << c.command;
    EXPECT_EQ(sys->timerEnabled(), c.timer) << c.command;
  }
}

TEST_F(CrawlControllerTest, AddUrlQueuesWhatTheUserTyped) {
  writeIni();
  auto sys = start();
  const struct {
    std::u16string typed;
    std::u16string queued;  // empty: nothing queued
  } cases[] = {
      {u"http://Site/A.htm", u"http://site/A.htm"},
      {u"  example.test/x  ", u"http://example.test/x"},
      {u"site/a/./b/../c d.htm", u"http://site/a/c%20d.htm"},
      {u"https://h/", u"https://h/"},
      {u" \t ", u""},
      {u"", u""},
  };
  for (const auto& c : cases) {
    size_t before = sys->queue().count();
    EXPECT_EQ(sys->addUrl(c.typed), !c.queued.empty()) << text::toUtf8(c.typed);
    if (c.queued.empty()) {
      EXPECT_EQ(sys->queue().count(), before);
    } else {
      EXPECT_EQ(sys->queue().itemAt(before), c.queued);
      EXPECT_EQ(sys->panel(2), text::widen(std::to_string(before + 1)));
    }
  }
  EXPECT_EQ(view_.mirror, items(sys->queue()));
}

TEST_F(CrawlControllerTest, TagProgressIgnoresWhatTheBarRefuses) {
  writeIni();
  auto sys = start();
  const struct {
    int32_t curr, all;
    std::pair<int32_t, int32_t> shown;  // maximum, value
  } cases[] = {
      {5, 10, {10, 5}}, {0, 0, {10, 0}},   {20, 0, {10, 0}},
      {-1, 30, {30, 0}}, {30, 30, {30, 30}}, {3, -4, {30, 3}},
  };
  for (const auto& c : cases) {
    sys->tagProgress(c.curr, c.all);
    EXPECT_EQ(view_.progress.back(), c.shown) << c.curr << "/" << c.all;
  }
}

TEST_F(CrawlControllerTest, ShowStateShowsTheUrlAndLogs) {
  writeIni();
  auto sys = start();
  script_.currentUrl = u"http://h/x.htm";
  sys->ShowState(u"接收到数据");
  EXPECT_EQ(sys->panel(1), u"http://h/x.htm");
  EXPECT_EQ(view_.lines.back(), u"接收到数据");
}

}  // namespace
}  // namespace harbek::crawler

namespace harbek::crawler {
namespace {

// A redirect is not a page: its target, resolved against the URL fetched,
// goes through the tests of a link found on that page. Each row crawls from
// its start address to the end; the fetches, the saved files and the log
// lines tell what was followed.
TEST_F(CrawlControllerTest, RedirectsAreLinksOfTheUrlThatRedirected) {
  struct Page {
    std::u16string url, status, location;
    std::vector<std::u16string> links;
  };
  const struct {
    const char* name;
    std::u16string start;
    std::vector<Page> pages;
    std::vector<std::u16string> opened;
    std::set<std::string> saved;
    std::vector<std::u16string> lines;  // each logged at least once
  } cases[] = {
      {"http to https of one host, both ways",
       u"http://site/",
       {{u"http://site/", u"301", u"https://site/", {}},
        {u"https://site/", u"200", u"", {u"https://site/A.html", u"http://site/b.html", u"https://site/"}},
        {u"https://site/A.html", u"200", u"", {u"/b.html"}},
        {u"http://site/b.html", u"302", u"  HTTPS://Site/b.html  ", {}},
        {u"https://site/b.html", u"200", u"", {}}},
       {u"http://site/", u"https://site/", u"https://site/A.html", u"http://site/b.html", u"https://site/b.html"},
       {"site/index.html", "site/a.html", "site/b.html"},
       {u"重定向301:http://site/ -> https://site/", u"重定向302:http://site/b.html -> https://site/b.html"}},
      {"another site is not followed",
       u"http://site/",
       {{u"http://site/", u"200", u"", {u"/go"}}, {u"http://site/go", u"303", u"http://elsewhere/x", {}}},
       {u"http://site/", u"http://site/go"},
       {"site/index.html"},
       {u"重定向303:http://site/go -> http://elsewhere/x", u"文件已经存在,放弃"}},
      {"a loop of two ends",
       u"http://site/l1",
       {{u"http://site/l1", u"307", u"/l2", {}}, {u"http://site/l2", u"308", u"http://site/l1", {}}},
       {u"http://site/l1", u"http://site/l2"},
       {},
       {u"重定向308:http://site/l2 -> http://site/l1", u"文件存在,不再请求"}},
      {"a self-redirect ends",
       u"https://site/s",
       {{u"https://site/s", u"301", u"s", {}}},
       {u"https://site/s"},
       {},
       {u"重定向301:https://site/s -> https://site/s"}},
      {"a start address moves to its www host",
       u"example.test",
       {{u"http://example.test/", u"301", u"https://www.example.test/", {}},
        {u"https://www.example.test/", u"200", u"", {u"p.html", u"https://example.test/other.html"}},
        {u"https://www.example.test/p.html", u"200", u"", {}}},
       {u"http://example.test/", u"https://www.example.test/", u"https://www.example.test/p.html"},
       {"www.example.test/index.html", "www.example.test/p.html"},
       {u"起始地址转到新站点:www.example.test", u"文件已经存在,放弃"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fsys::path folder = save() / std::to_string(n++);
    fsys::create_directories(folder);
    std::ofstream(ini()) << "[sys]\ndbpath=" << folder.string() << "\n";
    script_ = FakeScript();
    for (const Page& p : c.pages) {
      FakePage page;
      page.status = p.status;
      page.location = p.location;
      const std::optional<url::FetchUrl> parsed = url::FetchUrl::parse(p.url);
      ASSERT_TRUE(parsed);
      page.pieces = {{parsed->path, text::toUtf8(p.url)}};
      for (const auto& link : p.links) page.tags[u"a"].push_back(url::crawlLink(p.url, link) + u",x");
      script_.pages[p.url] = page;
    }
    auto sys = start();
    ASSERT_TRUE(sys->addUrl(c.start));
    ASSERT_TRUE(sys->run());
    for (int step = 0; step < 20 && sys->timerEnabled(); ++step) sys->CrawlStep();
    EXPECT_FALSE(sys->timerEnabled());
    EXPECT_EQ(script_.opened, c.opened);
    std::set<std::string> saved;
    for (const std::string& f : filesUnder(folder)) {
      if (!f.starts_with("tmp")) saved.insert(f);
    }
    EXPECT_EQ(saved, c.saved);
    for (const auto& line : c.lines) EXPECT_GE(view_.count(line), 1u) << text::toUtf8(line);
  }
}

// What each fetch is asked to send and check: the run's options over the
// settings in sys.ini, the fetcher's own User-Agent when neither names one.
TEST_F(CrawlControllerTest, RequestOptionsOfTheRunWinOverTheSettings) {
  const struct {
    std::string ini;
    CrawlController::RequestOptions run;
    std::u16string userAgent;
    bool verify;
    std::string caFile;
  } cases[] = {
      {"", {}, u"", true, ""},
      {"UserAgent=Saved/1\nNoCheckCertificate=1\nCaCertificate=/saved.pem\n", {}, u"Saved/1", false, "/saved.pem"},
      {"UserAgent=Saved/1\nCaCertificate=/saved.pem\n", {u"Run/2", false, u"/run.pem"}, u"Run/2", true, "/run.pem"},
      {"NoCheckCertificate=0\n", {u"", true, u""}, u"", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    writeIni(c.ini);
    request_ = c.run;
    script_ = FakeScript();
    auto sys = start();
    sys->addUrl(u"http://h/");
    sys->CrawlStep();
    ASSERT_EQ(script_.opened.size(), 1u);
    EXPECT_EQ(script_.userAgent, c.userAgent);
    EXPECT_EQ(script_.tls.verify, c.verify);
    EXPECT_EQ(script_.tls.caFile, c.caFile);
  }
}

// With more connections, each step names the URLs to fetch ahead: from the
// head on, those a step would fetch (not saved, not fetched in this run, not
// twice), one per connection. Panel 1 shows the request that started last
// and how many run; "停止" drops what was fetched ahead.
TEST_F(CrawlControllerTest, WithMoreConnectionsTheUrlsAStepWouldFetchAreAskedForAhead) {
  writeIni();
  fsys::create_directories(save() / "h");
  std::ofstream(save() / "h" / "saved.html") << "saved before";
  request_.connections = 3;
  FakePage head;
  head.states = {u"接收到数据"};
  head.pieces = {{u"/", "<p>"}};
  script_.pages[u"http://h/"] = head;
  script_.inFlight = 3;
  script_.lastStarted = u"http://h/c.html";
  auto sys = start();
  for (const char16_t* u : {u"http://h/", u"http://h/saved.html", u"http://h/a.html", u"http://h/a.html",
                            u"http://h/c.html", u"http://h/d.html"}) {
    ASSERT_TRUE(sys->addUrl(u));
  }
  ASSERT_TRUE(sys->run());  // the steps below are run by hand
  sys->CrawlStep();
  EXPECT_EQ(script_.connections, 3);
  ASSERT_EQ(script_.prefetched.size(), 1u);
  EXPECT_EQ(script_.prefetched[0],
            (std::vector<std::u16string>{u"http://h/", u"http://h/a.html", u"http://h/c.html"}));
  EXPECT_EQ(script_.opened, std::vector<std::u16string>{u"http://h/"});
  EXPECT_EQ(view_.panels[0], u"http://h/c.html (同时下载3个)");
  // The head is settled: the next step names what follows it.
  sys->CrawlStep();
  ASSERT_EQ(script_.prefetched.size(), 2u);
  EXPECT_EQ(script_.prefetched[1],
            (std::vector<std::u16string>{u"http://h/a.html", u"http://h/c.html", u"http://h/d.html"}));
  sys->pause();
  EXPECT_TRUE(script_.prefetchesDropped);
}

}  // namespace
}  // namespace harbek::crawler
