// What every event loop implementation keeps the same way: its timers and
// the tasks posted to it, and the meaning of a poll(2) result.
//
// Handlers are kept behind shared pointers and looked up again by id after
// every call, so a handler may cancel itself or another timer, or add new
// ones, while the agenda walks its lists. A timer carries a "running" mark
// while its handler is on the stack: a nested pump leaves it out of both the
// dispatch and the wait, which keeps an overdue timer from re-entering its
// own handler and keeps the wait from collapsing to zero while it pumps.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "platform/event/event_loop.h"

namespace harbek::event {

class LoopAgenda {
 public:
  using Clock = std::chrono::steady_clock;

  void addTimer(TimerId id, std::chrono::milliseconds interval, bool repeat, std::function<void()> fn);
  void cancelTimer(TimerId id) { timers_.erase(id); }
  void post(std::function<void()> task) { posted_.push_back(std::move(task)); }

  // Runs only the tasks that were waiting when the call began; a nested
  // pump takes from the same queue, so the order holds whoever runs them.
  // True when there were any.
  bool runPosted();
  // Runs the timers that are due; true when any was.
  bool runDueTimers();

  // When the earliest timer that may fire now comes due; none without one.
  std::optional<Clock::time_point> nextDue() const;
  // How long a wait may block: up to maxWait, less when a timer comes due
  // sooner (rounded up, so the wait never ends just short of it and spins).
  int waitMs(std::chrono::milliseconds maxWait) const;

  bool hasPosted() const { return !posted_.empty(); }
  size_t timerCount() const { return timers_.size(); }
  size_t postedCount() const { return posted_.size(); }

 private:
  struct Timer {
    Clock::time_point due;
    std::chrono::milliseconds interval;
    bool repeat;
    bool running = false;
    std::shared_ptr<std::function<void()>> fn;
  };

  std::map<TimerId, Timer> timers_;
  std::deque<std::function<void()>> posted_;
};

// The half of an event loop that every implementation shares: ids, the
// agenda, run and quit. An implementation adds the watches and pumpOnce.
class AgendaLoop : public EventLoop {
 public:
  TimerId addTimer(std::chrono::milliseconds interval, bool repeat, std::function<void()> fn) override {
    const TimerId id = newId();
    agenda_.addTimer(id, interval, repeat, std::move(fn));
    agendaChanged();
    return id;
  }
  void cancelTimer(TimerId id) override {
    agenda_.cancelTimer(id);
    agendaChanged();
  }
  void post(std::function<void()> task) override {
    agenda_.post(std::move(task));
    agendaChanged();
  }
  void run() override {
    quit_ = false;
    while (!quit_) pumpOnce(std::chrono::milliseconds(100));
    quit_ = false;
  }
  void quit() override { quit_ = true; }
  size_t timerCount() const override { return agenda_.timerCount(); }
  size_t postedCount() const override { return agenda_.postedCount(); }

 protected:
  // A timer or a task has joined or left the agenda.
  virtual void agendaChanged() {}
  uint64_t newId() { return nextId_++; }

  LoopAgenda agenda_;

 private:
  uint64_t nextId_ = 1;
  bool quit_ = false;
};

// The events a watch asked for that poll(2)'s revents report, with kError
// for an error or a hang-up.
unsigned readyFromRevents(short revents, unsigned asked);

}  // namespace harbek::event
