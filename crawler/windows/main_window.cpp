#include "crawler/windows/main_window.h"

#include "platform/text/text.h"
#include "tools/link_converter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "crawler/windows/monitor_window.h"
#include "crawler/windows/program_icon.h"
#include "crawler/windows/queue_model.h"
#include "crawler/windows/settings_window.h"

namespace harbek::windows {

MainWindow::MainWindow(event::EventLoop& loop, Options options) : options_(std::move(options)) {
  setObjectName(QStringLiteral("main"));
  setWindowTitle(QStringLiteral("Tovana-网站clone"));
  setWindowIcon(programIcon());
  controller_ = std::make_unique<crawler::CrawlController>(loop, *this, options_.crawl);
  createActions();
  createToolBar();
  createCentralArea();
  createStatusBar();
  createTrayIcon();
  resize(860, 560);
  centreOnScreen();
  controller_->setFinishedHandler([this] { crawlFinished(); });
  controller_->startUp();
}

// The controller says whether a finished copy has its links converted.
void MainWindow::crawlFinished() {
  if (controller_->convertLinksDue()) startLinkConversion();
}

// The pages are converted one per turn of the event loop, so the windows
// stay responsive, under a progress line whose "取消" stops the work between
// two pages; closing the window stops it too.
void MainWindow::startLinkConversion() {
  if (conversionTimer_) return;
  conversion_ = {};
  conversionFolder_ = text::toUtf8(controller_->savePath());
  conversionPages_.clear();
  for (const std::u16string& rel : controller_->savedThisRun()) conversionPages_.push_back(text::toUtf8(rel));
  conversionDone_ = 0;
  conversionProgress_ = new QProgressDialog(QStringLiteral("正在转换链接,使网页可以离线浏览..."), QStringLiteral("取消"), 0,
                                            static_cast<int>(conversionPages_.size()), this);
  conversionProgress_->setObjectName(QStringLiteral("ConvertProgress"));
  conversionProgress_->setWindowTitle(QStringLiteral("转换链接"));
  conversionProgress_->setWindowModality(Qt::NonModal);
  conversionProgress_->setMinimumDuration(0);
  conversionProgress_->setAutoClose(false);
  conversionProgress_->setAutoReset(false);
  connect(conversionProgress_, &QProgressDialog::canceled, this, [this] { endLinkConversion(true); });
  conversionTimer_ = new QTimer(this);
  connect(conversionTimer_, &QTimer::timeout, this, [this] { convertNextPage(); });
  conversionTimer_->start(0);
  conversionProgress_->show();
}

void MainWindow::convertNextPage() {
  if (conversionProgress_->wasCanceled()) {
    endLinkConversion(true);
    return;
  }
  if (conversionDone_ < conversionPages_.size()) {
    const tools::ConvertSummary one = tools::convertPages(conversionFolder_, {conversionPages_[conversionDone_++]});
    conversion_.converted += one.converted;
    conversion_.unchanged += one.unchanged;
    conversion_.skipped += one.skipped;
    conversion_.failures.insert(conversion_.failures.end(), one.failures.begin(), one.failures.end());
    conversionProgress_->setValue(static_cast<int>(conversionDone_));
  }
  if (conversionDone_ == conversionPages_.size()) endLinkConversion(false);
}

void MainWindow::endLinkConversion(bool cancelled) {
  if (!conversionTimer_) return;
  conversionTimer_->stop();
  conversionTimer_->deleteLater();
  conversionTimer_ = nullptr;
  conversionProgress_->hide();
  conversionProgress_->deleteLater();
  conversionProgress_ = nullptr;
  const std::u16string counts = text::widen(std::to_string(conversion_.converted)) + u"个网页, 失败" +
                                text::widen(std::to_string(conversion_.failures.size())) + u"个";
  controller_->AddLog(cancelled ? u"转换链接已取消:已转换" + counts + u", 未处理" +
                               text::widen(std::to_string(conversionPages_.size() - conversionDone_)) + u"个"
                         : u"转换链接:" + counts);
}

MainWindow::~MainWindow() = default;

void MainWindow::createActions() {
  auto make = [this](const char* name, const QString& text, const char* icon, auto onTriggered) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    if (icon) action->setIcon(QIcon(QString::fromLatin1(icon)));
    connect(action, &QAction::triggered, this, onTriggered);
    return action;
  };
  // The toolbar.
  run_ = make("Button1", QStringLiteral("运行"), ":/harbek/run.png", [this] { runCrawl(); });
  stop_ = make("Button2", QStringLiteral("停止"), ":/harbek/stop.png", [this] { controller_->pause(); });
  config_ = make("Button3", QStringLiteral("配置"), ":/harbek/config.png", [this] { showSettings(); });
  help_ = make("Button4", QStringLiteral("帮助"), ":/harbek/help.png", [this] { controller_->help(); });
  replace_ = make("Button5", QStringLiteral("广告替换"), ":/harbek/replace.png", [this] { showReplaceWindow(); });
  // The pop-up menu.
  trayStart_ = make("mnuChange", QStringLiteral("开始"), ":/harbek/run.png", [this] {
    queueTypedAddress();
    controller_->trayStart();
  });
  exit_ = make("mnuExit", QStringLiteral("退出"), nullptr, [this] { exitNow(); });
  hide_ = make("fhide", QStringLiteral("隐藏"), nullptr, [this] { showMainWindow(false); });
  show_ = make("fShow", QStringLiteral("显示"), nullptr, [this] { showMainWindow(true); });
  trayPause_ = make("mnuAbout", QStringLiteral("暂停"), ":/harbek/stop.png", [this] { controller_->trayPause(); });
  update_ = make("mnuUpdate", QStringLiteral("更新网站"), nullptr, [this] {
    queueTypedAddress();
    controller_->startUpdate();
  });
}

void MainWindow::createToolBar() {
  QToolBar* bar = addToolBar(QStringLiteral("工具栏"));
  bar->setObjectName(QStringLiteral("Toolbar1"));
  bar->setMovable(false);
  bar->setIconSize(QSize(32, 32));
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->addActions({run_, stop_, config_, help_, replace_});
  bar->addSeparator();

  // The address field: a typed address joins the queue with Enter, "加入队列"
  // or "运行".
  auto* box = new QWidget(bar);
  auto* layout = new QHBoxLayout(box);
  layout->setContentsMargins(8, 0, 8, 0);
  layout->setSpacing(6);
  auto* label = new QLabel(QStringLiteral("网址:"), box);
  address_ = new QLineEdit(box);
  address_->setObjectName(QStringLiteral("UrlEdit"));
  address_->setPlaceholderText(QStringLiteral("例如 http://www.example.com/ ,回车加入队列"));
  address_->setClearButtonEnabled(true);
  address_->setMinimumWidth(260);
  label->setBuddy(address_);
  auto* add = new QPushButton(QStringLiteral("加入队列"), box);
  add->setObjectName(QStringLiteral("AddUrl"));
  layout->addWidget(label);
  layout->addWidget(address_, 1);
  layout->addWidget(add);
  box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  bar->addWidget(box);
  connect(address_, &QLineEdit::returnPressed, this, [this] { queueTypedAddress(); });
  connect(add, &QPushButton::clicked, this, [this] { queueTypedAddress(); });
}

void MainWindow::createCentralArea() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  // No side margins: the progress bar takes 99/100 of the window's width.
  layout->setContentsMargins(0, 6, 0, 4);
  layout->setSpacing(4);

  queueModel_ = new QueueModel(controller_->queue(), this);
  queueView_ = new QListView(central);
  queueView_->setObjectName(QStringLiteral("List1"));
  queueView_->setModel(queueModel_);
  queueView_->setUniformItemSizes(true);
  queueView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  queueView_->setToolTip(QStringLiteral("抓取队列,第一行是下一个要抓取的网址"));
  auto* listRow = new QHBoxLayout;
  listRow->setContentsMargins(6, 0, 6, 0);
  listRow->addWidget(queueView_);
  layout->addLayout(listRow, 1);

  progressBar_ = new QProgressBar(central);
  progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setFixedHeight(16);
  progressBar_->setTextVisible(false);
  layout->addWidget(progressBar_, 0, Qt::AlignHCenter);
  setCentralWidget(central);
}

void MainWindow::createStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar1"));
  static const struct {
    const char16_t* tip;
    int minimumWidth;
    int stretch;
  } kPanels[] = {
      {u"正在抓取的网址", 200, 6},
      {u"队列中的网址数", 70, 1},
      {u"本次运行已请求的网址数", 70, 1},
      {u"关闭时的提示", 170, 3},
  };
  for (int i = 0; i < 4; ++i) {
    auto* panel = new QLabel(bar);
    panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
    panel->setToolTip(QString::fromStdU16String(kPanels[i].tip) + QStringLiteral(" (单击查看监视窗口)"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setMinimumWidth(kPanels[i].minimumWidth);
    // A long URL is cut, not allowed to widen the window.
    panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    panel->installEventFilter(this);
    bar->addWidget(panel, kPanels[i].stretch);
    panels_[i] = panel;
  }
  bar->installEventFilter(this);
}

void MainWindow::createTrayIcon() {
  popUp_ = new QMenu(QStringLiteral("蜘蛛"), this);
  popUp_->setObjectName(QStringLiteral("mnuPopUp"));
  popUp_->addAction(trayStart_);
  popUp_->addAction(update_);
  popUp_->addSeparator();
  popUp_->addAction(exit_);
  popUp_->addSeparator();
  popUp_->addAction(hide_);
  popUp_->addSeparator();
  popUp_->addAction(show_);
  popUp_->addSeparator();
  popUp_->addAction(trayPause_);

  tray_ = new QSystemTrayIcon(programIcon(), this);
  tray_->setContextMenu(popUp_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) show_->trigger();
  });
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    tray_->show();
  } else {
    menuBar()->addMenu(popUp_);
  }
}

void MainWindow::centreOnScreen() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void MainWindow::runCrawl() {
  queueTypedAddress();
  controller_->run();
}

bool MainWindow::queueTypedAddress() {
  if (!controller_->addUrl(address_->text().toStdU16String())) return false;
  address_->clear();
  return true;
}

void MainWindow::showSettings() {
  if (!settings_) {
    const crawler::Settings& now = controller_->settings();
    const RequestFields request{now.UserAgent, now.NoCheckCertificate, now.CaCertificate, now.QueryPages,
                                 now.PageRequisites, now.Depth, now.Include, now.Exclude,
                                 now.MaxSize, now.MaxFiles, now.Robots, now.Connections};
    settings_ = new SettingsWindow(this, now.dbpath, now.SiteListUrl, now.ConvertLinks, request,
                                   [this](const std::u16string& dbpath, const std::u16string& siteListUrl,
                                          bool convertLinks, const RequestFields& fields) {
                                     std::u16string why;
                                     if (!controller_->saveSettingsWindow(dbpath, siteListUrl, &why)) return why;
                                     controller_->settings().ConvertLinks = convertLinks;
                                     controller_->settings().QueryPages = fields.queryPages;
                                     crawler::Settings& kept = controller_->settings();
                                     kept.PageRequisites = fields.pageRequisites;
                                     kept.Depth = fields.depth;
                                     kept.Include = fields.include;
                                     kept.Exclude = fields.exclude;
                                     kept.MaxSize = fields.maxSize;
                                     kept.MaxFiles = fields.maxFiles;
                                     kept.Robots = fields.robots;
                                     kept.Connections = fields.connections;
                                     controller_->setRequestSettings(fields.userAgent, fields.noCheckCertificate,
                                                              fields.caCertificate);
                                     controller_->SaveConfig();
                                     return std::u16string();
                                   });
  }
  settings_->show();
  settings_->raise();
  settings_->activateWindow();
}

void MainWindow::showMonitor() {
  if (!monitor_) {
    monitor_ = new MonitorWindow(this);
    monitor_->showLog(controller_->log().text());
  }
  monitor_->show();
  monitor_->raise();
  monitor_->activateWindow();
}

void MainWindow::showReplaceWindow() {
  if (!replaceWindow_) {
    // The program always has the window; a window test may leave it out.
    replaceWindow_ = options_.makeReplaceWindow ? options_.makeReplaceWindow(this) : nullptr;
    if (!replaceWindow_) return;
    replaceWindow_->installEventFilter(this);
  }
  showMainWindow(false);
  replaceWindow_->show();
  replaceWindow_->raise();
  replaceWindow_->activateWindow();
}

// "退出": the program ends at once; the queue is not spilled.
void MainWindow::exitNow() {
  controller_->quitNow();
  endProgram();
}

void MainWindow::endProgram() {
  if (ended_) return;
  ended_ = true;
  endLinkConversion(true);
  tray_->hide();
  for (QWidget* window : {static_cast<QWidget*>(monitor_), static_cast<QWidget*>(settings_), replaceWindow_.data()}) {
    if (window) window->hide();
  }
  showMainWindow(false);
  if (options_.onEnded) {
    options_.onEnded();
  } else {
    QCoreApplication::quit();
  }
}

// The one place the main window is hidden and shown: the tray's commands,
// the find-and-replace window and the end of the program.
void MainWindow::showMainWindow(bool shown) {
  if (!shown) {
    hide();
    return;
  }
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (ended_) {
    event->accept();
    return;
  }
  // The close sequence may have to wait for the fetch in progress to be
  // cancelled; the program ends when it is over.
  event->ignore();
  controller_->requestClose([this] { endProgram(); });
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  progressBar_->setFixedWidth(width() * 99 / 100);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      (watched == statusBar() || std::find(std::begin(panels_), std::end(panels_), watched) != std::end(panels_))) {
    showMonitor();
  } else if (watched == replaceWindow_ && !ended_ &&
             (event->type() == QEvent::Close || (event->type() == QEvent::Hide && !event->spontaneous()))) {
    // The find-and-replace window is done with: the main window comes back.
    showMainWindow(true);
  }
  return QMainWindow::eventFilter(watched, event);
}

// CrawlView

void MainWindow::panelChanged(int panel, const std::u16string& text) {
  panels_[panel - 1]->setText(QString::fromStdU16String(text));
}

void MainWindow::progressChanged(int32_t maximum, int32_t value) {
  progressBar_->setMaximum(maximum);
  progressBar_->setValue(value);
}

void MainWindow::trayChanged(crawler::TrayIcon icon, const std::u16string& tip) {
  trayPicture_ = icon;
  switch (icon) {
    case crawler::TrayIcon::kWindow:
      tray_->setIcon(programIcon());
      break;
    case crawler::TrayIcon::kRunning:
      tray_->setIcon(runningIcon());
      break;
    case crawler::TrayIcon::kPaused:
      tray_->setIcon(pausedIcon());
      break;
    case crawler::TrayIcon::kRemoved:
      tray_->hide();
      return;
  }
  tray_->setToolTip(QString::fromStdU16String(tip));
  // Without a tray, the menu that stands in for it tells the same.
  popUp_->menuAction()->setToolTip(tray_->toolTip());
}

void MainWindow::logged(const std::u16string&, const std::u16string& log) {
  if (!monitor_) monitor_ = new MonitorWindow(this);
  monitor_->showLog(log);
}

// The toolbar keeps every command available, running or not.
void MainWindow::timerEnabledChanged(bool) {}

void MainWindow::queueChanged(const crawler::QueueChange& change, const crawler::CrawlQueue&) {
  if (queueModel_) queueModel_->apply(change);
}

}  // namespace harbek::windows
