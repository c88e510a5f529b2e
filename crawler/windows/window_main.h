// Window mode's entry point, free of Qt. The windows live in a module of
// their own, harbek-windows.so (beside the program, or in lib/harbek/ of an
// installed tree), which the program loads only for window mode: a terminal
// copy never maps Qt, which would triple its memory.
#pragma once

#include <string>
#include <vector>

#include "crawler/crawl_controller.h"
#include "crawler/windows/replace_window.h"

namespace harbek::windows {

struct WindowModeOptions {
  std::u16string iniPath;                 // sys.ini
  bool iniFolderMadeOnWrite = false;      // see CrawlController::Options
  std::u16string saveFolder;              // for this run; empty: the one in sys.ini
  std::vector<std::u16string> addresses;  // queued at start; the crawl waits for "运行"
  int intervalMs = 100;
  ReplaceWindowFactory makeReplaceWindow;  // null: the find-and-replace window of tools/windows
  // Readable when the program is asked to end (a signalfd for SIGINT and
  // SIGTERM): the main window then closes as by its close button. -1: none.
  int closeSignalFd = -1;
  crawler::CrawlController::RequestOptions request;  // the terminal's request options
  bool convertLinks = false;                 // --convert-links
  bool update = false;                       // --update
};

// True when Qt has somewhere to show windows: DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM is set and not empty.
bool displayAvailable();

// True when the window module is installed (the package harbek-windows).
bool windowModuleFound();
// What a user without the window module is told.
inline constexpr const char* kGetTheWindows =
    "; the windows come in the package harbek-windows (apt-get install harbek-windows); "
    "harbek --headless copies a site without them";

// Opens the main window and runs until the program ends; the exit status.
// (In the window module; the program reaches it through launchWindowMode.)
int runWindowMode(const WindowModeOptions& options);

// Loads the window module and runs window mode; 1, with the reason in why,
// when the module cannot be loaded.
int launchWindowMode(const WindowModeOptions& options, std::string& why);

}  // namespace harbek::windows

// The window module's one export.
extern "C" int harbek_run_window_mode(const harbek::windows::WindowModeOptions* options);

namespace harbek::windows {

}  // namespace harbek::windows
