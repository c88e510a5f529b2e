// Window mode's entry point, free of Qt: app/harbek_main.cpp calls it.
#pragma once

#include <string>
#include <vector>

#include "crawler/sys_main.h"
#include "crawler/windows/replace_window.h"

namespace harbek::windows {

struct WindowModeOptions {
  std::u16string iniPath;                 // sys.ini
  std::u16string saveFolder;              // for this run; empty: the one in sys.ini
  std::vector<std::u16string> addresses;  // queued at start; the crawl waits for "运行"
  int intervalMs = 100;
  ReplaceWindowFactory makeReplaceWindow;  // null: a placeholder
  // Readable when the program is asked to end (a signalfd for SIGINT and
  // SIGTERM): the main window then closes as by its close button. -1: none.
  int closeSignalFd = -1;
  crawler::sysMain::RequestOptions request;  // the terminal's request options
};

// True when Qt has somewhere to show windows: DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM is set and not empty.
bool displayAvailable();

// Opens the main window and runs until the program ends; the exit status.
int runWindowMode(const WindowModeOptions& options);

}  // namespace harbek::windows
