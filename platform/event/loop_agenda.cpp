#include "platform/event/loop_agenda.h"

#include <poll.h>

#include <vector>

namespace harbek::event {

void LoopAgenda::addTimer(TimerId id, std::chrono::milliseconds interval, bool repeat, std::function<void()> fn) {
  if (interval.count() < 0) interval = std::chrono::milliseconds(0);
  timers_[id] = Timer{Clock::now() + interval, interval, repeat, false,
                      std::make_shared<std::function<void()>>(std::move(fn))};
}

bool LoopAgenda::runPosted() {
  const size_t count = posted_.size();
  for (size_t i = 0; i < count && !posted_.empty(); ++i) {
    std::function<void()> task = std::move(posted_.front());
    posted_.pop_front();
    if (task) task();
  }
  return count > 0;
}

bool LoopAgenda::runDueTimers() {
  const Clock::time_point now = Clock::now();
  std::vector<TimerId> due;
  for (const auto& [id, timer] : timers_) {
    if (!timer.running && timer.due <= now) due.push_back(id);
  }
  for (TimerId id : due) {
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.running) continue;
    std::shared_ptr<std::function<void()>> fn = it->second.fn;
    if (it->second.repeat) {
      Timer& timer = it->second;
      timer.due += timer.interval;
      // A timer held up (by a long handler) fires once, not once per lost tick.
      if (timer.due <= now) timer.due = now + timer.interval;
      timer.running = true;
    } else {
      timers_.erase(it);
    }
    (*fn)();
    auto after = timers_.find(id);
    if (after != timers_.end()) after->second.running = false;
  }
  return !due.empty();
}

std::optional<LoopAgenda::Clock::time_point> LoopAgenda::nextDue() const {
  std::optional<Clock::time_point> first;
  for (const auto& [id, timer] : timers_) {
    if (!timer.running && (!first || timer.due < *first)) first = timer.due;
  }
  return first;
}

int LoopAgenda::waitMs(std::chrono::milliseconds maxWait) const {
  auto wait = std::chrono::duration_cast<std::chrono::microseconds>(maxWait);
  if (const auto due = nextDue()) {
    wait = std::min(wait, std::chrono::duration_cast<std::chrono::microseconds>(*due - Clock::now()));
  }
  if (wait.count() <= 0) return 0;
  return static_cast<int>((wait.count() + 999) / 1000);
}

unsigned readyFromRevents(short revents, unsigned asked) {
  unsigned ready = 0;
  if (revents & (POLLIN | POLLPRI)) ready |= kReadable;
  if (revents & POLLOUT) ready |= kWritable;
  if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
    ready |= kError;
    // After a hang-up a read returns at once (the rest of the data, then end
    // of file), so a reader must get to read.
    if ((revents & POLLHUP) && (asked & kReadable)) ready |= kReadable;
  }
  return ready & (asked | kError);
}

}  // namespace harbek::event
