// The program's pictures, for every window of the program (tools/windows/
// too): the icon of the main window and its tray, and the tray's pictures
// for a running and a paused crawl.
#pragma once

#include <QIcon>

namespace harbek::windows {

QIcon programIcon();
QIcon runningIcon();
QIcon pausedIcon();

}  // namespace harbek::windows
