// The four windows, offscreen, driven through their real widgets: captions
// and controls, the commands acting on the controller, the monitor, the
// settings file, the close sequence, the find-and-replace seam. Each window
// leaves a screenshot in the build folder (screenshots/).
#include <gtest/gtest.h>

#include <QAction>
#include <QRegularExpression>
#include <QWidgetAction>
#include <QGroupBox>
#include <QLabel>
#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolBar>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "crawler/tests/fake_fetcher.h"
#include "crawler/windows/main_window.h"
#include "crawler/windows/monitor_window.h"
#include "crawler/windows/program_icon.h"
#include "crawler/windows/qt_event_loop.h"
#include "crawler/windows/settings_window.h"
#include "crawler/windows/tests/window_test_support.h"
#include "platform/text/text.h"
#include "tests/support/checked_loop.h"
#include "tests/support/temp_dir.h"

namespace harbek::windows {
namespace {

namespace fsys = std::filesystem;
using crawler::TrayIcon;
using harbek::testing::readFile;
using namespace testing;

class WindowTest : public ::testing::Test {
 protected:
  fsys::path ini() const { return dir_.file("sys.ini"); }
  fsys::path save() const { return dir_.file("save"); }
  void writeIni(const std::string& extra = "") {
    std::ofstream(ini()) << "[sys]\ndbpath=" << save().string() << "\n" << extra;
  }

  // The main window as the program opens it; a long timer interval keeps
  // the crawl from stepping unless a test wants it to.
  std::unique_ptr<MainWindow> open(int intervalMs = 60000, ReplaceWindowFactory factory = nullptr) {
    MainWindow::Options options;
    options.crawl.iniPath = text::fromUtf8(ini().string());
    options.crawl.intervalMs = intervalMs;
    options.makeReplaceWindow = std::move(factory);
    options.onEnded = [this] { ++ended_; };
    auto window = std::make_unique<MainWindow>(*loop_, options);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
  }

  harbek::testing::TempDir dir_;
  harbek::testing::CheckedLoop loop_{makeQtLoop()};
  int ended_ = 0;
};

// A widget's caption: a window's title, a frame's title, a label's or a
// button's text.
QString captionOf(const QWidget* w) {
  if (w->isWindow()) return w->windowTitle();
  if (auto* box = qobject_cast<const QGroupBox*>(w)) return box->title();
  if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
  return {};
}

QStringList actionTexts(const QList<QAction*>& actions) {
  QStringList out;
  for (const QAction* a : actions) {
    if (a->isSeparator()) {
      out << QStringLiteral("-");
    } else if (!qobject_cast<const QWidgetAction*>(a) && !a->text().isEmpty()) {
      out << a->text();
    }
  }
  return out;
}

QImage picture(const QIcon& icon) { return icon.pixmap(32, 32).toImage(); }

TEST_F(WindowTest, EveryWindowShowsItsCaptionsAndControls) {
  writeIni("SiteListUrl=http://list.test/sites.asp\n");
  auto main = open();
  click(*main, u"配置");
  main->findChild<QLabel*>(QStringLiteral("Panel1"))->setText(QStringLiteral("-"));
  QTest::mouseClick(main->findChild<QLabel*>(QStringLiteral("Panel2")), Qt::LeftButton);
  QWidget* all[] = {main.get(), main->settingsWindow(), main->monitorWindow()};
  auto find = [&](const char* window, const char* name) -> QWidget* {
    for (QWidget* w : all) {
      if (w && w->objectName() == QLatin1String(window))
        return w->objectName() == QLatin1String(name) ? w : w->findChild<QWidget*>(QLatin1String(name));
    }
    return nullptr;
  };
  const struct {
    const char* window;
    const char* control;
    const char16_t* caption;
  } captions[] = {
      {"main", "main", u"Tovana-网站clone"},   {"db_cofing", "db_cofing", u"系统环境配置"},
      {"db_cofing", "Frame4", u"服务器配置"},  {"db_cofing", "Label6", u"网站列表返回地址"},
      {"db_cofing", "Frame2", u"数据存入位置"}, {"db_cofing", "Command2", u"=保存="},
      {"db_cofing", "ConvertLinks", u"下载完成后转换链接"}, {"lis", "lis", u"监视"},
  };
  for (const auto& c : captions) {
    QWidget* w = find(c.window, c.control);
    ASSERT_NE(w, nullptr) << c.window << "/" << c.control;
    EXPECT_EQ(captionOf(w), QString::fromStdU16String(c.caption)) << c.control;
  }
  const struct {
    const char* window;
    const char* control;
    const char* kind;
  } controls[] = {
      {"main", "Toolbar1", "QToolBar"},         {"main", "List1", "QListView"},
      {"main", "StatusBar1", "QStatusBar"},     {"main", "ProgressBar1", "QProgressBar"},
      {"main", "UrlEdit", "QLineEdit"},         {"db_cofing", "SiteListUrl", "QLineEdit"},
      {"db_cofing", "dbpath", "QLineEdit"},     {"db_cofing", "Picture1", "QLabel"},
      {"lis", "Text1", "QPlainTextEdit"},
  };
  for (const auto& c : controls) {
    QWidget* w = find(c.window, c.control);
    ASSERT_NE(w, nullptr) << c.window << "/" << c.control;
    EXPECT_TRUE(w->inherits(c.kind)) << c.control;
  }
  EXPECT_EQ(actionTexts(main->findChild<QToolBar*>(QStringLiteral("Toolbar1"))->actions()),
            (QStringList{"运行", "停止", "配置", "帮助", "广告替换", "-"}));
  EXPECT_EQ(actionTexts(main->popUpMenu()->actions()),
            (QStringList{"开始", "更新网站", "-", "退出", "-", "隐藏", "-", "显示", "-", "暂停"}));
  EXPECT_EQ(main->statusBar()->findChildren<QLabel*>(QRegularExpression("^Panel[1-4]$")).size(), 4);
  EXPECT_EQ(main->findChild<QLineEdit*>(QStringLiteral("SiteListUrl"))->text(), "http://list.test/sites.asp");
  EXPECT_EQ(main->findChild<QLineEdit*>(QStringLiteral("dbpath"))->text(), QString::fromStdString(save().string()));
  EXPECT_TRUE(main->findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->isReadOnly());
  EXPECT_FALSE(main->findChild<QLabel*>(QStringLiteral("Picture1"))->pixmap().isNull());
  EXPECT_EQ(main->trayIcon()->toolTip(), QStringLiteral("蜘蛛没有启动.."));
  for (QWidget* w : all) {
    EXPECT_FALSE(w->windowIcon().isNull()) << w->objectName().toStdString();
    EXPECT_EQ(picture(w->windowIcon()), picture(programIcon())) << w->objectName().toStdString();
  }
  // The three tray pictures are three different pictures.
  EXPECT_NE(picture(programIcon()), picture(runningIcon()));
  EXPECT_NE(picture(runningIcon()), picture(pausedIcon()));
  saveScreenshot(main->settingsWindow(), "db_cofing");
}

TEST_F(WindowTest, ToolbarAndMenuCommandsActOnTheCrawl) {
  writeIni();
  auto main = open();
  const QIcon windowIcon = programIcon(), running = runningIcon(), paused = pausedIcon();
  enum How { kToolbar, kMenu, kTrayDoubleClick };
  const struct {
    How how;
    const char16_t* caption;
    bool timer;
    const QIcon* icon;
    const char16_t* tip;
    bool visible;
  } cases[] = {
      {kToolbar, u"运行", true, &running, u"蜘蛛已经启动..", true},
      {kToolbar, u"停止", false, &paused, u"蜘蛛已暂停..", true},
      {kMenu, u"开始", true, &running, u"蜘蛛已暂停..", true},  // the menu changes the picture only
      {kMenu, u"暂停", false, &paused, u"蜘蛛已暂停..", true},
      {kMenu, u"隐藏", false, &paused, u"蜘蛛已暂停..", false},
      {kMenu, u"显示", false, &paused, u"蜘蛛已暂停..", true},
      {kMenu, u"隐藏", false, &paused, u"蜘蛛已暂停..", false},
      {kTrayDoubleClick, u"", false, &paused, u"蜘蛛已暂停..", true},
      {kMenu, u"开始", true, &running, u"蜘蛛已暂停..", true},
      {kToolbar, u"停止", false, &paused, u"蜘蛛已暂停..", true},
  };
  EXPECT_EQ(picture(main->trayIcon()->icon()), picture(windowIcon));
  for (const auto& c : cases) {
    const std::string what = text::toUtf8(c.caption);
    if (c.how == kToolbar) {
      click(*main, c.caption);
    } else if (c.how == kMenu) {
      menuAction(*main, c.caption)->trigger();
    } else {
      emit main->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    }
    EXPECT_EQ(main->controller().timerEnabled(), c.timer) << what;
    EXPECT_EQ(picture(main->trayIcon()->icon()), picture(*c.icon)) << what;
    EXPECT_EQ(main->trayIcon()->toolTip(), QString::fromStdU16String(c.tip)) << what;
    EXPECT_EQ(main->isVisible(), c.visible) << what;
  }
}

TEST_F(WindowTest, AClickOnAnyStatusPanelShowsTheMonitor) {
  writeIni();
  auto main = open();
  ASSERT_NE(main->monitorWindow(), nullptr);  // made by the first log line
  EXPECT_FALSE(main->monitorWindow()->isVisible());
  for (int i = 1; i <= 4; ++i) {
    main->monitorWindow()->hide();
    QTest::mouseClick(main->findChild<QLabel*>(QStringLiteral("Panel%1").arg(i)), Qt::LeftButton);
    EXPECT_TRUE(main->monitorWindow()->isVisible()) << "panel " << i;
  }
  saveScreenshot(main->monitorWindow(), "lis");
}

TEST_F(WindowTest, SettingsWindowSavesIntoSysIni) {
  writeIni("SiteListUrl=http://old.test/list\nusername=bob\nUserAgent=Old/1\n");
  auto main = open();
  click(*main, u"配置");
  SettingsWindow* settings = main->settingsWindow();
  ASSERT_TRUE(settings && settings->isVisible());
  auto* dbpath = settings->findChild<QLineEdit*>(QStringLiteral("dbpath"));
  auto* siteListUrl = settings->findChild<QLineEdit*>(QStringLiteral("SiteListUrl"));
  auto* userAgent = settings->findChild<QLineEdit*>(QStringLiteral("UserAgent"));
  auto* noCheck = settings->findChild<QCheckBox*>(QStringLiteral("NoCheckCertificate"));
  auto* caFile = settings->findChild<QLineEdit*>(QStringLiteral("CaCertificate"));
  ASSERT_TRUE(userAgent && noCheck && caFile);
  EXPECT_EQ(siteListUrl->text(), "http://old.test/list");
  EXPECT_EQ(userAgent->text(), "Old/1");
  EXPECT_FALSE(noCheck->isChecked());
  userAgent->setText(QStringLiteral(" New/2 "));
  noCheck->setChecked(true);
  caFile->setText(QStringLiteral("/etc/test-ca.pem"));
  const QString folder = QString::fromStdString((dir_.path() / "其他目录").string());
  dbpath->setText(folder);
  siteListUrl->setText(QStringLiteral("http://new.test/list"));
  QCheckBox* convertLinks = settings->findChild<QCheckBox*>(QStringLiteral("ConvertLinks"));
  EXPECT_FALSE(convertLinks->isChecked());
  QTest::mouseClick(convertLinks, Qt::LeftButton, {}, QPoint(8, convertLinks->height() / 2));  // its box
  for (const char* box : {"QueryPages", "PageRequisites"}) {
    auto* check = settings->findChild<QCheckBox*>(QString::fromLatin1(box));
    ASSERT_TRUE(check) << box;
    EXPECT_FALSE(check->isChecked()) << box;
    check->setChecked(true);
  }
  settings->findChild<QSpinBox*>(QStringLiteral("Depth"))->setValue(2);
  settings->findChild<QLineEdit*>(QStringLiteral("Exclude"))->setText(QStringLiteral(" *.zip   /private/* "));
  settings->findChild<QCheckBox*>(QStringLiteral("Robots"))->setChecked(true);
  auto* connections = settings->findChild<QSpinBox*>(QStringLiteral("Connections"));
  ASSERT_TRUE(connections);
  EXPECT_EQ(connections->value(), 1);
  connections->setValue(99);  // held to the range
  QTest::mouseClick(settings->findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
  EXPECT_FALSE(settings->isVisible());  // hidden, not destroyed
  const std::string written = readFile(ini());  // in the system code page
  for (const std::string& line : {"dbpath=" + text::toCodePage(folder.toStdU16String()), std::string("SiteListUrl=http://new.test/list"),
                                  std::string("username=bob"), std::string("ConvertLinks=1"),
                                  std::string("UserAgent=New/2"), std::string("NoCheckCertificate=1"),
                                  std::string("CaCertificate=/etc/test-ca.pem"), std::string("QueryPages=1"),
                                  std::string("PageRequisites=1"), std::string("Depth=2"),
                                  std::string("Exclude=*.zip /private/*"), std::string("Robots=1"),
                                  std::string("Connections=16")}) {
    EXPECT_NE(written.find(line), std::string::npos) << line << " in\n" << written;
  }
  EXPECT_EQ(main->controller().settings().dbpath, folder.toStdU16String());
  click(*main, u"配置");
  EXPECT_EQ(main->settingsWindow(), settings);
  EXPECT_TRUE(settings->isVisible());
}

// The monitor shows the log as it stands: each line ends the text, and a
// text above 500 characters (CR LF counted) is emptied at once.
TEST_F(WindowTest, MonitorEmptiesAbove500Characters) {
  writeIni();
  auto main = open();
  main->controller().AddLog(std::u16string(600, u'x'));  // start from an empty log
  const struct {
    size_t line;   // characters of the line logged
    int shown;     // characters Text1 shows after it (lines end with one "\n")
  } cases[] = {
      {488, 489},  // 490 in the log
      {18, 0},     // 510: emptied
      {5, 6},      // 7
      {491, 498},  // exactly 500: kept
      {0, 0},      // 502: emptied
  };
  auto* logView = main->monitorWindow()->findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
  for (const auto& c : cases) {
    main->controller().AddLog(std::u16string(c.line, u'字'));
    EXPECT_EQ(logView->toPlainText().size(), c.shown) << c.line;
  }
  EXPECT_FALSE(main->monitorWindow()->isVisible());  // logging went on while hidden
}

TEST_F(WindowTest, ClosingSpillsTheQueueAndExitDoesNot) {
  const struct {
    bool exitFromMenu;  // "退出"; else the window's close button
    bool queued;
    bool spilled;
    const char16_t* panel4;
  } cases[] = {
      {false, true, true, u"保存记录,请不要再次关闭"},
      {false, false, false, u""},
      {true, true, false, u""},
  };
  for (const auto& c : cases) {
    fsys::remove_all(save());
    fsys::create_directories(save());
    writeIni();
    ended_ = 0;
    auto main = open();
    if (c.queued) {
      for (const char16_t* u : {u"http://h.test/1.htm", u"http://h.test/2.htm"}) main->controller().addUrl(u);
    }
    if (c.exitFromMenu) {
      menuAction(*main, u"退出")->trigger();
    } else {
      main->close();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended_ == 1; }, 5000));
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(main->trayPicture(), TrayIcon::kRemoved);
    EXPECT_FALSE(main->trayIcon()->isVisible());
    EXPECT_EQ(fsys::exists(save() / "tmp" / "0.dat"), c.spilled);
    EXPECT_EQ(readFile(ini()).find("wnum=1") != std::string::npos, c.spilled);
    EXPECT_EQ(main->findChild<QLabel*>(QStringLiteral("Panel4"))->text(), QString::fromStdU16String(c.panel4));
  }
}

TEST_F(WindowTest, ReplaceButtonSwapsWindowsThroughTheFactory) {
  writeIni();
  for (bool withFactory : {false, true}) {
    int made = 0;
    QWidget* madeFor = nullptr;
    ReplaceWindowFactory factory;
    if (withFactory) {
      factory = [&](QWidget* mainWindow) {
        ++made;
        madeFor = mainWindow;
        auto* w = new QWidget(mainWindow, Qt::Window);
        w->setObjectName(QStringLiteral("WEBchange"));
        return w;
      };
    }
    auto main = open(60000, factory);
    if (!withFactory) {
      // No stand-in window ships in the program: without a factory nothing opens.
      click(*main, u"广告替换");
      EXPECT_EQ(main->findChild<QWidget*>(QStringLiteral("WEBchange")), nullptr);
      EXPECT_TRUE(main->isVisible());
      continue;
    }
    for (int round = 0; round < 2; ++round) {
      click(*main, u"广告替换");
      auto* replace = main->findChild<QWidget*>(QStringLiteral("WEBchange"));
      ASSERT_NE(replace, nullptr);
      EXPECT_TRUE(replace->isVisible());
      EXPECT_FALSE(main->isVisible());
      replace->close();
      EXPECT_TRUE(main->isVisible()) << "round " << round;
    }
    if (withFactory) {
      EXPECT_EQ(made, 1);  // made once, shown again
      EXPECT_EQ(madeFor, main.get());
    }
  }
}

// A finished copy's links are converted a page per turn of the loop under a
// progress line, whose "取消" stops the work between two pages.
TEST_F(WindowTest, LinkConversionOfAFinishedCopyCanBeCancelled) {
  writeIni("ConvertLinks=1\n");
  crawler::testing::FakeScript script;
  for (int i = 0; i < 5; ++i) {
    const std::u16string name = u"/p" + text::widen(std::to_string(i)) + u".htm";
    script.pages[u"http://h" + name].pieces = {{name, "<a href=\"/p0.htm\">x</a>"}};
  }
  MainWindow::Options options;
  options.crawl.iniPath = text::fromUtf8(ini().string());
  options.crawl.intervalMs = 1;
  options.crawl.makeFetcher = [&script](event::EventLoop&, fetcher::HtmlEvents& owner) {
    return std::make_unique<crawler::testing::FakeFetcher>(script, owner);
  };
  options.onEnded = [this] { ++ended_; };
  MainWindow main(*loop_, options);
  for (const auto& [url, page] : script.pages) main.controller().addUrl(url);
  bool cancelled = false;
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* progress = main.findChild<QProgressDialog*>(QStringLiteral("ConvertProgress"));
    if (!progress || !progress->isVisible()) return;
    progress->cancel();
    cancelled = true;
    poll.stop();
  });
  poll.start();
  ASSERT_TRUE(main.controller().run());
  EXPECT_TRUE(QTest::qWaitFor([&] { return cancelled; }, 5000));
  QTest::qWait(100);
  int asServed = 0;
  for (int i = 0; i < 5; ++i) {
    asServed += readFile(save() / "h" / ("p" + std::to_string(i) + ".htm")).find("\"/p0.htm\"") != std::string::npos;
  }
  EXPECT_GE(asServed, 1);
  EXPECT_EQ(main.findChild<QProgressDialog*>(QStringLiteral("ConvertProgress")), nullptr);
}

TEST_F(WindowTest, ProgressBarFollowsTheScanAndTheWindowWidth) {
  writeIni();
  auto main = open();
  auto* bar = main->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
  const struct {
    int width;
    int32_t curr, all;
    int maximum, value;
  } cases[] = {
      {900, 5, 10, 10, 5},
      {1001, 7, 0, 10, 7},  // a maximum of 0 is refused, the value kept
      {1500, 40, 40, 40, 40},
  };
  for (const auto& c : cases) {
    main->resize(c.width, 500);
    QCoreApplication::processEvents();
    ASSERT_EQ(main->width(), c.width);
    EXPECT_EQ(bar->width(), c.width * 99 / 100) << c.width;
    main->controller().tagProgress(c.curr, c.all);
    EXPECT_EQ(bar->maximum(), c.maximum);
    EXPECT_EQ(bar->value(), c.value);
  }
}

// List1 shows the queue while it changes; a queue of ten thousand entries
// must cost the crawl next to nothing.
TEST_F(WindowTest, ALongQueueShownInList1DoesNotSlowTheCrawl) {
  writeIni();
  auto main = open();
  auto* queueList = main->findChild<QListView*>(QStringLiteral("List1"));
  crawler::CrawlQueue& queue = main->controller().queue();
  auto fillAndDrain = [](crawler::CrawlQueue& q) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i) q.append(u"http://h.test/page" + text::widen(std::to_string(i)) + u".htm");
    for (int i = 0; i < 2000; ++i) q.removeAt(0);  // one head per crawl step
    QCoreApplication::processEvents();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  crawler::CrawlQueue plain;
  const double without = fillAndDrain(plain);
  const double with = fillAndDrain(queue);
  std::cout << "10,000 entries in, 2,000 heads out: " << with << " s shown in List1, " << without
            << " s without a window\n";
  EXPECT_LT(with, without + 1.0);
  ASSERT_EQ(queueList->model()->rowCount(), 8000);
  EXPECT_EQ(queueList->model()->index(0, 0).data().toString(), "http://h.test/page2000.htm");
  EXPECT_EQ(queueList->model()->index(7999, 0).data().toString(), "http://h.test/page9999.htm");
  while (!queue.empty()) queue.removeAt(queue.count() - 1);
  EXPECT_EQ(queueList->model()->rowCount(), 0);
}

}  // namespace
}  // namespace harbek::windows
