// The main window main ("Tovana-网站clone"): the toolbar's five commands and
// the address field, the queue List1, the progress bar and the four-panel
// status bar, the tray icon and its pop-up menu. The window is the crawl's
// view and turns clicks into calls on the controller, which it owns; it owns
// the settings and monitor windows too, made on first use.
//
// Where the desktop has no notification area the tray's five commands are a
// menu of the window instead, and the program works the same.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

#include "crawler/crawl_view.h"
#include "crawler/crawl_controller.h"
#include "crawler/windows/replace_window.h"
#include "tools/link_converter.h"

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QProgressBar;
class QProgressDialog;
class QTimer;
class QSystemTrayIcon;

namespace harbek::windows {

class MonitorWindow;
class QueueModel;
class SettingsWindow;

class MainWindow : public QMainWindow, public crawler::CrawlView {
  Q_OBJECT

 public:
  struct Options {
    crawler::CrawlController::Options crawl;
    ReplaceWindowFactory makeReplaceWindow;  // null: "广告替换" does nothing (tests)
    // The program ends (the close sequence is over, or "退出"); by default
    // the application quits.
    std::function<void()> onEnded;
  };

  MainWindow(event::EventLoop& loop, Options options);
  ~MainWindow() override;

  crawler::CrawlController& controller() { return *controller_; }
  // The tray's picture and tip as they stand (also without a tray).
  crawler::TrayIcon trayPicture() const { return trayPicture_; }
  QSystemTrayIcon* trayIcon() const { return tray_; }
  // The pop-up menu mnuPopUp: on the tray, or in the menu bar without one.
  QMenu* popUpMenu() const { return popUp_; }
  MonitorWindow* monitorWindow() const { return monitor_; }
  SettingsWindow* settingsWindow() const { return settings_; }

  // CrawlView
  void panelChanged(int panel, const std::u16string& text) override;
  void progressChanged(int32_t maximum, int32_t value) override;
  void trayChanged(crawler::TrayIcon icon, const std::u16string& tip) override;
  void logged(const std::u16string& line, const std::u16string& log) override;
  void timerEnabledChanged(bool enabled) override;
  void queueChanged(const crawler::QueueChange& change, const crawler::CrawlQueue& queue) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void crawlFinished();
  void startLinkConversion();
  void convertNextPage();
  void endLinkConversion(bool cancelled);
  void createActions();
  void createToolBar();
  void createCentralArea();
  void createStatusBar();
  void createTrayIcon();
  void centreOnScreen();

  void runCrawl();
  bool queueTypedAddress();
  void showSettings();
  void showMonitor();
  void showReplaceWindow();
  void exitNow();
  void showMainWindow(bool shown);
  void endProgram();

  Options options_;
  std::unique_ptr<crawler::CrawlController> controller_;

  QAction* run_ = nullptr;
  QAction* stop_ = nullptr;
  QAction* config_ = nullptr;
  QAction* help_ = nullptr;
  QAction* replace_ = nullptr;
  QAction* trayStart_ = nullptr;
  QAction* exit_ = nullptr;
  QAction* hide_ = nullptr;
  QAction* show_ = nullptr;
  QAction* trayPause_ = nullptr;
  QAction* update_ = nullptr;  // "更新网站": an update run of the copy
  QMenu* popUp_ = nullptr;

  QLineEdit* address_ = nullptr;
  QListView* queueView_ = nullptr;
  QueueModel* queueModel_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QLabel* panels_[4] = {};
  QSystemTrayIcon* tray_ = nullptr;
  crawler::TrayIcon trayPicture_ = crawler::TrayIcon::kWindow;

  MonitorWindow* monitor_ = nullptr;
  SettingsWindow* settings_ = nullptr;
  QPointer<QWidget> replaceWindow_;
  bool ended_ = false;

  // The link conversion of a finished copy, while it runs.
  QTimer* conversionTimer_ = nullptr;
  QProgressDialog* conversionProgress_ = nullptr;
  std::string conversionFolder_;
  std::vector<std::string> conversionPages_;
  size_t conversionDone_ = 0;
  tools::ConvertSummary conversion_;
};

}  // namespace harbek::windows
