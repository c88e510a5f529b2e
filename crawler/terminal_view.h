// Terminal mode's view of a crawl: every log line goes to standard output
// (through a large buffer when that is not a terminal: a crawl logs several
// lines a file); warnings go to standard error as well;
// when standard error is a terminal, one status line there shows the four
// status panels. The tray, the progress bar and the queue have no picture in
// a terminal.
#pragma once

#include <string>

#include "crawler/crawl_view.h"

namespace harbek::crawler {

class TerminalView : public CrawlView {
 public:
  TerminalView();
  ~TerminalView() override;
  TerminalView(const TerminalView&) = delete;
  TerminalView& operator=(const TerminalView&) = delete;

  void panelChanged(int panel, const std::u16string& text) override;
  void progressChanged(int32_t, int32_t) override {}
  void trayChanged(TrayIcon, const std::u16string&) override {}
  void logged(const std::u16string& line, const std::u16string& log) override;
  void timerEnabledChanged(bool) override {}
  void queueChanged(const QueueChange&, const CrawlQueue&) override {}
  void warned(const std::u16string& message) override;

 private:
  void redraw();

  bool statusLine_;
  bool logToTerminal_;
  bool drawn_ = false;
  std::string panels_[4];
};

}  // namespace harbek::crawler
