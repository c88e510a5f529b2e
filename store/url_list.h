// The queue as the site store's list operations see it: an ordered list of
// URL texts, index 0 first. The crawler's queue implements it; VectorUrlList
// is the plain one for tools and tests.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace harbek::store {

class UrlList {
 public:
  virtual ~UrlList() = default;
  virtual size_t count() const = 0;
  // index < count()
  virtual std::u16string itemAt(size_t index) const = 0;
  virtual void removeAt(size_t index) = 0;
  virtual void append(std::u16string item) = 0;
};

class VectorUrlList : public UrlList {
 public:
  VectorUrlList() = default;
  explicit VectorUrlList(std::vector<std::u16string> items) : items_(std::move(items)) {}

  size_t count() const override { return items_.size(); }
  std::u16string itemAt(size_t index) const override { return items_.at(index); }
  void removeAt(size_t index) override {
    if (index < items_.size()) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  void append(std::u16string item) override { items_.push_back(std::move(item)); }

  const std::vector<std::u16string>& items() const { return items_; }

 private:
  std::vector<std::u16string> items_;
};

}  // namespace harbek::store
