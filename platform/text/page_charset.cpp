#include "platform/text/page_charset.h"

#include <algorithm>
#include <array>

#include "platform/text/text.h"

namespace harbek::text {
namespace {

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), asciiLower);
  return out;
}

// The label that follows "charset" (and "=", spaces and quotes) at pos.
std::string_view labelAfter(std::string_view s, size_t pos) {
  size_t v = s.find_first_not_of(" \t\r\n", pos);
  if (v == s.npos || s[v] != '=') return {};
  v = s.find_first_not_of(" \t\r\n\"'", v + 1);
  if (v == s.npos) return {};
  const size_t end = std::min(s.find_first_of(" \t\r\n\"';>/", v), s.size());
  return s.substr(v, end - v);
}

}  // namespace

std::optional<Charset> charsetNamed(std::string_view label) {
  label = label.substr(0, label.find(';'));
  const size_t b = label.find_first_not_of(" \t\"'");
  if (b == label.npos) return std::nullopt;
  const size_t e = label.find_last_not_of(" \t\"'");
  const std::string name = lowered(label.substr(b, e - b + 1));
  static constexpr std::array<std::pair<std::string_view, Charset>, 18> kNames = {{
      {"utf-8", Charset::kUtf8},           {"utf8", Charset::kUtf8},
      {"unicode-1-1-utf-8", Charset::kUtf8}, {"gbk", Charset::kCodePage},
      {"gb2312", Charset::kCodePage},      {"gb18030", Charset::kCodePage},
      {"x-gbk", Charset::kCodePage},       {"cp936", Charset::kCodePage},
      {"windows-936", Charset::kCodePage}, {"iso-8859-1", Charset::kLatin1},
      {"iso8859-1", Charset::kLatin1},     {"latin1", Charset::kLatin1},
      {"windows-1252", Charset::kLatin1},  {"us-ascii", Charset::kLatin1},
      {"ascii", Charset::kLatin1},         {"utf-16le", Charset::kUtf16Le},
      {"utf-16be", Charset::kUtf16Be},     {"utf-16", Charset::kUtf16Le},
  }};
  for (const auto& [known, charset] : kNames) {
    if (name == known) return charset;
  }
  return std::nullopt;
}

std::optional<Charset> charsetInMeta(std::string_view bytes) {
  const std::string lower = lowered(bytes);
  for (size_t at = lower.find("<meta"); at != std::string::npos; at = lower.find("<meta", at + 5)) {
    const size_t end = std::min(lower.find('>', at), lower.size());
    const std::string_view tag(lower.data() + at, end - at);
    for (size_t c = tag.find("charset"); c != tag.npos; c = tag.find("charset", c + 7)) {
      if (std::optional<Charset> cs = charsetNamed(labelAfter(tag, c + 7))) {
        // A page that is read at all is not UTF-16, whatever it says of itself.
        if (*cs == Charset::kUtf16Le || *cs == Charset::kUtf16Be) return Charset::kUtf8;
        return cs;
      }
    }
  }
  return std::nullopt;
}

std::optional<Charset> charsetOfBom(std::string_view bytes, size_t* markLength) {
  auto found = [&](Charset cs, size_t length) {
    if (markLength) *markLength = length;
    return std::optional<Charset>(cs);
  };
  if (bytes.starts_with("\xEF\xBB\xBF")) return found(Charset::kUtf8, 3);
  if (bytes.starts_with("\xFF\xFE")) return found(Charset::kUtf16Le, 2);
  if (bytes.starts_with("\xFE\xFF")) return found(Charset::kUtf16Be, 2);
  return std::nullopt;
}

bool isValidUtf8(std::string_view bytes) {
  const size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    for (size_t k = 1; k < len; ++k) {
      if (i + k >= n) return true;  // cut short by the end of what is there
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if (k == 1 ? (c < lo || c > hi) : (c & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

Charset pageCharset(std::string_view responseLabel, std::string_view body) {
  if (std::optional<Charset> cs = charsetNamed(responseLabel)) return *cs;
  if (std::optional<Charset> cs = charsetInMeta(body.substr(0, 1024))) return *cs;
  if (std::optional<Charset> cs = charsetOfBom(body)) return *cs;
  const bool nonAscii = std::any_of(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  return nonAscii && isValidUtf8(body) ? Charset::kUtf8 : Charset::kCodePage;
}

void appendDecoded(std::string_view bytes, Charset charset, std::u16string& out, size_t limit) {
  size_t mark = 0;
  if (charsetOfBom(bytes, &mark) == charset) bytes.remove_prefix(mark);
  const size_t room = limit - std::min(limit, out.size());
  switch (charset) {
    case Charset::kCodePage:
      appendFromCodePage(bytes, out, limit);
      return;
    case Charset::kUtf8: {
      if (out.empty()) {
        out = fromUtf8(bytes);  // a page's text is large: no second copy of it
        if (out.size() > limit) out.resize(limit);
        return;
      }
      const std::u16string decoded = fromUtf8(bytes);
      out.append(decoded, 0, std::min(room, decoded.size()));
      return;
    }
    case Charset::kLatin1:
      for (size_t i = 0; i < bytes.size() && i < room; ++i) out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
      return;
    case Charset::kUtf16Le:
    case Charset::kUtf16Be: {
      const bool le = charset == Charset::kUtf16Le;
      for (size_t i = 0; i + 1 < bytes.size() && out.size() < limit; i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        out += static_cast<char16_t>(le ? a | (b << 8) : (a << 8) | b);
      }
      return;
    }
  }
}

std::string encodeAs(std::u16string_view text, Charset charset) {
  switch (charset) {
    case Charset::kUtf8:
    case Charset::kUtf16Le:
    case Charset::kUtf16Be:
      return toUtf8(text);  // what browsers send for a UTF-16 page too
    case Charset::kLatin1: {
      std::string out;
      for (char16_t c : text) out += c < 0x100 ? static_cast<char>(c) : '?';
      return out;
    }
    case Charset::kCodePage:
      break;
  }
  return toCodePage(text);
}

}  // namespace harbek::text
