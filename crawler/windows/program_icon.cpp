#include "crawler/windows/program_icon.h"

// The pictures are built into the static window library, under a resource
// name of their own so that another window library's cannot clash; a static
// library's resources are registered by hand, once, before the first use.
static void registerIcons() {
  static const bool done = [] {
    Q_INIT_RESOURCE(crawler_icons);
    return true;
  }();
  (void)done;
}

namespace harbek::windows {

QIcon programIcon() {
  registerIcons();
  return QIcon(QStringLiteral(":/harbek/program.png"));
}

QIcon runningIcon() {
  registerIcons();
  return QIcon(QStringLiteral(":/harbek/running.png"));
}

QIcon pausedIcon() {
  registerIcons();
  return QIcon(QStringLiteral(":/harbek/paused.png"));
}

}  // namespace harbek::windows
