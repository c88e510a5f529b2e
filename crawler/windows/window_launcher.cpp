// The Qt-free half of window mode: whether there is a display, and loading
// the window module.
#include <cstdlib>

#include "crawler/windows/window_main.h"
#include "platform/fs/program_module.h"

namespace harbek::windows {

bool displayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

bool windowModuleFound() { return fs::programModuleFound("harbek-windows.so"); }

int launchWindowMode(const WindowModeOptions& options, std::string& why) {
  auto run = reinterpret_cast<decltype(&harbek_run_window_mode)>(
      fs::programModuleSymbol("harbek-windows.so", "harbek_run_window_mode", why));
  if (!run) {
    if (!windowModuleFound()) why += kGetTheWindows;
    return 1;
  }
  // The module stays loaded: Qt's own clean-up runs at exit.
  return run(&options);
}

}  // namespace harbek::windows
