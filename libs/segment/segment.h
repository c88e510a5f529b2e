// Dictionary word segmentation.
//
// `segment` splits Chinese text into words separated by "|". The text is
// first cut into phrases at punctuation and spaces; each phrase is then read
// from its end towards its start, taking at each step the longest word of up
// to four characters that the dictionary knows (backward maximum matching).
// Runs of single-byte characters (letters, digits) stay together, and a
// one-character word joins the piece after it unless that piece was closed
// with a separator.
//
// The dictionary comes from two files in the system code page, each read
// whole with one extra character of code 0 at its end and split at CR LF: the
// index file (one first character per line, stored scrambled) and the
// dictionary file (line i holds the words beginning with index entry i).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "libs/segment/word_lookup.h"
#include "platform/text/text.h"

namespace harbek::tamsel {

// The key with which the index file is scrambled.
inline constexpr int16_t kIndexKey = 23;

// Splits at every CR LF; a text ending in CR LF gives an empty last entry.
std::vector<std::u16string> splitLines(std::u16string_view text);

// The same routine scrambles and unscrambles code-page bytes (the masking of
// the spill records, with this library's key). An empty input gives "1".
text::Bytes unscramble(std::string_view bytes, int16_t key);

// The arrays load builds from a file buffer (see segment::readTextFile). The
// index is unscrambled before it is decoded: masking can turn a trail byte
// into one no character has, which decoding would lose.
std::vector<std::u16string> indexFromBuffer(std::string_view buffer);
std::vector<std::u16string> dictionaryFromBuffer(std::string_view buffer);

// True when the text takes as many bytes in the system code page as it has
// characters.
bool isSingleByte(std::u16string_view s);

// Every punctuation mark and space that ends a phrase becomes "|".
std::u16string splitPunctuation(std::u16string_view str);

HResult segmentPhrase(std::u16string_view phrase, const WordLookup& words, std::u16string* result);

// The words of str separated by "|".
HResult Asegment(std::u16string_view str, const WordLookup& words, std::u16string* result);

class segment {
 public:
  bool isLoad = false;
  std::u16string indexPath;
  std::u16string dictPath;

  // Reads both files. A file that cannot be read fails the call with its
  // code and leaves isLoad false.
  HResult load();
  HResult Asegment(std::u16string_view str, std::u16string* result) const;

  // The whole file in the system code page, followed by one byte 0: the
  // buffer it is read into is one byte longer than the file.
  static HResult readTextFile(const std::u16string& path, text::Bytes* buffer);

 private:
  std::unique_ptr<const IndexedLookup> words_ = std::make_unique<IndexedLookup>();
};

}  // namespace harbek::tamsel
