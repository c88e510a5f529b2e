// The crawl queue (List1): URL texts in order, index 0 the head. The head is
// removed once per step and spills take items off the end, so a deque keeps
// both cheap.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "store/url_list.h"

namespace harbek::crawler {

class CrawlQueue : public store::UrlList {
 public:
  // Told of every change after it is made, whoever makes it (the store's
  // spills and refills included).
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void appended(const std::u16string& item) = 0;
    virtual void removed(size_t index) = 0;
  };
  void setObserver(Observer* observer) { observer_ = observer; }

  size_t count() const override { return items_.size(); }
  std::u16string itemAt(size_t index) const override { return items_.at(index); }
  void removeAt(size_t index) override {
    if (index >= items_.size()) return;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    if (observer_) observer_->removed(index);
  }
  void append(std::u16string item) override {
    items_.push_back(std::move(item));
    if (observer_) observer_->appended(items_.back());
  }
  // Puts items in front of the queue, in their order (a queue replayed after
  // a kill goes before what was queued since the start).
  void prepend(const std::vector<std::u16string>& items) { items_.insert(items_.begin(), items.begin(), items.end()); }

  bool empty() const { return items_.empty(); }
  const std::u16string& head() const { return items_.front(); }

 private:
  std::deque<std::u16string> items_;
  Observer* observer_ = nullptr;
};

}  // namespace harbek::crawler
