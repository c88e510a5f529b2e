#include "crawler/windows/qt_event_loop.h"

#include <poll.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <map>
#include <vector>

#include "platform/event/loop_agenda.h"

namespace harbek::windows {
namespace {

using namespace harbek::event;

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
// writable.
unsigned readyNow(int fd, unsigned asked) {
  pollfd p{fd, 0, 0};
  if (asked & kReadable) p.events |= POLLIN;
  if (asked & kWritable) p.events |= POLLOUT;
  if (::poll(&p, 1, 0) <= 0) return 0;
  return readyFromRevents(p.revents, asked);
}

class QtLoop final : public AgendaLoop {
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

  WatchId watchFd(int fd, unsigned events, std::function<void(unsigned)> fn) override {
    WatchId id = newId();
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

  void pumpOnce(std::chrono::milliseconds maxWait) override {
    // While this pump runs, the wake timer leaves timers and posted tasks to
    // it, unless Qt starts a loop of its own inside (a modal dialog).
    collect();
    ++depth_;
    pumpLevels_.push_back(QThread::currentThread()->loopLevel());
    bool handled = agenda_.runPosted();
    handled = agenda_.runDueTimers() || handled;
    int wait = 0;
    if (!handled && !agenda_.hasPosted()) wait = agenda_.waitMs(maxWait);
    if (wait > 0) {
      QTimer guard;
      guard.setSingleShot(true);
      guard.setTimerType(Qt::PreciseTimer);
      guard.start(wait);
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    } else {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (!handled) agenda_.runDueTimers();
    pumpLevels_.pop_back();
    --depth_;
    rearm();
  }

  size_t watchCount() const override { return watches_.size(); }

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
    agenda_.runPosted();
    agenda_.runDueTimers();
    --depth_;
    rearm();
  }

  // Deletes removed notifiers once none of our handlers is on the stack.
  void collect() {
    if (depth_ == 0) graveyard_.clear();
  }

  // Arms the wake timer for the earliest thing to do, or stops it.
  void agendaChanged() override { rearm(); }

  void rearm() {
    if (agenda_.hasPosted()) {
      if (!wake_.isActive() || wake_.remainingTime() > 0) wake_.start(0);
      return;
    }
    if (!agenda_.nextDue()) {
      wake_.stop();
      return;
    }
    // A timer further off than a day wakes the loop once a day for nothing.
    wake_.start(agenda_.waitMs(std::chrono::hours(24)));
  }

  std::map<WatchId, Watch> watches_;
  std::vector<int> pumpLevels_;
  std::vector<std::unique_ptr<QSocketNotifier>> graveyard_;
  int depth_ = 0;
  QTimer wake_;
};

}  // namespace

std::unique_ptr<event::EventLoop> makeQtLoop() { return std::make_unique<QtLoop>(); }

}  // namespace harbek::windows
