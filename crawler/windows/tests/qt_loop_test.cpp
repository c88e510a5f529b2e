// The Qt loop against the event loop's contract suite, and what is its own:
// it serves Qt's loop too (QApplication::exec, a dialog) when no pump of ours
// runs.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "crawler/windows/qt_event_loop.h"
#include "platform/event/tests/event_loop_contract.h"
#include "tests/support/checked_loop.h"

namespace harbek::event {

INSTANTIATE_TEST_SUITE_P(Qt, EventLoopContract, ::testing::Values(LoopFactory{"qt", [] { return windows::makeQtLoop(); }}),
                         loopName);

namespace {

using namespace std::chrono_literals;

TEST(QtLoop, TimersAndTasksRunUnderQtsOwnLoop) {
  harbek::testing::CheckedLoop loop(windows::makeQtLoop());
  QEventLoop qtLoop;
  int ticks = 0;
  bool posted = false;
  TimerId id = 0;
  id = loop->addTimer(2ms, true, [&] {
    if (++ticks == 3) {
      loop->cancelTimer(id);
      loop->post([&] {
        posted = true;
        qtLoop.quit();
      });
    }
  });
  QTimer::singleShot(5000, &qtLoop, &QEventLoop::quit);  // a limit, should the loop not serve us
  qtLoop.exec();
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(posted);
}

TEST(QtLoop, ANestedQtLoopInsideAPumpStillServesTimers) {
  harbek::testing::CheckedLoop loop(windows::makeQtLoop());
  bool inner = false;
  loop->post([&] {
    // A handler that opens a modal dialog runs a Qt loop of its own.
    QEventLoop dialog;
    loop->addTimer(1ms, false, [&] {
      inner = true;
      dialog.quit();
    });
    QTimer::singleShot(5000, &dialog, &QEventLoop::quit);
    dialog.exec();
  });
  loop->pumpOnce(0ms);
  EXPECT_TRUE(inner);
}

}  // namespace
}  // namespace harbek::event
