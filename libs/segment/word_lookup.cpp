#include "libs/segment/word_lookup.h"

#include <algorithm>

namespace harbek::tamsel {

uint64_t IndexedLookup::pack(std::u16string_view w) {
  uint64_t key = 0;
  for (char16_t c : w) key = key << 16 | c;
  return key;
}

IndexedLookup::IndexedLookup(const std::vector<std::u16string>& index,
                             const std::vector<std::u16string>& dictionary)
    : loaded_(true) {
  // Later entries win: the literal search returns the highest matching index.
  for (size_t i = 0; i < index.size(); ++i) {
    if (index[i].size() != 1) continue;  // only ever compared with one character
    lineOf_[index[i][0]] = {static_cast<int32_t>(i), i < dictionary.size()};
  }
  for (const auto& [first, line] : lineOf_) {
    if (!line.present) continue;
    std::u16string_view text = dictionary[static_cast<size_t>(line.index)];
    for (size_t pos = text.find(first); pos != std::u16string_view::npos; pos = text.find(first, pos + 1)) {
      size_t longest = std::min(kMaxWordLength, text.size() - pos);
      for (size_t n = 1; n <= longest; ++n) words_[n - 1].push_back(pack(text.substr(pos, n)));
    }
  }
  for (auto& keys : words_) {
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    keys.shrink_to_fit();
  }
}

HResult IndexedLookup::inDictionary(std::u16string_view w, int* found) const {
  if (!loaded_) return com::kSubscriptOutOfRange;
  *found = -1;
  if (w.empty() || w.size() > kMaxWordLength) return com::kOk;
  auto line = lineOf_.find(w[0]);
  if (line == lineOf_.end()) return com::kOk;
  if (!line->second.present) return com::kSubscriptOutOfRange;
  const auto& keys = words_[w.size() - 1];
  if (std::binary_search(keys.begin(), keys.end(), pack(w))) *found = 1;
  return com::kOk;
}

}  // namespace harbek::tamsel
