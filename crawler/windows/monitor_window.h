// The monitor window lis ("监视"): the crawl's log in one read-only text,
// Text1. The controller keeps the log (and empties it above 500
// characters); the window shows it as it stands. Closing hides the window;
// logging goes on while it is hidden.
#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace harbek::windows {

class MonitorWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MonitorWindow(QWidget* mainWindow);

  // log: the whole monitor log, lines ended by CR LF.
  void showLog(const std::u16string& log);

 private:
  QPlainTextEdit* logView_;
};

}  // namespace harbek::windows
