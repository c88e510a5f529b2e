// The event loop over Qt's own loop, for window mode.
//
// The bookkeeping is the poll loop's (timers with due times, posted tasks in
// order, "running" marks against re-entry); Qt supplies the waiting and the
// readiness: a QSocketNotifier per watched fd and direction, one single-shot
// QTimer that wakes the loop for the earliest due timer or a posted task when
// Qt runs the loop itself (QApplication::exec, a dialog), and a guard timer
// that bounds the wait of pumpOnce. pumpOnce blocks in
// processEvents(AllEvents | WaitForMoreEvents) while nothing is ready, so a
// waiting fetcher costs no CPU, and the window's own events (paint, input)
// are handled inside every pump.
//
// A QCoreApplication (or QApplication) must exist before the loop is made
// and outlive it; everything runs on its thread.
#pragma once

#include <memory>

#include "platform/event/event_loop.h"

namespace harbek::windows {

std::unique_ptr<event::EventLoop> makeQtLoop();

}  // namespace harbek::windows
