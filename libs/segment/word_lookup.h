// Dictionary lookups of the segmenter.
//
// The dictionary is two parallel arrays: entry i of the index is a first
// character, line i of the dictionary holds the words that begin with it. A
// word is "in the dictionary" when it occurs anywhere in the line of its
// first character (a substring test, so a prefix of a listed word counts).
// Read literally that is a linear search of the index and a substring search
// of a line that can hold thousands of words; IndexedLookup answers the same
// question from tables built once when the dictionary is loaded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/component/errors.h"

namespace harbek::tamsel {

using com::HResult;

// The longest word the segmenter ever looks up.
inline constexpr size_t kMaxWordLength = 4;

class WordLookup {
 public:
  virtual ~WordLookup() = default;
  // *found is 1 when w (1 to kMaxWordLength characters) is in the dictionary,
  // -1 when it is not. Fails with kSubscriptOutOfRange when there is no index
  // yet, or when the index names a line the dictionary does not have.
  virtual HResult inDictionary(std::u16string_view w, int* found) const = 0;
};

class IndexedLookup final : public WordLookup {
 public:
  // No index: every lookup fails, as before the dictionary is loaded.
  IndexedLookup() = default;
  IndexedLookup(const std::vector<std::u16string>& index, const std::vector<std::u16string>& dictionary);

  HResult inDictionary(std::u16string_view w, int* found) const override;

 private:
  // The answer of the literal search for the first character: the highest
  // index whose entry is exactly that character, and whether the dictionary
  // has that line.
  struct Line {
    int32_t index;
    bool present;
  };

  static uint64_t pack(std::u16string_view w);

  bool loaded_ = false;
  std::unordered_map<char16_t, Line> lineOf_;
  // words_[n - 1]: sorted packed substrings of n characters that start at a
  // position holding the line's own first character. Only those can answer a
  // lookup, because a looked-up word always starts with that character.
  std::vector<uint64_t> words_[kMaxWordLength];
};

}  // namespace harbek::tamsel
