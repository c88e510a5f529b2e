// The Qt-free half of window mode: whether there is a display, and loading
// the window module.
#include <dlfcn.h>

#include <cstdlib>

#include "crawler/windows/window_main.h"
#include "platform/fs/fs.h"

namespace harbek::windows {

bool displayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int launchWindowMode(const WindowModeOptions& options, std::string& why) {
  const std::string folder = fs::programFolder();
  void* module = nullptr;
  for (const std::string& path : {folder + "/harbek-windows.so", folder + "/../lib/harbek/harbek-windows.so"}) {
    if (!fs::isFile(path)) continue;
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      why = dlerror();
      return 1;
    }
    break;
  }
  if (!module) {
    why = "the window module harbek-windows.so is neither in " + folder + " nor in " + folder + "/../lib/harbek";
    return 1;
  }
  auto run = reinterpret_cast<decltype(&harbek_run_window_mode)>(dlsym(module, "harbek_run_window_mode"));
  if (!run) {
    why = "harbek-windows.so has no window mode";
    return 1;
  }
  // The module stays loaded: Qt's own clean-up runs at exit.
  return run(&options);
}

}  // namespace harbek::windows
