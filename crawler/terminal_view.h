// Terminal mode's view of a crawl: every log line goes to standard output
// (through a large buffer when that is not a terminal: a crawl logs several
// lines a file); warnings go to standard error as well;
// when standard error is a terminal, one status line there shows the four
// status panels. The tray, the progress bar and the queue have no picture in
// a terminal.
#pragma once

#include <chrono>
#include <string>

#include "crawler/crawl_view.h"
#include "crawler/crawl_controller.h"

namespace harbek::crawler {

class TerminalView : public CrawlView {
 public:
  explicit TerminalView(bool quiet = false);
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

  // The status line shows these counts (files, bytes, queue, elapsed time, rate).
  void showCounts(const CrawlCounts* counts, const CrawlQueue* queue) {
    counts_ = counts;
    queue_ = queue;
  }
  // Ends the status line and writes out the log lines held back.
  void finish();

 private:
  void redraw();

  bool quiet_;
  bool statusLine_;
  bool logToTerminal_;
  const CrawlCounts* counts_ = nullptr;
  const CrawlQueue* queue_ = nullptr;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  bool drawn_ = false;
  std::string panels_[4];
};

}  // namespace harbek::crawler
