#include "libs/url/url_encode.h"

#include "platform/text/text.h"

namespace harbek::url {

std::u16string urlEncode(std::u16string_view text) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string out;
  out.reserve(text.size() * 3);
  auto hexOf = [&](unsigned v, bool twoDigits) {
    if (twoDigits || v >= 16) out.push_back(kHex[v >> 4 & 15]);
    out.push_back(kHex[v & 15]);
  };
  for (char16_t ch : text) {
    int16_t c = text::charCode(ch);
    if (c < 0) {
      uint16_t code = static_cast<uint16_t>(c);
      out.push_back(u'%');
      hexOf(code >> 8, true);
      out.push_back(u'%');
      hexOf(code & 0xFF, true);
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(u'%');
      hexOf(static_cast<unsigned>(c), false);
    }
  }
  return out;
}

}  // namespace harbek::url
