#include "crawler/windows/qt_event_loop.h"

#include <poll.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <deque>
#include <map>
#include <vector>

namespace harbek::windows {
namespace {

using namespace harbek::event;
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
  std::unique_ptr<QSocketNotifier> read;
  std::unique_ptr<QSocketNotifier> write;
};

// What fd is ready for now, asked of poll(2) with no wait: Qt reports only
// "activated", and a hang-up or error shows up there as readable or
// writable. The same mapping as the poll loop's.
unsigned readyNow(int fd, unsigned asked) {
  pollfd p{fd, 0, 0};
  if (asked & kReadable) p.events |= POLLIN;
  if (asked & kWritable) p.events |= POLLOUT;
  if (::poll(&p, 1, 0) <= 0) return 0;
  unsigned ready = 0;
  if (p.revents & (POLLIN | POLLPRI)) ready |= kReadable;
  if (p.revents & POLLOUT) ready |= kWritable;
  if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
    ready |= kError;
    if ((p.revents & POLLHUP) && (asked & kReadable)) ready |= kReadable;
  }
  return ready & (asked | kError);
}

class QtLoop final : public EventLoop {
 public:
  QtLoop() {
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake_, &QTimer::timeout, [this] { onWake(); });
  }

  ~QtLoop() override {
    wake_.stop();
    graveyard_.clear();
  }

  TimerId addTimer(std::chrono::milliseconds interval, bool repeat, std::function<void()> fn) override {
    if (interval.count() < 0) interval = std::chrono::milliseconds(0);
    TimerId id = nextId_++;
    timers_[id] = Timer{Clock::now() + interval, interval, repeat, false,
                        std::make_shared<std::function<void()>>(std::move(fn))};
    rearm();
    return id;
  }

  void cancelTimer(TimerId id) override {
    timers_.erase(id);
    rearm();
  }

  WatchId watchFd(int fd, unsigned events, std::function<void(unsigned)> fn) override {
    WatchId id = nextId_++;
    Watch& w = watches_[id];
    w.fd = fd;
    w.events = events;
    w.fn = std::make_shared<std::function<void(unsigned)>>(std::move(fn));
    w.read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    w.write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    QObject::connect(w.read.get(), &QSocketNotifier::activated, [this, id] { onActivated(id); });
    QObject::connect(w.write.get(), &QSocketNotifier::activated, [this, id] { onActivated(id); });
    enableNotifiers(w);
    return id;
  }

  void updateWatch(WatchId id, unsigned events) override {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    it->second.events = events;
    enableNotifiers(it->second);
  }

  void removeWatch(WatchId id) override {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    // A notifier may be the sender whose signal is being delivered: it is
    // switched off at once and deleted when no handler of ours is running.
    for (auto* n : {&it->second.read, &it->second.write}) {
      (*n)->setEnabled(false);
      (*n)->disconnect();
      graveyard_.push_back(std::move(*n));
    }
    watches_.erase(it);
  }

  void post(std::function<void()> task) override {
    posted_.push_back(std::move(task));
    rearm();
  }

  void pumpOnce(std::chrono::milliseconds maxWait) override {
    // While this pump runs, the wake timer leaves timers and posted tasks to
    // it, unless Qt starts a loop of its own inside (a modal dialog).
    collect();
    ++depth_;
    pumpLevels_.push_back(QThread::currentThread()->loopLevel());
    bool handled = runPosted();
    handled = runDueTimers() || handled;
    int wait = 0;
    if (!handled && posted_.empty()) wait = waitMs(maxWait);
    if (wait > 0) {
      QTimer guard;
      guard.setSingleShot(true);
      guard.setTimerType(Qt::PreciseTimer);
      guard.start(wait);
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    } else {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (!handled) runDueTimers();
    pumpLevels_.pop_back();
    --depth_;
    rearm();
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
  static void enableNotifiers(Watch& w) {
    w.read->setEnabled(!w.running && (w.events & kReadable));
    w.write->setEnabled(!w.running && (w.events & kWritable));
  }

  void onActivated(WatchId id) {
    auto it = watches_.find(id);
    if (it == watches_.end() || it->second.running) return;
    unsigned ready = readyNow(it->second.fd, it->second.events);
    if (ready == 0) return;
    std::shared_ptr<std::function<void(unsigned)>> fn = it->second.fn;
    it->second.running = true;
    enableNotifiers(it->second);  // a nested pump leaves it out
    ++depth_;
    (*fn)(ready);
    --depth_;
    auto after = watches_.find(id);
    if (after != watches_.end()) {
      after->second.running = false;
      enableNotifiers(after->second);
    }
  }

  // The wake timer: Qt runs the loop (no pump of ours at this loop level).
  void onWake() {
    if (!pumpLevels_.empty() && pumpLevels_.back() >= QThread::currentThread()->loopLevel()) return;
    collect();
    ++depth_;
    runPosted();
    runDueTimers();
    --depth_;
    rearm();
  }

  // Deletes removed notifiers once none of our handlers is on the stack.
  void collect() {
    if (depth_ == 0) graveyard_.clear();
  }

  // Arms the wake timer for the earliest thing to do, or stops it.
  void rearm() {
    if (!posted_.empty()) {
      if (!wake_.isActive() || wake_.remainingTime() > 0) wake_.start(0);
      return;
    }
    bool any = false;
    Clock::time_point first{};
    for (const auto& [id, timer] : timers_) {
      if (timer.running) continue;
      if (!any || timer.due < first) first = timer.due;
      any = true;
    }
    if (!any) {
      wake_.stop();
      return;
    }
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(first - Clock::now());
    int ms = left.count() <= 0 ? 0 : static_cast<int>((left.count() + 999) / 1000);
    wake_.start(ms);
  }

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

  std::map<TimerId, Timer> timers_;
  std::map<WatchId, Watch> watches_;
  std::deque<std::function<void()>> posted_;
  std::vector<int> pumpLevels_;
  std::vector<std::unique_ptr<QSocketNotifier>> graveyard_;
  int depth_ = 0;
  QTimer wake_;
  uint64_t nextId_ = 1;
  bool quit_ = false;
};

}  // namespace

std::unique_ptr<event::EventLoop> makeQtLoop() { return std::make_unique<QtLoop>(); }

}  // namespace harbek::windows
