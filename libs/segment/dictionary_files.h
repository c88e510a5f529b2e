// Writing the two files of the segmenter from a word list.
//
// The dictionary file has one line per first character, holding every word
// that begins with it joined by ","; the index file has that character on
// the same line, and is stored scrambled. Both end with CR LF. Reading a file
// adds one character of code 0 at its end, so each array gets one extra last
// entry; in the index that entry is whatever the code 0 unscrambles to, and
// the writer makes sure it never stands for a real first character (it would
// hide that character's line, the last matching entry being the one used).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/component/errors.h"
#include "platform/text/text.h"

namespace harbek::tamsel {

struct DictionaryFiles {
  text::Bytes index;
  text::Bytes dictionary;
  size_t words = 0;       // words written
  size_t skipped = 0;     // words left out (see makeDictionaryFiles)
};

// The words of a word list in UTF-8, one entry a line: the word, then
// optionally a space and anything (a frequency, a tag). Blank lines are
// skipped.
std::vector<std::u16string> readWordList(std::string_view utf8);

// Words are grouped by first character in code order, each group in the order
// given, duplicates dropped. Words that are empty, that the code page cannot
// hold, or that contain "," or a line break are left out: a lookup could then
// run across two words. Fails with kFail when the files would not read back
// as written.
com::HResult makeDictionaryFiles(const std::vector<std::u16string>& words, DictionaryFiles* out);

}  // namespace harbek::tamsel
