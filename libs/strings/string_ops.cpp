#include "libs/strings/string_ops.h"

#include <time.h>

#include <chrono>
#include <optional>
#include <vector>

#include "libs/strings/html_fragment.h"
#include "libs/url/url_encode.h"
#include "platform/text/text.h"

namespace harbek::strings {
namespace {

constexpr size_t kMaxPosition = 32767;  // positions are 16-bit signed

// Start offsets of every occurrence of what in text, letter case ignored,
// each search starting one place after the previous hit.
template <class OnHit>
void forEachHitIgnoringCase(std::u16string_view text, std::u16string_view what, OnHit onHit) {
  std::u16string hay = text::toLower(text);
  std::u16string needle = text::toLower(what);
  for (size_t at = hay.find(needle); at != std::u16string::npos; at = hay.find(needle, at + 1)) onHit(at);
}

std::optional<int> digitsValue(std::u16string_view digits) {
  int v = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    v = v * 10 + (c - u'0');
  }
  return v;
}

int currentYear() {
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

// Failure function of the Knuth-Morris-Pratt automaton for pattern.
std::vector<uint32_t> borders(std::u16string_view pattern) {
  std::vector<uint32_t> fail(pattern.size(), 0);
  for (uint32_t i = 1, k = 0; i < pattern.size(); ++i) {
    while (k > 0 && pattern[i] != pattern[k]) k = fail[k - 1];
    if (pattern[i] == pattern[k]) ++k;
    fail[i] = k;
  }
  return fail;
}

unsigned hexValueAt(std::u16string_view text, size_t pos) {
  unsigned v = 0;
  for (size_t i = pos; i < pos + 2 && i < text.size(); ++i) {
    const int d = text::hexDigit(text[i]);
    if (d < 0) break;
    v = v * 16 + static_cast<unsigned>(d);
  }
  return v;
}

// The text may grow with each replacement; past this many code units the
// call gives up rather than exhaust memory.
constexpr size_t kMaxTextUnits = size_t{1} << 26;

}  // namespace

HResult InStrL(std::u16string_view whole, std::u16string_view sought, int16_t* position) {
  size_t last = std::u16string::npos;
  if (!sought.empty()) forEachHitIgnoringCase(whole, sought, [&](size_t at) { last = at; });
  if (last == std::u16string::npos) {
    *position = 0;
    return com::kOk;
  }
  if (last + 1 > kMaxPosition) return com::kOverflow;
  *position = static_cast<int16_t>(last + 1);
  return com::kOk;
}

HResult iSum(std::u16string_view whole, std::u16string_view sought, int16_t* count) {
  size_t hits = 0, last = 0;
  if (!sought.empty()) forEachHitIgnoringCase(whole, sought, [&](size_t at) {
    ++hits;
    last = at;
  });
  if (hits > 0 && last + 1 > kMaxPosition) return com::kOverflow;
  *count = static_cast<int16_t>(hits);
  return com::kOk;
}

com::Date StrToDate(std::u16string_view digits) {
  using namespace std::chrono;
  const size_t n = digits.size();
  auto value = (n == 8 || n == 6 || n == 4) ? digitsValue(digits) : std::nullopt;
  if (!value) return com::Date{0};
  int y, m, d;
  switch (n) {
    case 8: y = *value / 10000, m = *value / 100 % 100, d = *value % 100; break;
    case 6: y = *value / 100, m = *value % 100, d = 1; break;
    case 4: y = currentYear(), m = *value / 100, d = *value % 100; break;
    default: return com::Date{0};
  }
  // The date type holds the years 100 to 9999.
  year_month_day date{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
  if (y < 100 || y > 9999 || !date.ok()) return com::Date{0};
  constexpr sys_days kZeroDate = year{1899} / December / 30;
  return com::Date{static_cast<double>((sys_days{date} - kZeroDate).count())};
}

// The replacement loop, read as a left-to-right scan: the first occurrence of
// sought is the one that ends first, so the scan appends one character at
// a time to the settled output and, when the output ends with sought,
// takes the occurrence back off, and reads replacement followed by the rest
// of the occurrence (sought without its first character) again. Nothing
// before the occurrence changes, so nothing before it needs another look.
//
// Whether the loop ends is known before it starts. With T = replacement +
// sought minus its first character, each step leaves T in the text, so if
// T holds sought there is always a next occurrence. Otherwise a step never
// starts on a character that a replacement put in, so every step uses up one
// of the first characters of sought in the original text and the loop ends.
HResult sReplace(std::u16string& line, std::u16string_view sought, std::u16string_view replacement,
                 std::u16string* result) {
  if (line.empty()) {
    result->clear();
    return com::kOk;
  }
  if (sought.empty()) {
    // An empty text is found at position 1 of any non-empty text: each step
    // replaces the first character, so only an empty replacement ever ends.
    if (!replacement.empty()) return com::kInvalidArgument;
    line.clear();
    result->clear();
    return com::kOk;
  }
  if (line.find(sought) == std::u16string::npos) {
    *result = line;
    return com::kOk;
  }
  std::u16string reread(replacement);
  reread.append(sought.substr(1));
  if (reread.find(sought) != std::u16string::npos) return com::kInvalidArgument;

  const size_t m = sought.size();
  const std::vector<uint32_t> fail = borders(sought);
  std::u16string out;
  std::vector<uint32_t> state;  // automaton state after each character of out
  std::u16string pending;     // characters to read again, the next one last
  size_t next = 0;
  while (!pending.empty() || next < line.size()) {
    char16_t c;
    if (!pending.empty()) {
      c = pending.back();
      pending.pop_back();
    } else {
      c = line[next++];
    }
    uint32_t s = state.empty() ? 0 : state.back();
    while (s > 0 && sought[s] != c) s = fail[s - 1];
    if (sought[s] == c) ++s;
    out.push_back(c);
    state.push_back(s);
    if (s == m) {
      out.resize(out.size() - m);
      state.resize(out.size());
      pending.append(reread.rbegin(), reread.rend());
      if (out.size() + pending.size() + (line.size() - next) > kMaxTextUnits) return com::kOutOfMemory;
    }
  }
  line = out;
  *result = std::move(out);
  return com::kOk;
}

std::u16string changeHtml(std::u16string_view markup) {
  return text::toLower(text::fromUtf8(serializeBodyFragment(text::toUtf8(markup))));
}

std::u16string noSpaceINtag(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  bool inTag = false;
  for (char16_t c : text) {
    if (c == u'<') inTag = true;
    else if (c == u'>') inTag = false;
    else if (inTag && c == 0) continue;
    out.push_back(c);
  }
  return out;
}

std::u16string URLEncode(std::u16string_view text) { return url::urlEncode(text); }

std::u16string URLDecode(std::u16string_view text) {
  if (text.find(u'%') == std::u16string_view::npos) return std::u16string(text);
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      out.push_back(text[i++]);
      continue;
    }
    unsigned h = hexValueAt(text, i + 1);
    if (h > 127) {
      // A lead byte: its trail byte's digits follow the next "%", which is
      // taken on trust.
      unsigned trail = hexValueAt(text, i + 4);
      out.push_back(text::charOfCode(static_cast<int32_t>(h * 256 + trail)));
      i += 6;
    } else {
      out.push_back(text::charOfCode(static_cast<int32_t>(h)));
      i += 3;
    }
  }
  return out;
}

// The marks are replaced one after another in a fixed order; since "|" is
// none of them and only the CR LF pair spans two characters, one pass that
// tries the pair first gives the same text.
std::u16string noBiaoDian(std::u16string_view text) {
  static constexpr std::u16string_view kMarks = u"，。；‘《》：’“”,.: }{()";
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      out.push_back(u'|');
      ++i;
    } else {
      out.push_back(kMarks.find(c) != std::u16string_view::npos ? u'|' : c);
    }
  }
  return out;
}

}  // namespace harbek::strings
