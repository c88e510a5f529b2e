// What the window tests share: finding and clicking commands, screenshots.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QTest>
#include <QToolBar>

#include "crawler/windows/main_window.h"

namespace harbek::windows::testing {

// The toolbar's button with this caption, clicked with the mouse.
inline void click(MainWindow& main, const std::u16string& caption) {
  auto* bar = main.findChild<QToolBar*>(QStringLiteral("Toolbar1"));
  for (QAction* action : bar->actions()) {
    if (action->text() == QString::fromStdU16String(caption)) {
      QTest::mouseClick(bar->widgetForAction(action), Qt::LeftButton);
      return;
    }
  }
  ADD_FAILURE() << "no toolbar button " << QString::fromStdU16String(caption).toStdString();
}

// The pop-up menu's item with this caption.
inline QAction* menuAction(MainWindow& main, const std::u16string& caption) {
  for (QAction* action : main.popUpMenu()->actions()) {
    if (action->text() == QString::fromStdU16String(caption)) return action;
  }
  ADD_FAILURE() << "no menu item " << QString::fromStdU16String(caption).toStdString();
  static QAction none;
  return &none;
}

// Writes the window's picture to screenshots/<name>.png in the build folder.
inline void saveScreenshot(QWidget* window, const char* name) {
  QDir().mkpath(QStringLiteral(HARBEK_SCREENSHOT_DIR));
  const QString file = QStringLiteral(HARBEK_SCREENSHOT_DIR "/%1.png").arg(QLatin1String(name));
  EXPECT_TRUE(window->grab().save(file)) << file.toStdString();
}

}  // namespace harbek::windows::testing
