// What the main window shows of a crawl. The controller tells its view every
// change; the terminal mode and the windows each implement this interface, so
// the crawl behaves the same with and without windows.
#pragma once

#include <cstdint>
#include <string>

#include "crawler/crawl_queue.h"

namespace harbek::crawler {

// kWindow: the window's own icon (not started); kRemoved: the icon is gone.
enum class TrayIcon { kWindow, kRunning, kPaused, kRemoved };

class CrawlView {
 public:
  virtual ~CrawlView() = default;

  // Status bar panels 1 to 4: current URL, queue length, fetches started,
  // closing message.
  virtual void panelChanged(int panel, const std::u16string& text) = 0;
  virtual void progressChanged(int32_t maximum, int32_t value) = 0;
  virtual void trayChanged(TrayIcon icon, const std::u16string& tip) = 0;
  // One line was logged; log is the monitor log's whole text after it.
  virtual void logged(const std::u16string& line, const std::u16string& log) = 0;
  virtual void timerEnabledChanged(bool enabled) = 0;
  // The queue changed by one entry; queue holds the change already.
  virtual void queueChanged(const QueueChange& change, const CrawlQueue& queue) = 0;
  // Something the user must know went wrong (it is logged as well): a file
  // that cannot be written, settings that cannot be saved.
  virtual void warned(const std::u16string& /*message*/) {}
};

}  // namespace harbek::crawler
