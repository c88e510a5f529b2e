#include "libs/segment/segment.h"

#include <algorithm>

#include "libs/spill/spill_record.h"
#include "platform/component/fs_errors.h"
#include "platform/fs/fs.h"

namespace harbek::tamsel {
namespace {

constexpr char16_t kSeparator = u'|';

// A character is single-byte when the code page gives it one byte; one it
// cannot hold becomes "?" and so counts as single-byte too.
bool isSingleByteChar(char16_t c) { return text::charCode(c) >= 0; }

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isHexDigit(char16_t c) {
  return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Whether a run of single-byte characters reads as a number: decimal with an
// optional sign, point and exponent (E or D), or "&H" hexadecimal and "&O"
// octal, with blanks around it.
bool isNumeric(std::u16string_view s) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  if (s.size() > 2 && s[0] == u'&') {
    char16_t radix = text::toLower(s[1]);
    std::u16string_view digits = s.substr(2);
    if (radix == u'h') return std::all_of(digits.begin(), digits.end(), isHexDigit);
    if (radix == u'o')
      return std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'7'; });
    return false;
  }
  size_t i = 0;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
  size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == u'.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
    ++i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
    size_t exponent = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++exponent;
    if (exponent == 0) return false;
  }
  return i == s.size();
}

bool endsPhrase(char16_t c) {
  static constexpr std::u16string_view kMarks =
      u"，。；‘《》：‘’“”,: }{()\"'!、！）（;][";
  return kMarks.find(c) != std::u16string_view::npos;
}

}  // namespace

std::vector<std::u16string> splitLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  for (size_t end = text.find(u"\r\n"); end != std::u16string_view::npos; end = text.find(u"\r\n", start)) {
    lines.emplace_back(text.substr(start, end - start));
    start = end + 2;
  }
  lines.emplace_back(text.substr(start));
  return lines;
}

text::Bytes unscramble(std::string_view bytes, int16_t key) { return spill::ScrambleStr(bytes, key); }

std::vector<std::u16string> indexFromBuffer(std::string_view buffer) {
  return splitLines(text::fromCodePage(unscramble(buffer, kIndexKey)));
}

std::vector<std::u16string> dictionaryFromBuffer(std::string_view buffer) {
  return splitLines(text::fromCodePage(buffer));
}

bool isSingleByte(std::u16string_view s) { return text::toCodePage(s).size() == s.size(); }

std::u16string splitPunctuation(std::u16string_view str) {
  // Every mark is one character and becomes one "|", so a single pass gives
  // what replacing them one after another would; CR LF is the only pair.
  std::u16string out;
  out.reserve(str.size());
  for (size_t i = 0; i < str.size(); ++i) {
    if (str[i] == u'\r' && i + 1 < str.size() && str[i + 1] == u'\n') {
      out.push_back(kSeparator);
      ++i;
    } else {
      out.push_back(endsPhrase(str[i]) ? kSeparator : str[i]);
    }
  }
  return out;
}

HResult segmentPhrase(std::u16string_view phrase, const WordLookup& words, std::u16string* result) {
  result->clear();
  std::u16string_view s = phrase;
  while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);

  // The output grows at its front: pieces are collected last first and
  // joined in reverse at the end.
  std::vector<std::u16string_view> pieces;
  auto putInFront = [&](std::u16string_view piece, bool withSeparator) {
    if (withSeparator) pieces.push_back(u"|");
    pieces.push_back(piece);
  };
  // Whether the piece at the front of the output was put there with a
  // separator after it.
  bool closed = false;

  while (!s.empty()) {
    if (isSingleByteChar(s.back())) {
      size_t start = s.size();
      while (start > 0 && isSingleByteChar(s[start - 1])) --start;
      std::u16string_view run = s.substr(start);
      s = s.substr(0, start);
      bool glued = run.size() == 1 || isNumeric(run);
      putInFront(run, !glued);
      closed = !glued;
    }
    if (s.empty()) break;

    bool matched = false;
    for (size_t n = kMaxWordLength; n >= 1 && !matched; --n) {
      size_t take = std::min(n, s.size());
      std::u16string_view w = s.substr(s.size() - take);
      int found = -1;
      HResult h = words.inDictionary(w, &found);
      if (com::failed(h)) return h;
      if (found != 1) continue;
      if (w.size() == 1) {
        putInFront(w, closed);
        closed = false;
      } else {
        putInFront(w, true);
        closed = true;
      }
      s = s.substr(0, s.size() - take);
      matched = true;
    }
    if (!matched) {
      putInFront(s.substr(s.size() - 1), false);
      s.remove_suffix(1);
    }
  }

  size_t length = 0;
  for (auto piece : pieces) length += piece.size();
  result->reserve(length);
  for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) result->append(*piece);
  if (!result->empty() && result->back() == kSeparator) result->pop_back();
  return com::kOk;
}

HResult Asegment(std::u16string_view str, const WordLookup& words, std::u16string* result) {
  result->clear();
  std::u16string phrases = splitPunctuation(str);
  std::u16string_view rest = phrases;
  std::u16string piece;
  while (true) {
    size_t bar = rest.find(kSeparator);
    HResult h = segmentPhrase(rest.substr(0, bar), words, &piece);
    if (com::failed(h)) return h;
    if (!result->empty()) result->push_back(kSeparator);
    result->append(piece);
    if (bar == std::u16string_view::npos) break;
    rest.remove_prefix(bar + 1);
  }
  return com::kOk;
}

HResult segment::readTextFile(const std::u16string& path, text::Bytes* buffer) {
  fs::Error e = fs::readFile(text::toUtf8(path), *buffer);
  if (e != fs::Error::kOk) return com::fromFsError(e);
  buffer->push_back('\0');
  return com::kOk;
}

HResult segment::load() {
  text::Bytes buffer;
  HResult h = readTextFile(indexPath, &buffer);
  if (com::failed(h)) return h;
  std::vector<std::u16string> index = indexFromBuffer(buffer);
  h = readTextFile(dictPath, &buffer);
  if (com::failed(h)) {
    // The index stays: its lookups then fail for want of dictionary lines.
    words_ = std::make_unique<IndexedLookup>(index, std::vector<std::u16string>{});
    return h;
  }
  words_ = std::make_unique<IndexedLookup>(index, dictionaryFromBuffer(buffer));
  isLoad = true;
  return com::kOk;
}

HResult segment::Asegment(std::u16string_view str, std::u16string* result) const {
  return tamsel::Asegment(str, *words_, result);
}

}  // namespace harbek::tamsel
