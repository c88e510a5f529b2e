// The seam for the find-and-replace window, which lives in tools/windows/.
// The main window's "广告替换" hides the main window and shows the window this
// factory makes (once; it is shown again on later uses while it exists). The
// main window is shown again when that window closes or hides. Without a
// factory (only in tests) the command does nothing.
#pragma once

#include <functional>

class QWidget;

namespace harbek::windows {

// Makes the find-and-replace window; mainWindow may serve as its parent
// (give it the Qt::Window flag) and for its icon.
using ReplaceWindowFactory = std::function<QWidget*(QWidget* mainWindow)>;

}  // namespace harbek::windows
