// The crawl queue (List1): URL texts in order, index 0 the head. The head is
// removed once per step and spills take items off the end, so a deque keeps
// both cheap.
#pragma once

#include <deque>
#include <string>

#include "store/url_list.h"

namespace harbek::crawler {

class CrawlQueue : public store::UrlList {
 public:
  size_t count() const override { return items_.size(); }
  std::u16string itemAt(size_t index) const override { return items_.at(index); }
  void removeAt(size_t index) override {
    if (index < items_.size()) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  void append(std::u16string item) override { items_.push_back(std::move(item)); }

  bool empty() const { return items_.empty(); }
  const std::u16string& head() const { return items_.front(); }

 private:
  std::deque<std::u16string> items_;
};

}  // namespace harbek::crawler
