#include "tools/link_finder.h"

#include <string>

#include "platform/text/text.h"

namespace harbek::tools {
namespace {

// What every byte of a non-ASCII character stands as in the syntax view: a
// letter of no syntax.
constexpr char16_t kLetter = u'\u4E00';

// One code unit per byte: ASCII as it is, every other byte (and a trail byte
// of a double-byte character, whatever its value) as kLetter.
std::u16string syntaxView(std::string_view bytes, Encoding encoding) {
  std::u16string view(bytes.size(), kLetter);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      view[i] = c;
    } else if (encoding == Encoding::kCodePage && text::isLeadByte(c) && i + 1 < bytes.size()) {
      const auto trail = static_cast<unsigned char>(bytes[i + 1]);
      if (trail >= 0x40 && trail != 0x7F && trail != 0xFF) ++i;
    }
  }
  return view;
}

}  // namespace

std::vector<LinkSpan> findHtmlLinks(std::string_view page, Encoding encoding) {
  return fetcher::findHtmlLinks(syntaxView(page, encoding));
}

std::vector<LinkSpan> findCssLinks(std::string_view css, Encoding encoding) {
  return fetcher::findCssLinks(syntaxView(css, encoding));
}

}  // namespace harbek::tools
