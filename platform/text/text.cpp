#include "text.h"

#include <algorithm>

#include "platform/text/code_page_tables.h"

namespace harbek::text {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

char16_t pairChar(unsigned char lead, unsigned char trail) {
  if (lead < 0x81 || lead > 0xFE) return 0;
  return tables::kPair[(lead - 0x81) * 256 + trail];
}

// The simple case mapping of c in a sorted table; c itself when it has none.
char16_t mapCase(char16_t c, const tables::CaseMapping* table, size_t count) {
  const tables::CaseMapping* end = table + count;
  const tables::CaseMapping* found =
      std::lower_bound(table, end, c, [](const tables::CaseMapping& m, char16_t u) { return m.from < u; });
  return found != end && found->from == c ? found->to : c;
}

// Copies the run of ASCII units from text[i] on to out in one go, and gives
// where the run ends: most text is ASCII, and this spares a call per unit.
size_t appendAsciiRun(std::u16string_view text, size_t i, std::string& out) {
  size_t end = i;
  while (end < text.size() && text[end] < 0x80) ++end;
  const size_t at = out.size();
  out.resize(at + (end - i));
  std::transform(text.begin() + i, text.begin() + end, out.begin() + at, [](char16_t c) { return static_cast<char>(c); });
  return end;
}

}  // namespace

std::u16string fromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t n = utf8.size();
  auto cont = [&](size_t k) { return k < n && (static_cast<unsigned char>(utf8[k]) & 0xC0) == 0x80; };
  while (i < n) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = kReplacement;
    size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) {
      cp = (b & 0x1Fu) << 6 | (utf8[i + 1] & 0x3F);
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF && cont(i + 1) && cont(i + 2)) {
      cp = (b & 0x0Fu) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F);
      len = 3;
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    } else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      cp = (b & 0x07u) << 18 | (utf8[i + 1] & 0x3F) << 12 | (utf8[i + 2] & 0x3F) << 6 |
           (utf8[i + 3] & 0x3F);
      len = 4;
      if (cp < 0x10000 || cp > 0x10FFFF) cp = kReplacement;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; (i = appendAsciiRun(text, i, out)) < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | cp >> 6));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | cp >> 12));
      out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | cp >> 18));
      out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

Bytes toCodePage(std::u16string_view text) {
  Bytes out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; (i = appendAsciiRun(text, i, out)) < text.size(); ++i) {
    const char16_t c = text[i];
    // A surrogate pair is one character the code page cannot hold.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
      out.push_back('?');
      continue;
    }
    uint16_t code = tables::kEncode[c];
    if (code == 0) {
      out.push_back('?');
    } else if (code > 0xFF) {
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
    } else {
      out.push_back(static_cast<char>(code));
    }
  }
  return out;
}

std::u16string fromCodePage(std::string_view bytes) {
  std::u16string out;
  appendFromCodePage(bytes, out, bytes.size());
  return out;
}

void appendFromCodePage(std::string_view bytes, std::u16string& out, size_t limit) {
  out.reserve(out.size() + std::min(bytes.size(), limit));
  const size_t stop = out.size() + limit;
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n && out.size() < stop) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
    } else if (tables::kSingle[b] != 0) {
      out.push_back(tables::kSingle[b]);
      ++i;
    } else if (!isLeadByte(b) || i + 1 == n) {
      out.push_back(kReplacement);
      ++i;
    } else {
      unsigned char trail = static_cast<unsigned char>(bytes[i + 1]);
      char16_t c = pairChar(b, trail);
      if (c != 0) {
        out.push_back(c);
        i += 2;
      } else {
        out.push_back(kReplacement);
        i += trail < 0x80 ? 1 : 2;  // an ASCII byte after a bad lead is read again
      }
    }
  }
}

bool isLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

int16_t charCode(char16_t c) {
  if (c < 0x80) return static_cast<int16_t>(c);
  uint16_t code = (c >= 0xD800 && c <= 0xDFFF) ? 0 : tables::kEncode[c];
  if (code == 0) return '?';
  return static_cast<int16_t>(code);
}

char16_t charOfCode(int32_t code) {
  if (code < -32768 || code > 65535) return kReplacement;
  uint16_t u = static_cast<uint16_t>(code);
  if (u < 0x80) return u;
  if (u <= 0xFF) return tables::kSingle[u] != 0 ? tables::kSingle[u] : kReplacement;
  char16_t c = pairChar(static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u & 0xFF));
  return c != 0 ? c : kReplacement;
}

char16_t toLower(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  return mapCase(c, tables::kLower, tables::kLowerCount);
}

std::u16string toLower(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = toLower(c);
  return out;
}

std::u16string toUpper(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) {
    if (c < 0x80) {
      if (c >= 'a' && c <= 'z') c = static_cast<char16_t>(c - 32);
    } else if (c < 0xD800 || c > 0xDFFF) {
      c = mapCase(c, tables::kUpper, tables::kUpperCount);
    }
  }
  return out;
}

std::u16string widen(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

std::u16string replaceAllFoundIn(std::u16string_view where, std::u16string_view text, std::u16string_view what,
                                 std::u16string_view with) {
  if (what.empty()) return std::u16string(text);
  std::u16string out;
  out.reserve(text.size());
  size_t from = 0;
  for (size_t at = where.find(what); at != std::u16string_view::npos; at = where.find(what, from)) {
    out.append(text.substr(from, at - from)).append(with);
    from = at + what.size();
  }
  out.append(text.substr(from));
  return out;
}

std::u16string replaceAll(std::u16string_view text, std::u16string_view what, std::u16string_view with) {
  return replaceAllFoundIn(text, text, what, with);
}

std::u16string_view trimSpaces(std::u16string_view s) {
  const size_t first = s.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(u' ') - first + 1);
}

}  // namespace harbek::text
