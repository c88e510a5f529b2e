// The find-and-replace window as the main window opens it, free of Qt in
// its declaration so that the program's main() can hand it over.
#pragma once

class QWidget;

namespace harbek::tools {

// Opens WEBchange with the main window's icon, hiding the main window until
// WEBchange closes.
QWidget* openReplaceWindow(QWidget* mainWindow);

}  // namespace harbek::tools
