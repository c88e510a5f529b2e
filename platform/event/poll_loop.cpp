// The poll(2) event loop.
//
// Handlers are kept behind shared pointers and looked up again by id after
// every call, so a handler may remove itself, another registration, or
// register new ones while the loop walks its lists. Each registration carries
// a "running" mark while its handler is on the stack: nested pumps leave it
// out of both the dispatch and the poll set, which keeps a level-triggered
// watch (or an overdue timer) from re-entering its own handler in a loop and
// keeps the wait from collapsing to zero while that handler pumps.
#include <poll.h>

#include <cerrno>
#include <deque>
#include <map>
#include <vector>

#include "platform/event/event_loop.h"

namespace harbek::event {
namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
  Clock::time_point due;
  std::chrono::milliseconds interval;
  bool repeat;
  bool running = false;
  std::shared_ptr<std::function<void()>> fn;
};

struct Watch {
  int fd;
  unsigned events;
  bool running = false;
  std::shared_ptr<std::function<void(unsigned)>> fn;
};

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

short pollEvents(unsigned events) {
  short mask = 0;
  if (events & kReadable) mask |= POLLIN;
  if (events & kWritable) mask |= POLLOUT;
  return mask;
}

class PollLoop final : public EventLoop {
 public:
  TimerId addTimer(std::chrono::milliseconds interval, bool repeat, std::function<void()> fn) override {
    if (interval.count() < 0) interval = std::chrono::milliseconds(0);
    TimerId id = nextId_++;
    timers_[id] = Timer{Clock::now() + interval, interval, repeat, false,
                        std::make_shared<std::function<void()>>(std::move(fn))};
    return id;
  }

  void cancelTimer(TimerId id) override { timers_.erase(id); }

  WatchId watchFd(int fd, unsigned events, std::function<void(unsigned)> fn) override {
    WatchId id = nextId_++;
    watches_[id] = Watch{fd, events, false, std::make_shared<std::function<void(unsigned)>>(std::move(fn))};
    return id;
  }

  void updateWatch(WatchId id, unsigned events) override {
    auto it = watches_.find(id);
    if (it != watches_.end()) it->second.events = events;
  }

  void removeWatch(WatchId id) override { watches_.erase(id); }

  void post(std::function<void()> task) override { posted_.push_back(std::move(task)); }

  void pumpOnce(std::chrono::milliseconds maxWait) override {
    bool handled = runPosted();
    handled = runDueTimers() || handled;
    int timeout = 0;
    if (!handled && posted_.empty()) timeout = waitMs(maxWait);
    bool woke = pollWatches(timeout);
    if (!handled && !woke) runDueTimers();
  }

  void run() override {
    quit_ = false;
    while (!quit_) pumpOnce(std::chrono::milliseconds(100));
    quit_ = false;
  }

  void quit() override { quit_ = true; }

  size_t timerCount() const override { return timers_.size(); }
  size_t watchCount() const override { return watches_.size(); }
  size_t postedCount() const override { return posted_.size(); }

 private:
  // Only the tasks that were waiting when the pump began; a nested pump takes
  // from the same queue, so the order holds whoever runs them.
  bool runPosted() {
    size_t count = posted_.size();
    for (size_t i = 0; i < count && !posted_.empty(); ++i) {
      std::function<void()> task = std::move(posted_.front());
      posted_.pop_front();
      if (task) task();
    }
    return count > 0;
  }

  bool runDueTimers() {
    Clock::time_point now = Clock::now();
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

  // How long the poll may block: up to maxWait, less when a timer comes due
  // sooner (rounded up, so the wait never ends just short of it and spins).
  int waitMs(std::chrono::milliseconds maxWait) const {
    auto wait = std::chrono::duration_cast<std::chrono::microseconds>(maxWait);
    Clock::time_point now = Clock::now();
    for (const auto& [id, timer] : timers_) {
      if (timer.running) continue;
      auto left = std::chrono::duration_cast<std::chrono::microseconds>(timer.due - now);
      if (left < wait) wait = left;
    }
    if (wait.count() <= 0) return 0;
    return static_cast<int>((wait.count() + 999) / 1000);
  }

  // Polls the watches that are not running and ask for something; dispatches
  // what is ready. True when a watch was handled.
  bool pollWatches(int timeout) {
    std::vector<pollfd> fds;
    std::vector<WatchId> ids;
    for (const auto& [id, watch] : watches_) {
      if (watch.running || watch.events == 0) continue;
      fds.push_back(pollfd{watch.fd, pollEvents(watch.events), 0});
      ids.push_back(id);
    }
    int n = ::poll(fds.data(), fds.size(), timeout);
    if (n <= 0) return false;  // EINTR counts as a wake with nothing ready
    bool handled = false;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      auto it = watches_.find(ids[i]);
      if (it == watches_.end() || it->second.running) continue;
      unsigned ready = readyFromRevents(fds[i].revents, it->second.events);
      if (ready == 0) continue;
      std::shared_ptr<std::function<void(unsigned)>> fn = it->second.fn;
      it->second.running = true;
      (*fn)(ready);
      auto after = watches_.find(ids[i]);
      if (after != watches_.end()) after->second.running = false;
      handled = true;
    }
    return handled;
  }

  std::map<TimerId, Timer> timers_;
  std::map<WatchId, Watch> watches_;
  std::deque<std::function<void()>> posted_;
  uint64_t nextId_ = 1;
  bool quit_ = false;
};

}  // namespace

std::unique_ptr<EventLoop> makePollLoop() { return std::make_unique<PollLoop>(); }

}  // namespace harbek::event
