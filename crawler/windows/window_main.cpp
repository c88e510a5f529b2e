#include "crawler/windows/window_main.h"

#include <unistd.h>

#include <QApplication>

#include "crawler/windows/main_window.h"
#include "crawler/windows/qt_event_loop.h"
#include "platform/fs/program_module.h"
#include "tools/windows/replace_entry.h"

namespace harbek::windows {

int runWindowMode(const WindowModeOptions& options) {
  static int argc = 1;
  static char name[] = "harbek";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  // Hiding the main window (for the find-and-replace window, or to the tray)
  // must not end the program; only the close sequence or "退出" does.
  QApplication::setQuitOnLastWindowClosed(false);

  std::unique_ptr<event::EventLoop> loop = makeQtLoop();
  MainWindow::Options windowOptions;
  windowOptions.crawl.iniPath = options.iniPath;
  windowOptions.crawl.iniFolderMadeOnWrite = options.iniFolderMadeOnWrite;
  windowOptions.crawl.intervalMs = options.intervalMs;
  windowOptions.crawl.request = options.request;
  windowOptions.crawl.convertLinks = options.convertLinks;
  windowOptions.crawl.update = options.update;
  windowOptions.makeReplaceWindow = options.makeReplaceWindow;
  MainWindow window(*loop, windowOptions);
  if (!options.saveFolder.empty()) window.controller().setSaveFolder(options.saveFolder);
  for (const auto& address : options.addresses) window.controller().addUrl(address);
  event::WatchId closeWatch = 0;
  if (options.closeSignalFd >= 0) {
    closeWatch = loop->watchFd(options.closeSignalFd, event::kReadable, [&](unsigned) {
      char drained[128];
      while (read(options.closeSignalFd, drained, sizeof drained) > 0) {
      }
      window.close();  // a second signal while closing changes nothing
    });
  }
  window.show();
  const int status = QApplication::exec();
  if (closeWatch) loop->removeWatch(closeWatch);
  return status;
}

}  // namespace harbek::windows

HARBEK_MODULE_ABI(harbek_run_window_mode)

__attribute__((visibility("default"))) int harbek_run_window_mode(const harbek::windows::WindowModeOptions* options) {
  harbek::windows::WindowModeOptions withTools = *options;
  if (!withTools.makeReplaceWindow) withTools.makeReplaceWindow = harbek::tools::openReplaceWindow;
  return harbek::windows::runWindowMode(withTools);
}
