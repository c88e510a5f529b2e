// The event loop.
//
// There is one thread and one loop. Timers, file-descriptor readiness and
// posted tasks are its events; their handlers run on that thread, one at a
// time, in the order they become ready. A caller that has to wait (the page
// fetcher waiting for a response) does so by calling pumpOnce() until its
// condition holds: pumpOnce handles what is ready, and when nothing is, blocks
// for a short while, so waiting costs no CPU. Pumping nests: a handler that
// runs inside pumpOnce may itself call pumpOnce. A nested pump never re-enters
// a timer or watch handler that is still running further up the stack; that
// timer or watch waits until its handler has returned.
//
// In terminal mode and in tests the loop is the poll(2) implementation below;
// in window mode an adapter implements the same interface over the toolkit's
// own loop.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace harbek::event {

using TimerId = uint64_t;
using WatchId = uint64_t;

enum FdEvents : unsigned { kReadable = 1u, kWritable = 2u, kError = 4u };

class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // Calls fn once after interval, or every interval when repeat is set,
  // until cancelled. An interval of 0 fires on the next pump. A one-shot
  // timer is gone once it has fired; cancelling it afterwards (or cancelling
  // any unknown id) does nothing. Cancelling from inside any handler, the
  // timer's own included, is safe.
  virtual TimerId addTimer(std::chrono::milliseconds interval, bool repeat, std::function<void()> fn) = 0;
  virtual void cancelTimer(TimerId id) = 0;

  // Calls fn with the ready events (kReadable, kWritable, kError) whenever
  // fd is ready for one of the events asked for; kError (error or hang-up)
  // is reported whatever was asked for. The watch is level-triggered: it
  // fires on every pump while the fd stays ready, except inside its own
  // handler (a nested pump does not re-enter a handler that is running).
  // The loop never closes fd. Removing or updating a watch from inside any
  // handler is safe; a removed watch is never called again.
  virtual WatchId watchFd(int fd, unsigned events, std::function<void(unsigned ready)> fn) = 0;
  virtual void updateWatch(WatchId id, unsigned events) = 0;
  virtual void removeWatch(WatchId id) = 0;

  // Runs task on the next pump (tasks posted by a task wait for the pump
  // after). Safe to call from any handler; the loop's thread only.
  virtual void post(std::function<void()> task) = 0;

  // Handles every event that is ready; when none is, waits up to maxWait for
  // one (and handles it), then returns.
  virtual void pumpOnce(std::chrono::milliseconds maxWait = std::chrono::milliseconds(5)) = 0;

  // Pumps until quit() is called (from any handler, at any nesting depth).
  virtual void run() = 0;
  virtual void quit() = 0;

  // What is still registered: tests check that nothing is left behind.
  virtual size_t timerCount() const = 0;
  virtual size_t watchCount() const = 0;
  virtual size_t postedCount() const = 0;
};

std::unique_ptr<EventLoop> makePollLoop();

}  // namespace harbek::event
