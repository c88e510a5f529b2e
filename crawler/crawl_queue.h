// The crawl queue: URL texts in order, index 0 the head. The head is
// removed once per step and spills take items off the end, so a deque keeps
// both cheap. Every change, whoever makes it (the controller, a spill, a
// refill), is reported to the observer one entry at a time, so a window can
// mirror the queue without reading it again.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "store/url_list.h"

namespace harbek::crawler {

// One entry appended at index (the end), inserted at index, or removed
// from index.
struct QueueChange {
  enum class Kind { kAppended, kInserted, kRemoved };
  Kind kind;
  size_t index;
};

class CrawlQueue : public store::UrlList {
 public:
  size_t count() const override { return items_.size(); }
  std::u16string itemAt(size_t index) const override { return items_.at(index); }
  void removeAt(size_t index) override {
    if (index >= items_.size()) return;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    if (observer_) observer_({QueueChange::Kind::kRemoved, index});
  }
  void append(std::u16string item) override {
    items_.push_back(std::move(item));
    if (observer_) observer_({QueueChange::Kind::kAppended, items_.size() - 1});
  }

  // Puts items in front of the queue, in their order (a queue replayed after
  // a kill goes before what was queued since the start).
  void prepend(const std::vector<std::u16string>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
      items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(i), items[i]);
      if (observer_) observer_({QueueChange::Kind::kInserted, i});
    }
  }

  // Told of every change after it is made, whoever makes it (the store's
  // spills and refills included).
  void setObserver(std::function<void(const QueueChange&)> observer) { observer_ = std::move(observer); }

  bool empty() const { return items_.empty(); }
  const std::u16string& head() const { return items_.front(); }

 private:
  std::deque<std::u16string> items_;
  std::function<void(const QueueChange&)> observer_;
};

}  // namespace harbek::crawler
