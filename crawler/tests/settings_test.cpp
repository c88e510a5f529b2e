#include "crawler/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "crawler/monitor_log.h"
#include "crawler/crawl_controller.h"
#include "crawler/tests/fake_fetcher.h"
#include "platform/text/text.h"
#include "tests/support/checked_loop.h"
#include "tests/support/fsync_probe.h"
#include "tests/support/temp_dir.h"

namespace harbek::crawler {
namespace {

namespace fsys = std::filesystem;

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

struct Controller {
  explicit Controller(const fsys::path& ini) {
    CrawlController::Options options;
    options.iniPath = text::fromUtf8(ini.string());
    sys = std::make_unique<CrawlController>(*loop, view, options);
    sys->startUp();
  }
  harbek::testing::CheckedLoop loop;
  testing::RecordingView view;
  std::unique_ptr<CrawlController> sys;
};

TEST(Settings, NumbersThatDoNotFitReadAsZero) {
  const struct {
    const char* text;  // null: the key is missing
    int32_t counter;   // as Rnum and as Wnum
    int16_t wait;      // as waitTime
  } cases[] = {
      {nullptr, 0, 0},
      {"", 0, 0},
      {"12", 12, 12},
      {"  34  ", 34, 34},
      {"-5", -5, -5},
      {"+6", 6, 6},
      {"abc", 0, 0},
      {"12a", 0, 0},
      {"1 2", 0, 0},
      {"-", 0, 0},
      {"0x10", 0, 0},
      {"32767", 32767, 32767},
      {"32768", 32768, 0},
      {"-32768", -32768, -32768},
      {"-32769", -32769, 0},
      {"2147483647", 2147483647, 0},
      {"2147483648", 0, 0},
      {"-2147483648", INT32_MIN, 0},
      {"99999999999999999999999", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(missing)");
    harbek::testing::TempDir dir;
    std::string body = "[sys]\ndbpath=/x\n";
    if (c.text) body += std::string("Rnum=") + c.text + "\nWnum=" + c.text + "\nwaitTime=" + c.text + "\n";
    dir.write("sys.ini", body);
    Controller ctl(dir.file("sys.ini"));
    EXPECT_EQ(ctl.sys->settings().Rnum, c.counter);
    EXPECT_EQ(ctl.sys->settings().Wnum, c.counter);
    EXPECT_EQ(ctl.sys->settings().waitTime, c.wait);
    EXPECT_EQ(ctl.sys->settings().dbpath, u"/x");
    EXPECT_EQ(ctl.view.lines.back(), u"读取系统配置文件成功!");
  }
}

TEST(Settings, FirstSaveCreatesTheFileWithFiveKeysInOrder) {
  harbek::testing::TempDir dir;
  Controller ctl(dir.file("sys.ini"));  // no file: every setting empty or 0
  EXPECT_EQ(ctl.sys->settings().dbpath, u"");
  auto& s = ctl.sys->settings();
  s.dbpath = u"/data/sites";
  s.Rnum = 3;
  s.Wnum = -7;
  s.SiteListUrl = u"http://list.example/get.asp";
  s.waitTime = 15;
  s.username = u"never-written";
  harbek::testing::fsyncCalls().clear();
  ctl.sys->SaveConfig();
  // The file is written whole, once: a kill never leaves the folder and the
  // counters out of step.
  EXPECT_EQ(std::count_if(harbek::testing::fsyncCalls().begin(), harbek::testing::fsyncCalls().end(),
                          [](const harbek::testing::FsyncCall& c) { return !c.folder; }),
            1);
  EXPECT_EQ(lines(harbek::testing::readFile(dir.file("sys.ini"))),
            (std::vector<std::string>{"[sys]", "dbpath=/data/sites", "wnum=-7", "Rnum=3",
                                      "SiteListUrl=http://list.example/get.asp", "waitTime=15"}));

  // What was saved reads back.
  Controller again(dir.file("sys.ini"));
  EXPECT_EQ(again.sys->settings().Wnum, -7);
  EXPECT_EQ(again.sys->settings().Rnum, 3);
  EXPECT_EQ(again.sys->settings().waitTime, 15);
  EXPECT_EQ(again.sys->settings().SiteListUrl, u"http://list.example/get.asp");
  EXPECT_EQ(again.sys->settings().username, u"");
}

TEST(Settings, UserNameInTheFileSurvivesEverySave) {
  harbek::testing::TempDir dir;
  // The file is in the system code page.
  dir.write("sys.ini", "[sys]\nusername=" + text::toCodePage(u"张三") + "\ndbpath=/old\n");
  Controller ctl(dir.file("sys.ini"));
  EXPECT_EQ(ctl.sys->settings().username, u"张三");
  ctl.sys->settings().username = u"someone else";
  ctl.sys->saveSettingsWindow(u"", u"http://l/");
  ctl.sys->SaveConfig();
  Controller again(dir.file("sys.ini"));
  EXPECT_EQ(again.sys->settings().username, u"张三");
  EXPECT_EQ(again.sys->settings().dbpath, u"");  // an empty save folder is stored empty
  EXPECT_EQ(again.sys->settings().SiteListUrl, u"http://l/");
}

// The request settings are written once set, and from then on whatever they
// hold, so clearing one in the settings window clears it in the file.
TEST(Settings, RequestSettingsAreWrittenOnceSetAndReadBack) {
  harbek::testing::TempDir dir;
  const struct {
    std::u16string userAgent;
    bool noCheck;
    std::u16string caFile;
    std::vector<std::string> extraLines;  // after the five keys
  } saves[] = {
      {u"", false, u"", {}},
      {u"Agent/1 (中文)", false, u"", {"UserAgent=" + text::toCodePage(u"Agent/1 (中文)")}},
      {u"Agent/1", true, u"/etc/ca.pem", {"UserAgent=Agent/1", "NoCheckCertificate=1", "CaCertificate=/etc/ca.pem"}},
      {u"", false, u"", {"UserAgent=", "NoCheckCertificate=0", "CaCertificate="}},
  };
  for (const auto& save : saves) {
    SCOPED_TRACE(text::toUtf8(save.userAgent));
    Controller ctl(dir.file("sys.ini"));
    ctl.sys->setRequestSettings(save.userAgent, save.noCheck, save.caFile);
    ctl.sys->saveSettingsWindow(u"/d", u"");
    std::vector<std::string> want = {"[sys]", "dbpath=/d", "wnum=0", "Rnum=0", "SiteListUrl=", "waitTime=0"};
    want.insert(want.end(), save.extraLines.begin(), save.extraLines.end());
    EXPECT_EQ(lines(harbek::testing::readFile(dir.file("sys.ini"))), want);
    Controller again(dir.file("sys.ini"));
    EXPECT_EQ(again.sys->settings().UserAgent, save.userAgent);
    EXPECT_EQ(again.sys->settings().NoCheckCertificate, save.noCheck);
    EXPECT_EQ(again.sys->settings().CaCertificate, save.caFile);
  }
}

TEST(MonitorLog, ClearedOnceItHoldsMoreThan500Characters) {
  const struct {
    size_t before;  // characters already in the log
    size_t line;    // length of the line logged
    size_t after;
  } cases[] = {
      {0, 0, 2},        {0, 498, 500},   {0, 499, 0},  // 501
      {490, 18, 0},                                   // 490 -> 510: shown, then cleared
      {490, 8, 500},    {100, 1000, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.before) + "+" + std::to_string(c.line));
    MonitorLog log;
    if (c.before) log.log(std::u16string(c.before - 2, u'x'));
    ASSERT_EQ(log.text().size(), c.before);
    log.log(std::u16string(c.line, u'日'));
    EXPECT_EQ(log.text().size(), c.after);
    if (c.after) {
      EXPECT_TRUE(log.text().ends_with(std::u16string(c.line, u'日') + u"\r\n"));
    }
  }

  // Through the controller: the line still reaches the view once, and the
  // log it shows afterwards is empty.
  harbek::testing::TempDir dir;
  Controller ctl(dir.file("sys.ini"));
  while (ctl.sys->log().text().size() != 490) {
    const size_t room = 490 - ctl.sys->log().text().size();
    ctl.sys->AddLog(std::u16string(std::min<size_t>(room, 50) - 2, u'a'));
  }
  ctl.view.lines.clear();
  ctl.sys->AddLog(std::u16string(18, u'b'));
  EXPECT_EQ(ctl.view.lines, std::vector<std::u16string>{std::u16string(18, u'b')});
  EXPECT_EQ(ctl.view.lastLog, u"");
  EXPECT_EQ(ctl.sys->log().text(), u"");
}

}  // namespace
}  // namespace harbek::crawler
