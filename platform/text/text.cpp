#include "text.h"

#include <unicode/ucnv.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <array>
#include <memory>
#include <vector>

namespace harbek::text {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Tables of the code page, read once from ICU's windows-936 converter.
// decode: single[b] for bytes 0x80-0xFF that stand alone (0 when b is a lead
// byte or invalid); pair[(lead - 0x81) * 256 + trail] for double-byte
// characters (0 when the pair is invalid).
// encode: bytes of every BMP code unit, 0 when unmappable; a value above 0xFF
// is lead * 256 + trail.
struct CodePageTables {
  std::array<char16_t, 256> single{};
  std::vector<char16_t> pair = std::vector<char16_t>(126 * 256, 0);
  std::vector<uint16_t> encode = std::vector<uint16_t>(65536, 0);

  CodePageTables() {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* cnv = ucnv_open("windows-936", &status);
    if (U_FAILURE(status)) return;  // leaves ASCII-only tables
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);

    auto decode = [&](const char* src, int32_t len) -> char16_t {
      UChar out[4];
      UErrorCode st = U_ZERO_ERROR;
      ucnv_reset(cnv);
      int32_t n = ucnv_toUChars(cnv, out, 4, src, len, &st);
      return (U_SUCCESS(st) && n == 1) ? out[0] : 0;
    };
    for (int b = 0x80; b <= 0xFF; ++b) {
      char c = static_cast<char>(b);
      single[b] = decode(&c, 1);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        char src[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        pair[(lead - 0x81) * 256 + trail] = decode(src, 2);
      }
    }
    for (uint32_t u = 0x80; u <= 0xFFFF; ++u) {
      if (u >= 0xD800 && u <= 0xDFFF) continue;
      UChar in = static_cast<UChar>(u);
      char out[4];
      UErrorCode st = U_ZERO_ERROR;
      ucnv_reset(cnv);
      int32_t n = ucnv_fromUChars(cnv, out, 4, &in, 1, &st);
      if (U_FAILURE(st)) continue;
      if (n == 1) encode[u] = static_cast<unsigned char>(out[0]);
      if (n == 2) encode[u] = static_cast<uint16_t>(static_cast<unsigned char>(out[0]) << 8 |
                                                    static_cast<unsigned char>(out[1]));
    }
    for (uint32_t u = 0; u < 0x80; ++u) encode[u] = static_cast<uint16_t>(u);
    ucnv_close(cnv);
  }

  char16_t pairChar(unsigned char lead, unsigned char trail) const {
    if (lead < 0x81 || lead > 0xFE) return 0;
    return pair[(lead - 0x81) * 256 + trail];
  }
};

const CodePageTables& tables() {
  static const CodePageTables t;
  return t;
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
  for (size_t i = 0; i < text.size(); ++i) {
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
  const auto& t = tables();
  Bytes out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    // A surrogate pair is one character the code page cannot hold.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
      out.push_back('?');
      continue;
    }
    uint16_t code = t.encode[c];
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
  const auto& t = tables();
  out.reserve(out.size() + std::min(bytes.size(), limit));
  const size_t stop = out.size() + limit;
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n && out.size() < stop) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
    } else if (t.single[b] != 0) {
      out.push_back(t.single[b]);
      ++i;
    } else if (!isLeadByte(b) || i + 1 == n) {
      out.push_back(kReplacement);
      ++i;
    } else {
      unsigned char trail = static_cast<unsigned char>(bytes[i + 1]);
      char16_t c = t.pairChar(b, trail);
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
  uint16_t code = (c >= 0xD800 && c <= 0xDFFF) ? 0 : tables().encode[c];
  if (code == 0) return '?';
  return static_cast<int16_t>(code);
}

char16_t charOfCode(int32_t code) {
  if (code < -32768 || code > 65535) return kReplacement;
  uint16_t u = static_cast<uint16_t>(code);
  if (u < 0x80) return u;
  const auto& t = tables();
  if (u <= 0xFF) return t.single[u] != 0 ? t.single[u] : kReplacement;
  char16_t c = t.pairChar(static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u & 0xFF));
  return c != 0 ? c : kReplacement;
}

char16_t toLower(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  return static_cast<char16_t>(u_tolower(c));
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
      c = static_cast<char16_t>(u_toupper(c));
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
