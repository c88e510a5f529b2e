// The dictionary lookup read literally, as the oracle of the indexed one: a
// linear search of the index for the highest entry equal to the first
// character, then a substring search of that dictionary line.
#pragma once

#include <string>
#include <vector>

#include "libs/segment/word_lookup.h"

namespace harbek::tamsel::testing {

class LiteralLookup final : public WordLookup {
 public:
  // loaded false: there is no index array yet.
  LiteralLookup(std::vector<std::u16string> index, std::vector<std::u16string> dictionary, bool loaded = true)
      : index_(std::move(index)), dictionary_(std::move(dictionary)), loaded_(loaded) {}

  HResult findIndex(std::u16string_view s, int* found) const {
    if (!loaded_) return com::kSubscriptOutOfRange;
    *found = -1;
    for (size_t i = 0; i < index_.size(); ++i)
      if (index_[i] == s) *found = static_cast<int>(i);
    return com::kOk;
  }

  HResult inDictionary(std::u16string_view w, int* found) const override {
    int i = -1;
    HResult h = findIndex(w.substr(0, 1), &i);
    if (com::failed(h)) return h;
    *found = -1;
    if (i == -1) return com::kOk;
    if (static_cast<size_t>(i) >= dictionary_.size()) return com::kSubscriptOutOfRange;
    if (dictionary_[static_cast<size_t>(i)].find(w) != std::u16string::npos) *found = 1;
    return com::kOk;
  }

 private:
  std::vector<std::u16string> index_;
  std::vector<std::u16string> dictionary_;
  bool loaded_;
};

}  // namespace harbek::tamsel::testing
