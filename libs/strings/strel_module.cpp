#include "libs/strings/strel_module.h"

namespace harbek::strings {
namespace {

// Built from the last byte to the first: each step takes the low six bits.
text::Bytes utf8OfCode(uint32_t c) {
  if (c < 128) return text::Bytes(1, static_cast<char>(c));
  if (c >= 65536) return {};
  const size_t n = c < 2048 ? 2 : 3;
  text::Bytes out(n, '\0');
  for (size_t i = n - 1; i > 0; --i) {
    out[i] = static_cast<char>(128 + (c & 63));
    c /= 64;
  }
  out[0] = static_cast<char>(n == 2 ? 192 + (c & 31) : 224 + (c & 15));
  return out;
}

}  // namespace

std::u16string packByteString(std::string_view bytes) {
  std::u16string out;
  out.reserve((bytes.size() + 1) / 2);
  for (size_t i = 0; i < bytes.size(); i += 2) {
    char16_t unit = static_cast<unsigned char>(bytes[i]);
    if (i + 1 < bytes.size()) unit |= static_cast<char16_t>(static_cast<unsigned char>(bytes[i + 1]) << 8);
    out.push_back(unit);
  }
  return out;
}

std::u16string U2UTF8(const com::Variant& c) {
  com::Variant asText, asNumber;
  if (com::failed(com::convert(c, com::VarType::kText, asText))) return {};
  if (text::trimSpaces(*asText.get<std::u16string>()).empty()) return {};
  if (com::failed(com::convert(c, com::VarType::kI32, asNumber))) return {};
  int32_t code = *asNumber.get<int32_t>();
  if (code < 0) return {};
  return packByteString(utf8OfCode(static_cast<uint32_t>(code)));
}

// Below 128 a character's code in the system code page is its code unit, and
// above it the code unit is what gets encoded; a character the code page
// cannot hold (whose system code would read as "?") keeps its unit too, so
// the result is always the text's own UTF-8.
std::u16string GB2UTF(std::u16string_view text) {
  text::Bytes bytes;
  for (char16_t unit : text::trimSpaces(text)) bytes += utf8OfCode(unit);
  return packByteString(bytes);
}

}  // namespace harbek::strings
