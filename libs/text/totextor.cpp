#include "libs/text/totextor.h"

#include "platform/text/text.h"

namespace harbek::textor {
namespace {

constexpr size_t npos = std::u16string_view::npos;

// The next occurrence of a closing tag at or after a position that only ever
// grows. Each search starts beyond the previous hit, so all the searches of
// one walk together read the text about once.
class ClosingTag {
 public:
  ClosingTag(std::u16string_view text, std::u16string_view tag) : text_(text), tag_(tag) {}

  size_t findFrom(size_t start) {
    if (!searched_ || (next_ != npos && next_ < start)) {
      next_ = text_.find(tag_, start);
      searched_ = true;
    }
    return next_;
  }

 private:
  std::u16string_view text_;
  std::u16string_view tag_;
  size_t next_ = npos;
  bool searched_ = false;
};

// One left-to-right pass: pieces that only form once an occurrence is taken
// out stay, as a plain replace-all leaves them.
std::u16string removeAll(std::u16string_view text, std::u16string_view piece) {
  std::u16string out;
  out.reserve(text.size());
  size_t from = 0;
  for (size_t at = text.find(piece); at != npos; at = text.find(piece, from)) {
    out.append(text.substr(from, at - from));
    from = at + piece.size();
  }
  out.append(text.substr(from));
  return out;
}

// The walk both strip operations share. The in-tag flag is set by every "<"
// and cleared by every ">"; a jump to "</script>" or "</style>" lands on its
// "<", so the closing tag itself is skipped up to its ">".
std::u16string walk(std::u16string_view html, bool dropSpaces) {
  const std::u16string lower = text::toLower(html);
  const std::u16string_view s = lower;
  ClosingTag script(s, u"</script>");
  ClosingTag style(s, u"</style>");
  std::u16string out;
  out.reserve(s.size());
  bool inTag = false;
  for (size_t a = 0; a < s.size(); ++a) {
    const char16_t c = s[a];
    if (c == u'<') {
      if (s.substr(a).starts_with(u"<script")) {
        if (size_t e = script.findFrom(a + 7); e != npos) a = e;
      }
      if (s.substr(a).starts_with(u"<style")) {
        if (size_t e = style.findFrom(a + 6); e != npos) a = e;
      }
      inTag = true;
    } else if (c == u'>') {
      inTag = false;
    } else if (!inTag && !(dropSpaces && c == u' ')) {
      out.push_back(c);
    }
  }
  return removeAll(out, u"&nbsp;");
}

// Position (from 1) of marker in text at or after start, 0 when absent; an
// empty marker is found at start, nothing is found in an empty text.
size_t inStr(size_t start, std::u16string_view text, std::u16string_view marker) {
  if (text.empty() || start > text.size()) return 0;
  if (marker.empty()) return start;
  size_t at = text.find(marker, start - 1);
  return at == npos ? 0 : at + 1;
}

}  // namespace

std::u16string stripText(std::u16string_view html) { return walk(html, false); }

std::u16string stripTextNoSpace(std::u16string_view html) {
  // Spaces never reach the walk's output, so only the line ends are left to
  // take out; a lone CR or LF stays.
  return removeAll(walk(html, true), u"\r\n");
}

com::HResult getTextorP(std::u16string_view text, std::u16string_view marker, std::u16string* result) {
  if (!result) return com::kPointer;
  size_t p = inStr(1, text, marker);
  if (p > 0) {
    size_t q = inStr(p + marker.size(), text, marker);
    p = q > 0 ? q + marker.size() : 0;
  } else {
    p = 1;
  }
  // The part runs from p to the last character but one: it cannot start at
  // 0 (one marker only) nor have a negative length (the marker ends the text).
  if (p == 0 || p > text.size()) return com::kInvalidArgument;
  std::u16string_view part = text.substr(p - 1, text.size() - p);

  // Only a longer word replaces the best so far: the first of equal words wins.
  std::u16string_view best;
  size_t from = 0;
  while (true) {
    size_t end = part.find(u' ', from);
    std::u16string_view word = part.substr(from, end == npos ? npos : end - from);
    if (word.size() > best.size()) best = word;
    if (end == npos) break;
    from = end + 1;
  }
  result->assign(best);
  return com::kOk;
}

}  // namespace harbek::textor
