// The poll(2) event loop.
//
// Watches follow the agenda's rules for timers: looked up again by id after
// every call, and marked "running" while their handler is on the stack, so a
// nested pump leaves a level-triggered watch out of the poll set instead of
// re-entering its handler in a loop.
#include <poll.h>

#include <map>
#include <vector>

#include "platform/event/event_loop.h"
#include "platform/event/loop_agenda.h"

namespace harbek::event {
namespace {

struct Watch {
  int fd;
  unsigned events;
  bool running = false;
  std::shared_ptr<std::function<void(unsigned)>> fn;
};

short pollEvents(unsigned events) {
  short mask = 0;
  if (events & kReadable) mask |= POLLIN;
  if (events & kWritable) mask |= POLLOUT;
  return mask;
}

class PollLoop final : public AgendaLoop {
 public:
  WatchId watchFd(int fd, unsigned events, std::function<void(unsigned)> fn) override {
    WatchId id = newId();
    watches_[id] = Watch{fd, events, false, std::make_shared<std::function<void(unsigned)>>(std::move(fn))};
    return id;
  }

  void updateWatch(WatchId id, unsigned events) override {
    auto it = watches_.find(id);
    if (it != watches_.end()) it->second.events = events;
  }

  void removeWatch(WatchId id) override { watches_.erase(id); }

  void pumpOnce(std::chrono::milliseconds maxWait) override {
    bool handled = agenda_.runPosted();
    handled = agenda_.runDueTimers() || handled;
    int timeout = 0;
    if (!handled && !agenda_.hasPosted()) timeout = agenda_.waitMs(maxWait);
    bool woke = pollWatches(timeout);
    if (!handled && !woke) agenda_.runDueTimers();
  }

  size_t watchCount() const override { return watches_.size(); }

 private:
  // Polls the watches that are not running and ask for something; dispatches
  // what is ready. True when a watch was handled.
  bool pollWatches(int timeout) {
    // The lists keep their room from one poll to the next; a poll made from
    // inside a handler finds them taken and makes its own.
    std::vector<pollfd> fds = std::move(spareFds_);
    std::vector<WatchId> ids = std::move(spareIds_);
    fds.clear();
    ids.clear();
    for (const auto& [id, watch] : watches_) {
      if (watch.running || watch.events == 0) continue;
      fds.push_back(pollfd{watch.fd, pollEvents(watch.events), 0});
      ids.push_back(id);
    }
    const int n = ::poll(fds.data(), fds.size(), timeout);
    bool handled = false;
    // EINTR counts as a wake with nothing ready.
    if (n > 0) handled = dispatch(fds, ids);
    spareFds_ = std::move(fds);
    spareIds_ = std::move(ids);
    return handled;
  }

  // Runs the handler of each watch found ready; true when one ran.
  bool dispatch(const std::vector<pollfd>& fds, const std::vector<WatchId>& ids) {
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

  std::map<WatchId, Watch> watches_;
  std::vector<pollfd> spareFds_;
  std::vector<WatchId> spareIds_;
};

}  // namespace

std::unique_ptr<EventLoop> makePollLoop() { return std::make_unique<PollLoop>(); }

}  // namespace harbek::event
